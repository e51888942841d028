// The validation, backup and restore services against the real server (the private instance),
// each on databases the test makes. Every service attaches to "localhost:service_mgr".
#include "IBBackupService.h"
#include "IBOnlineValidationService.h"
#include "IBServerLogService.h"
#include "IBRestoreService.h"
#include "IBValidationService.h"
#include "PrivateServer.h"
#include "ValidationLog.h"

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using testserver::PrivateServer;

class ServicesOnServer : public testserver::RealServerTest {
protected:
    // As the console sets a service up before a job.
    void Configure(TIBCustomService& service)
    {
        service.SetServerName("localhost");
        service.SetProtocol(TProtocol::TCP);
        service.Params().SetValue("user_name", server().user());
        service.Params().SetValue("password", server().password());
        service.SetLoginPrompt(false);
    }

    // Every output line of the started action, up to the empty line that ends it.
    static std::vector<std::string> ReadLines(TIBControlAndQueryService& service)
    {
        std::vector<std::string> lines;
        for (std::string line = service.GetNextLine(); !line.empty(); line = service.GetNextLine())
            lines.push_back(line);
        return lines;
    }

    std::vector<std::string> Validate(const fs::path& database, TValidateOptions options)
    {
        TIBValidationService service;
        Configure(service);
        service.SetDatabaseName(database.string());
        service.Attach();
        service.SetOptions(options);
        service.ServiceStart();
        auto lines = ReadLines(service);
        EXPECT_TRUE(service.Active());
        service.SetActive(false);
        return lines;
    }

    std::vector<std::string> Backup(const fs::path& database, const fs::path& backup)
    {
        TIBBackupService service;
        Configure(service);
        service.SetDatabaseName(database.string());
        service.BackupFile().Add(backup.string());
        service.SetVerbose(true);
        service.Attach();
        service.ServiceStart();
        auto lines = ReadLines(service);
        EXPECT_FALSE(service.IsServiceRunning());
        service.SetActive(false);
        return lines;
    }

    std::vector<std::string> Restore(const fs::path& backup, const fs::path& database, int32_t pageSize = 4096)
    {
        TIBRestoreService service;
        Configure(service);
        service.SetOptions({TRestoreOption::Replace, TRestoreOption::CreateNewDB});
        service.DatabaseName().Add(database.string());
        service.BackupFile().Add(backup.string());
        service.SetVerbose(true);
        service.SetPageSize(pageSize);
        service.Attach();
        service.ServiceStart();
        auto lines = ReadLines(service);
        service.SetActive(false);
        return lines;
    }

    static bool AnyContains(const std::vector<std::string>& lines, const std::string& part)
    {
        return std::any_of(lines.begin(), lines.end(), [&](const std::string& l) { return l.find(part) != std::string::npos; });
    }

    static std::string Joined(const std::vector<std::string>& lines)
    {
        std::string text;
        for (const auto& l : lines)
            text += l + "\n";
        return text;
    }
};

const TValidateOptions kVerify{TValidateOption::ValidateDB, TValidateOption::ValidateFull};
const TValidateOptions kSweep{TValidateOption::SweepDB};
const TValidateOptions kMend{TValidateOption::IgnoreChecksum, TValidateOption::MendDB, TValidateOption::ValidateFull};

TEST_F(ServicesOnServer, HealthyDatabaseValidatesWithoutALine)
{
    const auto db = server().freshPath("healthy");
    server().createHealthyDatabase(db);
    EXPECT_EQ(Validate(db, kVerify), std::vector<std::string>{});
}

TEST_F(ServicesOnServer, DamagedDatabaseValidatesToTheSummaryLines)
{
    for (const fbdamage::Kind kind : {fbdamage::Kind::Records, fbdamage::Kind::ZeroPage}) {
        SCOPED_TRACE(std::string(fbdamage::kindName(kind)));
        const auto db = server().freshPath("damaged");
        server().createDamagedDatabase(db, kind, 3);
        const auto lines = Validate(db, kVerify);
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.front(), "Summary of validation errors") << Joined(lines);
        // The counts follow, one per line, as far as the client's status vector holds them.
        for (std::size_t i = 1; i < lines.size(); ++i)
            EXPECT_TRUE(lines[i].starts_with("\tNumber of ") && lines[i].find("\t: ") != std::string::npos)
                << lines[i];
    }
}

TEST_F(ServicesOnServer, SweepRunsToTheEndOfItsOutput)
{
    const auto db = server().freshPath("sweep");
    server().createHealthyDatabase(db);
    EXPECT_EQ(Validate(db, kSweep), std::vector<std::string>{});
    EXPECT_EQ(server().countRows(db), PrivateServer::healthyRowCounts());
}

