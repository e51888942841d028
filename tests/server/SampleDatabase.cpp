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

// A text as an SQL string literal.
std::string quoted(const std::string& text) {
    std::string literal = "'";
    for (char c : text) literal += c == '\'' ? std::string("''") : std::string(1, c);
    return literal + "'";
}

std::string healthyScript(const std::string& target, const std::string& user, const std::string& password) {
    std::ostringstream sql;
    sql << "set sql dialect 3;\n"
        << "create database " << quoted(target) << " user " << quoted(user) << " password " << quoted(password)
        << " page_size 4096 default character set utf8;\n"
        << "create table clientes (id integer not null primary key, nome varchar(60),"
           " cidade varchar(40));\n"
        << "create table pedidos (id integer not null primary key, cliente integer,"
           " valor numeric(12,2), obs varchar(200));\n"
        << "create index ix_pedidos_cliente on pedidos (cliente);\n"
        << "create table produtos (codigo varchar(20) not null primary key,"
           " descricao varchar(80), preco double precision);\n"
        << "create index ix_produtos_descricao on produtos (descricao);\n"
        << "commit;\n"
        << "set term ^;\n"
        << "execute block as declare i integer = 0; begin\n"
        << "  while (i < " << kClientes << ") do begin\n"
        << "    insert into clientes values (:i, 'Cliente numero ' || :i, 'Cidade ' || mod(:i, 37));\n"
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

void createSampleDatabase(const std::filesystem::path& path, const std::string& user, const std::string& password) {
    const std::vector<std::string> argv{"isql-fb", "-q", "-b"};
    const auto result = testserver::runCommand(argv, healthyScript("localhost:" + path.string(), user, password));
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

}  // namespace fbdamage
