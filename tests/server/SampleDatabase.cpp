#include "SampleDatabase.h"

#include "Subprocess.h"

#include <sstream>
#include <stdexcept>

namespace fbdamage {
namespace {

// Row counts are part of the contract with the tests (sampleRowCounts).
constexpr long long kClientes = 3000;
constexpr long long kPedidos = 3000;
constexpr long long kProdutos = 800;

const std::vector<std::string> kFirstNames{"João", "Conceição", "Antônio", "Inês", "Sebastião", "Lúcia"};
const std::vector<std::string> kCities{"São Paulo", "Maceió", "Goiânia", "Florianópolis",
                                       "Ribeirão Preto", "Cuiabá", "Belém", "Poções"};
const std::vector<std::string> kBairros{"Jardim Paulistânia", "Vila Conceição", "Centro Histórico", "Praça da Sé"};

// A text as an SQL string literal.
std::string quoted(const std::string& text) {
    std::string literal = "'";
    for (char c : text) literal += c == '\'' ? std::string("''") : std::string(1, c);
    return literal + "'";
}

// decode(mod(<key>, n), 0, 'first', 1, 'second', ...): the n-th text for a key, in SQL.
std::string pickByKey(const std::string& key, const std::vector<std::string>& texts) {
    std::string sql = "decode(mod(" + key + ", " + std::to_string(texts.size()) + ")";
    for (std::size_t i = 0; i < texts.size(); ++i) sql += ", " + std::to_string(i) + ", " + quoted(texts[i]);
    return sql + ")";
}

const std::string& pick(long long id, const std::vector<std::string>& texts) {
    return texts[static_cast<std::size_t>(id % static_cast<long long>(texts.size()))];
}

std::string clientesTable(const SampleLayout& layout) {
    if (!layout.portugueseText)
        return "create table clientes (id integer not null primary key, nome varchar(60), cidade varchar(40));\n";
    return "create table clientes (id integer not null primary key, nome varchar(60), cidade varchar(40),"
           " bairro varchar(40) character set iso8859_1, legado varchar(60) character set none);\n";
}

// The legacy column gets the city's bytes in Latin-1, whatever the database's own character set.
std::string clientesInsert(const SampleLayout& layout) {
    if (!layout.portugueseText)
        return "    insert into clientes values (:i, 'Cliente numero ' || :i, 'Cidade ' || mod(:i, 37));\n";
    return "    c = " + pickByKey(":i", kCities) + ";\n" +
           "    insert into clientes values (:i, " + pickByKey(":i", kFirstNames) + " || ' ' || :i, :c, " +
           pickByKey(":i", kBairros) +
           ", cast(cast(:c as varchar(40) character set iso8859_1) as varchar(60) character set none));\n";
}

std::string healthyScript(const std::string& target, const std::string& user, const std::string& password,
                          const SampleLayout& layout) {
    std::ostringstream sql;
    sql << "set sql dialect 3;\n"
        << "create database " << quoted(target) << " user " << quoted(user) << " password " << quoted(password)
        << " page_size " << layout.pageSize << " default character set " << layout.characterSet << ";\n"
        << clientesTable(layout)
        << "create table pedidos (id integer not null primary key, cliente integer,"
           " valor numeric(12,2), obs varchar(200));\n"
        << "create index ix_pedidos_cliente on pedidos (cliente);\n"
        << "create table produtos (codigo varchar(20) not null primary key,"
           " descricao varchar(80), preco double precision);\n"
        << "create index ix_produtos_descricao on produtos (descricao);\n"
        << "commit;\n"
        << "set term ^;\n"
        << "execute block as declare i integer = 0; declare c varchar(40); begin\n"
        << "  while (i < " << kClientes << ") do begin\n"
        << clientesInsert(layout)
        << "    i = i + 1;\n"
        << "  end\n"
        << "  i = 0;\n"
        << "  while (i < " << kPedidos << ") do begin\n"
        << "    insert into pedidos values (:i, mod(:i * 7, 3000), :i * 1.5, rpad('obs ' || :i, 100, 'x'));\n"
        << "    i = i + 1;\n"
        << "  end\n"
        << "  i = 0;\n"
        << "  while (i < " << kProdutos << ") do begin\n"
        << "    insert into produtos values ('P' || lpad(:i, 6, '0'), 'Produto ' || :i, :i / 3.0);\n"
        << "    i = i + 1;\n"
        << "  end\n"
        << "end^\n"
        << "set term ;^\n"
        << "commit;\n";
    return sql.str();
}

}  // namespace

void createSampleDatabase(const std::filesystem::path& path, const std::string& user, const std::string& password,
                          const SampleLayout& layout) {
    // The script is UTF-8: the server turns its literals into each column's character set.
    const std::vector<std::string> argv{"isql-fb", "-q", "-b", "-ch", "UTF8"};
    const auto result =
        testserver::runCommand(argv, healthyScript("localhost:" + path.string(), user, password, layout));
    if (!result.ok()) throw std::runtime_error(testserver::describe(argv, result));
    if (!std::filesystem::exists(path)) throw std::runtime_error("isql-fb made no " + path.string());
}

// One long text of random characters, stored in every row: the record compression finds no runs
// to shrink, so each row fills most of a page and the file grows fast for few inserts.
void createLargeDatabase(const std::filesystem::path& path, const std::string& user, const std::string& password,
                         long long rows) {
    std::ostringstream sql;
    sql << "set sql dialect 3;\n"
        << "create database " << quoted("localhost:" + path.string()) << " user " << quoted(user) << " password "
        << quoted(password) << " page_size 4096;\n"
        << "create table grande (id integer not null primary key, texto varchar(3200));\n"
        << "commit;\n"
        << "set term ^;\n"
        << "execute block as\n"
        << "  declare i integer = 0;\n"
        << "  declare texto varchar(3200) = '';\n"
        << "begin\n"
        << "  while (char_length(texto) < 3100) do texto = texto || uuid_to_char(gen_uuid());\n"
        << "  while (i < " << rows << ") do begin\n"
        << "    insert into grande values (:i, :texto);\n"
        << "    i = i + 1;\n"
        << "  end\n"
        << "end^\n"
        << "set term ;^\n"
        << "commit;\n";
    const std::vector<std::string> argv{"isql-fb", "-q", "-b"};
    const auto result = testserver::runCommand(argv, sql.str());
    if (!result.ok()) throw std::runtime_error(testserver::describe(argv, result));
    if (!std::filesystem::exists(path)) throw std::runtime_error("isql-fb made no " + path.string());
}

std::map<std::string, long long> sampleRowCounts() {
    return {{"CLIENTES", kClientes}, {"PEDIDOS", kPedidos}, {"PRODUTOS", kProdutos}};
}

PortugueseClient portugueseClient(long long id) {
    const std::string& cidade = pick(id, kCities);
    return {pick(id, kFirstNames) + " " + std::to_string(id), cidade, pick(id, kBairros), cidade};
}

std::string latin1Bytes(const std::string& utf8) {
    std::string bytes;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        if (lead < 0x80) {
            bytes += static_cast<char>(lead);
        } else if ((lead == 0xC2 || lead == 0xC3) && i + 1 < utf8.size()) {
            const auto next = static_cast<unsigned char>(utf8[++i]);
            bytes += static_cast<char>(((lead & 0x03) << 6) | (next & 0x3F));
        } else {
            throw std::invalid_argument("not Latin-1 text: " + utf8);
        }
    }
    return bytes;
}