// The repair's road through the services: sweep, mend, verbose backup, verbose restore.
TEST_F(ServicesOnServer, DamagedDatabaseIsSweptMendedBackedUpAndRestored)
{
    const auto db = server().freshPath("mend");
    const auto backup = server().freshPath("mend", ".gbk");
    const auto restored = server().freshPath("mend_novo");
    server().createDamagedDatabase(db, fbdamage::Kind::Records, 2);

    try {
        Validate(db, kSweep);  // the console ignores what the sweep reports
    } catch (const EIBError&) {
    }
    const auto mendLines = Validate(db, kMend);  // warnings about mended pages are lines too
    const auto backupLines = Backup(db, backup);
    EXPECT_TRUE(AnyContains(backupLines, "closing file, committing, and finishing")) << Joined(backupLines);
    const auto restoreLines = Restore(backup, restored);
    EXPECT_TRUE(AnyContains(restoreLines, "finishing, closing, and going home")) << Joined(restoreLines);

    const auto counts = server().countRows(restored);
    const auto healthy = PrivateServer::healthyRowCounts();
    ASSERT_EQ(counts.size(), healthy.size());
    long long rows = 0;
    for (const auto& [table, count] : counts) {
        EXPECT_LE(count, healthy.at(table)) << table;
        rows += count;
    }
    EXPECT_GT(rows, 0);
    EXPECT_TRUE(Validate(restored, kVerify).empty());
}

TEST_F(ServicesOnServer, VerboseBackupGivesProgressLinesAndABackupFile)
{
    const auto db = server().freshPath("bkp");
    const auto backup = server().freshPath("bkp", ".gbk");
    server().createHealthyDatabase(db);

    const auto lines = Backup(db, backup);

    EXPECT_GT(lines.size(), 10u);
    EXPECT_TRUE(AnyContains(lines, "writing data for table CLIENTES")) << Joined(lines);
    EXPECT_TRUE(AnyContains(lines, "3000 records written")) << Joined(lines);
    ASSERT_TRUE(fs::exists(backup));
    EXPECT_GT(fs::file_size(backup), 0u);
}

TEST_F(ServicesOnServer, VerboseRestoreCreatesTheDatabaseWithThePageSizeAndTheSameRows)
{
    const auto db = server().freshPath("res");
    const auto backup = server().freshPath("res", ".gbk");
    server().createHealthyDatabase(db);
    Backup(db, backup);

    for (const int32_t pageSize : {4096, 8192}) {
        SCOPED_TRACE(pageSize);
        const auto restored = server().freshPath("res_novo");
        const auto lines = Restore(backup, restored, pageSize);
        EXPECT_TRUE(AnyContains(lines, "restoring data for table CLIENTES")) << Joined(lines);
        EXPECT_EQ(fbdamage::DatabaseFile(restored).pageSize(), static_cast<uint32_t>(pageSize));
        EXPECT_EQ(server().countRows(restored), PrivateServer::healthyRowCounts());
    }
}

TEST_F(ServicesOnServer, RestoreWithReplaceReplacesAnExistingFile)
{
    const auto db = server().freshPath("rep");
    const auto backup = server().freshPath("rep", ".gbk");
    const auto target = server().freshPath("rep_novo");
    server().createHealthyDatabase(db);
    Backup(db, backup);
    Restore(backup, target, 8192);
    ASSERT_EQ(fbdamage::DatabaseFile(target).pageSize(), 8192u);

    Restore(backup, target);

    EXPECT_EQ(fbdamage::DatabaseFile(target).pageSize(), 4096u);
    EXPECT_EQ(server().countRows(target), PrivateServer::healthyRowCounts());
}

// A failure the server reports raises with its own text, wherever it arrives, and leaves the
// service detached.
TEST_F(ServicesOnServer, ServerReportedFailureRaisesWithTheServersTextAndDetaches)
{
    const auto missing = server().freshPath("missing");
    const auto backup = server().freshPath("missing", ".gbk");

    TIBValidationService validation;
    Configure(validation);
    validation.SetDatabaseName(missing.string());
    validation.SetOptions(kVerify);
    validation.Attach();
    try {
        validation.ServiceStart();
        ReadLines(validation);
        ADD_FAILURE() << "validation of a missing database raised nothing";
    } catch (const EIBInterBaseError& error) {
        EXPECT_NE(error.Message().find(missing.string()), std::string::npos) << error.Message();
        EXPECT_GT(error.IBErrorCode(), 0);
    }
    EXPECT_FALSE(validation.Active());
    validation.SetActive(false);

    TIBBackupService backupService;
    Configure(backupService);
    backupService.SetDatabaseName(missing.string());
    backupService.BackupFile().Add(backup.string());
    backupService.SetVerbose(true);
    backupService.Attach();
    try {
        backupService.ServiceStart();
        ReadLines(backupService);
        ADD_FAILURE() << "backup of a missing database raised nothing";
    } catch (const EIBInterBaseError& error) {
        EXPECT_NE(error.Message().find(missing.string()), std::string::npos) << error.Message();
    }
    EXPECT_FALSE(backupService.Active());
}

