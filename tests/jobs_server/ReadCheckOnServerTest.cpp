// The read check against the private instance: a healthy database reads whole with a line per
// table; one whose blob pages carry garbage does not pass; and the verification that runs it
// lists what it found, offers what can mend it and reports it as JSON.

#include <nlohmann/json.hpp>

#include <fstream>
#include <map>
#include <set>
#include <random>
#include <sstream>

#include "ConsoleOnServer.h"
#include "ReadCheck.h"

namespace tovanel::testing {
namespace {

class ReadCheckOnServer : public ConsoleOnServer {
protected:
    // A blob page's header: the page's own 16 bytes, then lead page, sequence, length and pad.
    static constexpr std::size_t kBlobPageHeader = 16 + 4 + 4 + 2 + 2;

    // The sample database plus tables of text blobs too large for a data page, so that they lie
    // on blob pages of their own; each table's blob pages are those that its rows added.
    fs::path WithBlobTables(const std::vector<std::string>& tables = {"T_NOTAS"}) {
        const fs::path source = server().freshPath("blobs_src");
        server().createHealthyDatabase(source);
        for (const std::string& table : tables) {
            const auto created = server().isql(
                source, "create table " + table + " (id integer not null primary key, nota blob sub_type text);\ncommit;\n");
            EXPECT_TRUE(created.ok()) << created.output;
            const std::set<std::uint32_t> before = BlobPages(source);
            const auto filled = server().isql(
                source, "set term ^;\nexecute block as declare i integer = 0; begin while (i < 40) do begin "
                        "insert into " + table + " values (:i, rpad('nota ' || :i, 6000, ' texto da nota')); "
                        "i = i + 1; end end^\nset term ;^\ncommit;\n");
            EXPECT_TRUE(filled.ok()) << filled.output;
            for (const std::uint32_t page : BlobPages(source))
                if (before.count(page) == 0) blobPages[table].push_back(page);
            EXPECT_GE(blobPages[table].size(), 40u) << table;
        }
        const fs::path db = server().freshPath("blobs");
        server().copyDatabase(source, db);
        return db;
    }
    fs::path WithBlobTable() { return WithBlobTables(); }

    static std::set<std::uint32_t> BlobPages(const fs::path& db) {
        fbdamage::DatabaseFile file(db);
        std::set<std::uint32_t> pages;
        for (const fbdamage::PageInfo& info : file.pages())
            if (info.type == fbdamage::PageType::Blob) pages.insert(info.number);
        return pages;
    }

    // Garbage over the segments of the first `count` blob pages of `table`, after the page's
    // header (its type, lead page, sequence and length stay): the validation checks those and
    // passes the file, a read of the blobs fails on the segments. Garbage over the header too
    // makes the server take the file for corrupt, and a later attach of it then hangs the
    // whole server.
    std::size_t DamageBlobPages(const fs::path& db, std::size_t count, const std::string& table = "T_NOTAS") {
        fbdamage::DatabaseFile file(db);
        std::mt19937 random(7);
        std::size_t damaged = 0;
        for (const std::uint32_t number : blobPages[table]) {
            if (damaged == count) break;
            auto page = file.readPage(number);
            for (std::size_t at = kBlobPageHeader; at < page.size(); ++at)
                page[at] = static_cast<std::uint8_t>(random());
            file.writePage(number, page);
            ++damaged;
        }
        return damaged;
    }

    // A whole verification, its confirmation answered Yes and its offer No.
    void Verify(const fs::path& db) {
        Use(db);
        port.QueueAnswer(kButtonYes);
        port.onMessageBox = [this](const MessageBoxCall& box) {
            if (box.kind != MessageKind::Confirmation) offers.push_back(box.text);
        };
        port.QueueAnswer(kButtonNo);
        Run(&TFrmPrincipal::ActnVerificarBancoExecute);
    }
    std::string LogText() const {
        std::string text;
        for (const std::string& line : port.log) text += line + "|\n";
        return text;
    }
    std::size_t LogCount(const std::string& line) const {
        return static_cast<std::size_t>(std::count(port.log.begin(), port.log.end(), line));
    }
    // The findings as the terminal's --report writes them, parsed again.
    nlohmann::json Report() const {
        EXPECT_TRUE(form->UltimaVerificacao().has_value());
        return nlohmann::json::parse(FindingsJson(*form->UltimaVerificacao()));
    }
    // Every problem of the report appears in the log with the server's text.
    void ExpectReportMatchesLog(const nlohmann::json& report) const {
        for (const auto& problem : report["problems"]) {
            const std::string text = problem["server_text"];
            const bool inLog = std::any_of(port.log.begin(), port.log.end(), [&](const std::string& line) {
                return line.find(text) != std::string::npos;
            });
            EXPECT_TRUE(inLog) << text;
        }
    }