const char* const kPortugueseTextSelect =
    "select id, cast(nome as varchar(60) character set octets) as nome,"
    " cast(cidade as varchar(40) character set octets) as cidade,"
    " cast(bairro as varchar(40) character set octets) as bairro,"
    " cast(legado as varchar(60) character set octets) as legado"
    " from clientes order by id;";

std::vector<std::string> portugueseTextMismatches(const std::vector<std::map<std::string, std::string>>& rows) {
    const auto hex = [](const std::string& bytes) {
        static constexpr char kDigits[] = "0123456789ABCDEF";
        std::string text;
        for (unsigned char c : bytes) text += {kDigits[c >> 4], kDigits[c & 15]};
        return text;
    };
    std::vector<std::string> mismatches;
    for (const auto& row : rows) {
        const std::string& id = row.at("ID");
        const PortugueseClient wrote = portugueseClient(std::stoll(id));
        const std::pair<const char*, const std::string*> columns[] = {
            {"NOME", &wrote.nome}, {"CIDADE", &wrote.cidade}, {"BAIRRO", &wrote.bairro}, {"LEGADO", &wrote.legado}};
        for (const auto& [column, text] : columns) {
            const std::string expected = hex(latin1Bytes(*text));
            if (row.at(column) != expected)
                mismatches.push_back(id + " " + column + ": read " + row.at(column) + ", wrote " + expected);
        }
    }
    return mismatches;
}

}  // namespace fbdamage
