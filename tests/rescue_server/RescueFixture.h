// A database whose every value follows from its key, damaged in chosen ways, and the checks that
// a rescue of it kept the original, left no file behind and saved only genuine rows.
#pragma once

#include <map>
#include <set>
#include <sstream>

#include "RescueJob.h"
#include "RescueServerSupport.h"

namespace tovanel::testing {

// CLIENTES (3000 rows), DOCS (300 rows, text blobs of 3-7 KB on blob pages), PRODUTOS (800),
// CONFIG (10 rows: one data page). Values are built from the key; GenuineCondition says so.
// `win1252` false leaves CONFIG's text in the database's UTF8, for an instance without the
// character-set libraries.
inline std::string CheckableScript(const fs::path& path, const testserver::PrivateServer& server,
                                   bool win1252 = true) {
    std::ostringstream sql;
    sql << CreateDatabaseStatement(path, server, "page_size 4096 default character set utf8")
        << "create table clientes (id integer not null primary key, nome varchar(60) not null,"
           " valor numeric(12,2), nota varchar(100));\n"
        << "create index ix_clientes_nome on clientes (nome);\n"
        << "create table docs (id integer not null primary key, texto blob sub_type 1);\n"
        << "create table produtos (codigo varchar(20) not null primary key, descricao varchar(80));\n"
        << "create table config (chave integer not null primary key, valor varchar(40)"
        << (win1252 ? " character set win1252" : "") << ");\n"
        << "commit;\nset term ^;\n"
        << "execute block as declare i integer = 0; begin\n"
        << "  while (i < 3000) do begin\n"
        << "    insert into clientes values (:i, 'Cliente ' || :i, :i * 1.25, rpad('nota ' || :i, 80, '.'));\n"
        << "    if (i < 300) then insert into docs values (:i, rpad('', 3000 + mod(:i, 5) * 1000, 'doc ' || :i || ' '));\n"
        << "    if (i < 800) then insert into produtos values ('P' || lpad(:i, 6, '0'), 'Produto P' || lpad(:i, 6, '0'));\n"
        << "    if (i < 10) then insert into config values (:i, 'Configuração ' || :i);\n"
        << "    i = i + 1;\n"
        << "  end\n"
        << "end^\nset term ;^\ncommit;\n";
    return sql.str();
}

// Rows of each table that do not follow from their key.
inline const std::map<std::string, std::string>& GenuineConditions() {
    static const std::map<std::string, std::string> conditions = {
        {"CLIENTES", "nome = 'Cliente ' || id and valor = id * 1.25 and nota = rpad('nota ' || id, 80, '.')"},
        {"DOCS", "texto = rpad('', 3000 + mod(id, 5) * 1000, 'doc ' || id || ' ')"},
        {"PRODUTOS", "descricao = 'Produto ' || codigo"},
        {"CONFIG", "valor = 'Configuração ' || chave"},
    };
    return conditions;
}

inline long long Scalar(const testserver::PrivateServer& server, const fs::path& database, const std::string& select) {
    const auto result = server.isql(database, "set heading off;\n" + select + ";\n");
    if (!result.ok()) throw std::runtime_error(result.output);
    std::istringstream in(result.output);
    long long value = -1;
    in >> value;
    return value;
}

inline long long NotGenuine(const testserver::PrivateServer& server, const fs::path& database, const std::string& table) {
    return Scalar(server, database,
                  "select count(*) from " + table + " where not (" + GenuineConditions().at(table) + ")");
}

// Garbage over the data of blob pages (their 32-byte header kept).
inline std::vector<std::uint32_t> GarbleBlobPages(const fs::path& path, unsigned pages) {
    const fbdamage::DatabaseFile file(path);
    std::vector<std::uint32_t> blobPages;
    for (const auto& info : file.pages())
        if (info.type == fbdamage::PageType::Blob) blobPages.push_back(info.number);
    std::vector<std::uint32_t> damaged;
    for (unsigned i = 0; i < pages && !blobPages.empty(); ++i) {
        const std::uint32_t number = blobPages[(2 * i + 1) * blobPages.size() / (2 * pages)];
        auto page = file.readPage(number);
        std::uint32_t state = 0x2545F491u + number;
        for (std::size_t at = 32; at < page.size(); ++at) {
            state ^= state << 13;
            state ^= state >> 17;
            state ^= state << 5;
            page[at] = static_cast<std::uint8_t>(state | 1);
        }
        file.writePage(number, page);
        damaged.push_back(number);
    }
    return damaged;
}

// A fresh directory the server can write, for the new database and the rescue's own files.
class RescueInDirectory : public testserver::RealServerTest {
protected:
    void SetUp() override {
        RealServerTest::SetUp();
        if (HasFatalFailure() || IsSkipped()) return;
        directory = DirectoryForTheServer(server(), "resgate");
    }
    void TearDown() override {
        if (!directory.empty()) fs::remove_all(directory);
        RealServerTest::TearDown();
    }
    fs::path directory;
};

inline RescueRequest RequestFor(const fs::path& original, const fs::path& target,
                                const testserver::PrivateServer& server) {
    RescueRequest request;
    request.original = original.string();
    request.newDatabase = target.string();
    request.login = {server.user(), server.password()};
    return request;
}

}  // namespace tovanel::testing