    TReadCheck Check(const fs::path& db) {
        Use(db);
        form->ConfiguraServico(TConfiguracao::TValidacao);
        TReadCheckLimits limits;
        limits.SilenceAllowed = std::chrono::seconds(120);
        return RunReadCheck(form->IBValidationService, waiter, [this](const std::string& line) { lines.push_back(line); },
                            {}, limits);
    }

    ServerCallWaiter waiter{port};
    std::vector<std::string> lines;
    std::vector<std::string> offers;
    std::map<std::string, std::vector<std::uint32_t>> blobPages;
};

TEST_F(ReadCheckOnServer, AHealthyDatabaseReadsToTheEndWithALinePerTable) {
    const fs::path db = WithBlobTable();
    const TReadCheck check = Check(db);
    EXPECT_TRUE(check.Completed) << check.Failure;
    EXPECT_TRUE(check.Unreadable.empty());
    // The server's own line per table ("gbak:    writing data for table T_NOTAS ").
    for (const char* table : {"CLIENTES", "PEDIDOS", "PRODUTOS", "T_NOTAS"})
        EXPECT_TRUE(std::any_of(lines.begin(), lines.end(),
                                [&](const std::string& line) { return TableBeingWritten(line) == table; }))
            << table;
}

// The server's error reaches the client before its line for the blobs' table; the table is still
// named, as the next one described whose rows were not written.
TEST_F(ReadCheckOnServer, GarbageInBlobPagesNamesTheBlobsTable) {
    const fs::path db = WithBlobTable();
    ASSERT_EQ(DamageBlobPages(db, 4), 4u);
    const TReadCheck check = Check(db);
    std::string joined;
    for (const std::string& line : lines) joined += line + "|\n";
    SCOPED_TRACE(joined);

    EXPECT_TRUE(check.Completed) << check.Failure;
    ASSERT_EQ(check.Unreadable.size(), 1u);
    EXPECT_EQ(check.Unreadable[0].Table, "T_NOTAS");
    EXPECT_FALSE(check.Unreadable[0].ServerError.empty());
    for (const char* table : {"CLIENTES", "PEDIDOS", "PRODUTOS"})
        EXPECT_NE(std::find(check.TablesRead.begin(), check.TablesRead.end(), table), check.TablesRead.end()) << table;
}

const std::string kUnreadableNotes = "Erro: a tabela T_NOTAS não pode ser lida: ";

TEST_F(ReadCheckOnServer, AVerificationOfAHealthyDatabaseReadsItAllAndClosesAsAlways) {
    const fs::path db = WithBlobTable();
    Verify(db);
    SCOPED_TRACE(LogText());

    ASSERT_GE(port.log.size(), 6u);
    EXPECT_EQ(std::vector<std::string>(port.log.begin(), port.log.begin() + 3),
              (std::vector<std::string>{kStarted, "", kConnected}));
    EXPECT_EQ(port.log.back(), kNoErrors);
    EXPECT_EQ(LogCount(kNoErrors), 1u);
    EXPECT_TRUE(offers.empty()) << "nothing to offer";
    EXPECT_EQ(form->LastJobOutcome(), JobOutcome::Succeeded);
    const auto report = Report();
    EXPECT_EQ(report["problems_found"], false);
    EXPECT_EQ(report["read_check"]["completed"], true);
    EXPECT_EQ(report["read_check"]["tables"].size(), 4u);
    ExpectIdle();
}

// The validation passes such a file; the read check names the blobs' table, and since the repair's
// backup would stop there, the offer is the rescue.
TEST_F(ReadCheckOnServer, AVerificationOfGarbageInBlobPagesNamesTheTableAndOffersTheRescue) {
    const fs::path db = WithBlobTable();
    ASSERT_EQ(DamageBlobPages(db, 4), 4u);
    Verify(db);
    SCOPED_TRACE(LogText());

    EXPECT_FALSE(form->EncontrouErro) << "the validation found nothing";
    const auto unreadable = std::find_if(port.log.begin(), port.log.end(),
                                         [](const std::string& line) { return line.starts_with(kUnreadableNotes); });
    EXPECT_NE(unreadable, port.log.end());
    EXPECT_EQ(LogCount(kNoErrors), 0u);
    EXPECT_EQ(form->LastJobOutcome(), JobOutcome::FoundProblems);
    EXPECT_EQ(offers, std::vector<std::string>{TFrmPrincipal::kOfferRescueText});
    const auto report = Report();
    EXPECT_EQ(report["problems_found"], true);
    ASSERT_EQ(report["problems"].size(), 1u);
    EXPECT_EQ(report["problems"][0]["kind"], "table cannot be read");
    EXPECT_EQ(report["problems"][0]["table"], "T_NOTAS");
    ExpectReportMatchesLog(report);
    ExpectIdle();
}

TEST_F(ReadCheckOnServer, AVerificationNamesEveryTableThatCannotBeRead) {
    const fs::path db = WithBlobTables({"T_NOTAS", "T_FOTOS"});
    ASSERT_EQ(DamageBlobPages(db, 2, "T_NOTAS"), 2u);
    ASSERT_EQ(DamageBlobPages(db, 2, "T_FOTOS"), 2u);
    Verify(db);
    SCOPED_TRACE(LogText());

    const auto report = Report();
    std::set<std::string> named;
    for (const auto& problem : report["problems"])
        if (problem["kind"] == "table cannot be read") named.insert(problem["table"].get<std::string>());
    EXPECT_EQ(named, (std::set<std::string>{"T_NOTAS", "T_FOTOS"}));
    EXPECT_EQ(report["summary"]["unreadable_tables"], 2);
    ExpectReportMatchesLog(report);
    EXPECT_EQ(offers, std::vector<std::string>{TFrmPrincipal::kOfferRescueText});
}

// Damaged data pages: the validation names them and the read check stops on their table; each
// problem is listed once, and the repair, which mends before its backup, stays the offer.
TEST_F(ReadCheckOnServer, AVerificationOfDamagedDataPagesListsEachProblemOnceAndOffersTheRepair) {
    const fs::path db = server().freshPath("dados_danificados");
    server().createDamagedDatabase(db, fbdamage::Kind::Records);
    Verify(db);
    SCOPED_TRACE(LogText());

    EXPECT_TRUE(form->EncontrouErro);
    const auto report = Report();
    ASSERT_FALSE(report["problems"].empty());
    // A table that cannot be read is listed with its name before the server's text.
    for (const auto& problem : report["problems"]) {
        std::string text = problem["server_text"];
        if (problem["kind"] == "table cannot be read")
            text = "Erro: a tabela " + problem["table"].get<std::string>() + " não pode ser lida: " + text;
        const auto times = std::count_if(port.log.begin(), port.log.end(),
                                         [&](const std::string& line) { return line.find(text) != std::string::npos; });
        EXPECT_EQ(times, 1) << text;
    }
    EXPECT_GT(report["summary"]["validation_problems"].get<int>(), 0);
    ExpectReportMatchesLog(report);
    // The tables the validation found damaged are not read again: reading one is what brought the
    // server down once; the log and the report say so, and every other table is read to the end.
    const auto& leftOut = report["read_check"]["left_out"];
    ASSERT_FALSE(leftOut.empty());
    std::string named;
    for (const auto& table : leftOut) {
        const bool byValidation = std::any_of(report["problems"].begin(), report["problems"].end(), [&](const auto& p) {
            return p["kind"] != "table cannot be read" && p.value("table", "") == table;
        });
        EXPECT_TRUE(byValidation) << table;
        named += (named.empty() ? "" : ", ") + table.get<std::string>();
    }
    EXPECT_TRUE(report["read_check"]["completed"].get<bool>());
    EXPECT_EQ(std::count_if(port.log.begin(), port.log.end(),
                            [&](const std::string& line) {
                                return line.starts_with("Dados não lidos, pois a validação já encontrou problemas") &&
                                       line.ends_with(": " + named);
                            }),
              1);
    EXPECT_EQ(offers, std::vector<std::string>{kOfferRepair});
    EXPECT_EQ(form->LastJobOutcome(), JobOutcome::FoundProblems);
}

}  // namespace
}  // namespace tovanel::testing