TEST_F(ServicesOnServer, WrongPasswordIsRefusedAtAttach)
{
    TIBValidationService service;
    Configure(service);
    service.Params().SetValue("password", "errada");
    try {
        service.Attach();
        ADD_FAILURE() << "attached with a wrong password";
    } catch (const EIBInterBaseError& error) {
        EXPECT_NE(error.Message().find("password"), std::string::npos) << error.Message();
    }
    EXPECT_FALSE(service.Active());
}

// ---- the summary taken whole, the log and the online validation ------------------------------

// The kind of a summary line: its text before the count ("\tNumber of data page errors").
std::string CountKind(const std::string& line)
{
    const auto colon = line.find(':');
    std::string kind = line.substr(0, colon);
    while (!kind.empty() && (kind.back() == '\t' || kind.back() == ' '))
        kind.pop_back();
    while (!kind.empty() && (kind.front() == '\t' || kind.front() == ' ' || kind.front() == '\n'))
        kind.erase(0, 1);
    return kind;
}

// Records, an index page and a zeroed data page in one file: five kinds of findings and more.
fs::path ManyKindsOfDamage(PrivateServer& server)
{
    const auto db = server.freshPath("cinco");
    server.createDamagedDatabase(db, fbdamage::Kind::Records);
    for (const fbdamage::Kind kind : {fbdamage::Kind::BTree, fbdamage::Kind::ZeroPage}) {
        fbdamage::DamageOptions options;
        options.kind = kind;
        fbdamage::damage(db, options);
    }
    return db;
}

TEST_F(ServicesOnServer, ASummaryWithFiveKindsOfFindingsArrivesWhole)
{
    const auto db = ManyKindsOfDamage(server());
    const auto lines = Validate(db, kVerify);
    SCOPED_TRACE(Joined(lines));
    ASSERT_GE(lines.size(), 6u) << "the heading and at least five count lines";
    std::vector<std::string> ours;
    for (std::size_t i = 1; i < lines.size(); ++i)
        ours.push_back(CountKind(lines[i]));
    // The server's own tool prints every kind it found. Two runs can differ (a pointer page
    // warning of the first run is gone in the second), so every kind it prints must be ours too.
    const auto reference = server().validate(db);
    std::vector<std::string> theirs;
    std::size_t at = 0;
    while ((at = reference.output.find("Number of ", at)) != std::string::npos) {
        const auto end = reference.output.find('\n', at);
        theirs.push_back(CountKind(reference.output.substr(at, end - at)));
        at = end;
    }
    SCOPED_TRACE(reference.output);
    ASSERT_GE(theirs.size(), 5u) << "the damage gives five kinds";
    for (const std::string& kind : theirs)
        EXPECT_NE(std::find(ours.begin(), ours.end(), kind), ours.end()) << kind;
}

TEST_F(ServicesOnServer, RepeatedValidationsOfOneDamagedFileAlwaysBringTheirCountLines)
{
    const auto db = server().freshPath("repetida");
    server().createDamagedDatabase(db, fbdamage::Kind::Records);
    for (int run = 1; run <= 20; ++run) {
        SCOPED_TRACE("run " + std::to_string(run));
        const auto lines = Validate(db, kVerify);
        ASSERT_GE(lines.size(), 2u) << Joined(lines);
        EXPECT_EQ(lines.front(), "Summary of validation errors");
        for (std::size_t i = 1; i < lines.size(); ++i)
            EXPECT_NE(lines[i].find("Number of "), std::string::npos) << lines[i];
    }
}

TEST_F(ServicesOnServer, TheServersLogHoldsTheRunOfAValidationJustMade)
{
    const auto db = server().freshPath("log");
    server().createDamagedDatabase(db, fbdamage::Kind::ZeroPage);
    const TLogTime started = LocalLogTime(std::time(nullptr));
    Validate(db, kVerify);

    TIBServerLogService logService;
    Configure(logService);
    logService.Attach();
    const std::string log = logService.FetchLog();
    logService.SetActive(false);
    std::vector<std::string> problems;
    const TValidationRun run =
        ReadValidationRun(log, db.string(), started, [&](const std::string& p) { problems.push_back(p); });
    EXPECT_EQ(run.End, TValidationRunEnd::Finished);
    EXPECT_FALSE(problems.empty());
    EXPECT_FALSE(run.CountsDisagree()) << run.FinishLine;
}

TEST_F(ServicesOnServer, TheOnlineValidationSendsItsLinesAsOutput)
{
    const auto db = server().freshPath("online");
    server().createDamagedDatabase(db, fbdamage::Kind::Records);
    TIBOnlineValidationService online;
    Configure(online);
    online.SetDatabaseName(db.string());
    online.Attach();
    online.ServiceStart();
    const auto lines = ReadLines(online);
    online.SetActive(false);
    SCOPED_TRACE(Joined(lines));
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(),
                            [](const std::string& l) { return l.find("Error: ") != std::string::npos; }));
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(),
                            [](const std::string& l) { return l.find("ERRORS found") != std::string::npos; }));
}

}  // namespace
