// The read check against the private instance: a database whose blob pages carry garbage passes
// the server's validation, but the read check names the blobs' table; a healthy one reads whole.

#include <random>

#include "ConsoleOnServer.h"
#include "ReadCheck.h"

namespace tovanel::testing {
namespace {

class ReadCheckOnServer : public ConsoleOnServer {
protected:
    // The sample database plus a table of text blobs too large for a data page, so that they
    // lie on blob pages of their own.
    fs::path WithBlobTable() {
        const fs::path source = server().freshPath("blobs_src");
        server().createHealthyDatabase(source);
        const auto made = server().isql(
            source,
            "create table t_notas (id integer not null primary key, nota blob sub_type text);\ncommit;\n"
            "set term ^;\nexecute block as declare i integer = 0; begin while (i < 40) do begin "
            "insert into t_notas values (:i, rpad('nota ' || :i, 6000, ' texto da nota')); i = i + 1; end end^\n"
            "set term ;^\ncommit;\n");
        EXPECT_TRUE(made.ok()) << made.output;
        const fs::path db = server().freshPath("blobs");
        server().copyDatabase(source, db);
        return db;
    }

    // Garbage over the contents of the first blob pages, their page headers kept.
    static std::size_t DamageBlobPages(const fs::path& db, std::size_t count) {
        fbdamage::DatabaseFile file(db);
        std::mt19937 random(7);
        std::size_t damaged = 0;
        for (const fbdamage::PageInfo& info : file.pages()) {
            if (info.type != fbdamage::PageType::Blob || damaged == count) continue;
            auto page = file.readPage(info.number);
            for (std::size_t at = 32; at < page.size(); ++at) page[at] = static_cast<std::uint8_t>(random());
            file.writePage(info.number, page);
            ++damaged;
        }
        return damaged;
    }

    TReadCheck Check(const fs::path& db) {
        Use(db);
        form->ConfiguraServico(TConfiguracao::TValidacao);
        return RunReadCheck(form->IBValidationService, [this](const std::string& line) { lines.push_back(line); }, 16);
    }

    std::vector<std::string> lines;
};

TEST_F(ReadCheckOnServer, AHealthyDatabaseReadsToTheEndWithALinePerTable) {
    const fs::path db = WithBlobTable();
    const TReadCheck check = Check(db);
    EXPECT_TRUE(check.Completed) << check.Failure;
    EXPECT_TRUE(check.Unreadable.empty());
    for (const char* table : {"CLIENTES", "PEDIDOS", "PRODUTOS", "T_NOTAS"})
        EXPECT_NE(std::find(lines.begin(), lines.end(), std::string("gbak:writing data for table ") + table),
                  lines.end())
            << table;
}

TEST_F(ReadCheckOnServer, GarbageInBlobPagesIsNamedAsItsTableAndTheOfferIsTheRescue) {
    const fs::path db = WithBlobTable();
    ASSERT_EQ(DamageBlobPages(db, 4), 4u);
    const TReadCheck check = Check(db);
    std::string joined;
    for (const std::string& line : lines) joined += line + "|\n";
    SCOPED_TRACE(joined);

    ASSERT_EQ(check.Unreadable.size(), 1u);
    EXPECT_EQ(check.Unreadable[0].Table, "T_NOTAS");
    EXPECT_FALSE(check.Unreadable[0].ServerError.empty());
    EXPECT_TRUE(check.Completed) << "the run without the table's data reads to the end";
    EXPECT_EQ(ChooseOffer(false, !check.Unreadable.empty()), TVerificationOffer::Rescue);
    EXPECT_EQ(server().countRows(db).at("CLIENTES"), testserver::PrivateServer::healthyRowCounts().at("CLIENTES"))
        << "the check changed nothing the other tables hold";
}

}  // namespace
}  // namespace tovanel::testing
