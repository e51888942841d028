// The whole rescue against the private instance, on checkable databases damaged in several ways:
// the original stays byte for byte, no working copy or temporary file is left, every row in a
// rescued table is genuine, each table keeps at least the rows the server's own tools recover
// from a copy, and the server survives.

#include "RescueFixture.h"

namespace tovanel::testing {
namespace {

struct DamageCase {
    const char* name;
    void (*damage)(const fs::path& path);
};

void Records(const fs::path& p) { fbdamage::damage(p, {fbdamage::Kind::Records, 2, 128, 7}); }
void Count(const fs::path& p) { fbdamage::damage(p, {fbdamage::Kind::Count, 2, 128, 3}); }
void Zero(const fs::path& p) { fbdamage::damage(p, {fbdamage::Kind::ZeroPage, 1, 128, 5}); }
void BTree(const fs::path& p) { fbdamage::damage(p, {fbdamage::Kind::BTree, 2, 128, 9}); }
void Blobs(const fs::path& p) { GarbleBlobPages(p, 2); }
void OnlyPage(const fs::path& p) { fbdamage::damage(p, {fbdamage::Kind::Records, 1, 131, 11}); }
void Several(const fs::path& p) {
    Records(p);
    BTree(p);
    Blobs(p);
}
// The server's backup cannot start: the schema comes from the system tables.
void SystemIndex(const fs::path& p) { fbdamage::damage(p, {fbdamage::Kind::SystemBTree, 1, std::nullopt, 1}); }
void SystemIndexAndRecords(const fs::path& p) {
    SystemIndex(p);
    Records(p);
}
void Truncated(const fs::path& p) {
    const auto size = fs::file_size(p);
    fs::resize_file(p, size - 8 * 4096);
}

class RescueOfDamage : public RescueInDirectory, public ::testing::WithParamInterface<DamageCase> {
protected:
    fs::path MakeDamaged() {
        const fs::path original = server().freshPath("danificado");
        const auto made = testserver::runCommand({"isql-fb", "-q", "-b"}, CheckableScript(original, server()));
        EXPECT_TRUE(made.ok()) << made.output;
        GetParam().damage(original);
        return original;
    }
};

TEST_P(RescueOfDamage, SavesOnlyGenuineRowsAndAtLeastWhatTheServersToolsSave) {
    const fs::path original = MakeDamaged();
    const std::string before = FileBytes(original);

    // What the server's own tools recover from a copy; they may fail outright.
    std::optional<testserver::RowCounts> reference;
    try {
        reference = server().referenceRepair(original).counts;
    } catch (const std::exception&) {
    }
    ASSERT_EQ(FileBytes(original), before);

    const fs::path target = directory / "banco_RESGATE.FDB";
    std::vector<std::string> log;
    const RescueReport report =
        RunRescue(RequestFor(original, target, server()), [&](const RescueProgress& p) {
            if (!p.line.empty()) log.push_back(p.line);
        });
    std::string joined;
    for (const auto& line : log) joined += line + "\n";
    for (const auto& line : ReportLines(report)) joined += line + "\n";

    EXPECT_EQ(FileBytes(original), before) << "the original is byte for byte as it was";
    EXPECT_TRUE(server().reachable()) << "the server survived";
    ASSERT_EQ(report.outcome, RescueOutcome::NewDatabaseMade) << report.failure << "\n" << joined;
    EXPECT_EQ(FilesIn(directory), std::vector<fs::path>{target}) << "no working copy or temporary file is left";
    // The pump loads without forced writes; the new database must get them back as restored.
    EXPECT_EQ(Scalar(server(), target, "select mon$forced_writes from mon$database"), 1);

    std::map<std::string, const TableRescue*> byName;
    for (const TableRescue& table : report.tables) byName[table.name] = &table;
    for (const auto& [table, condition] : GenuineConditions()) {
        ASSERT_TRUE(byName.count(table)) << table << "\n" << joined;
        const TableRescue& rescued = *byName[table];
        EXPECT_EQ(NotGenuine(server(), target, table), 0) << table << ": every rescued row is genuine\n" << joined;
        const long long rows = Scalar(server(), target, "select count(*) from " + table);
        EXPECT_EQ(static_cast<std::uint64_t>(rows), rescued.rowsSaved) << table;
        if (reference && reference->count(table)) {
            EXPECT_GE(rows, reference->at(table)) << table << ": at least the rows the server's tools recover\n"
                                                  << joined;
        }
        if (!rescued.quarantineTable.empty()) {
            EXPECT_EQ(static_cast<std::uint64_t>(
                          Scalar(server(), target, "select count(*) from \"" + rescued.quarantineTable + "\"")),
                      rescued.QuarantinedRows())
                << table;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, RescueOfDamage,
                         ::testing::Values(DamageCase{"records", Records}, DamageCase{"count", Count},
                                           DamageCase{"zero_page", Zero}, DamageCase{"btree", BTree},
                                           DamageCase{"blob_pages", Blobs}, DamageCase{"only_data_page", OnlyPage},
                                           DamageCase{"several_at_once", Several},
                                           DamageCase{"system_index", SystemIndex},
                                           DamageCase{"system_index_and_records", SystemIndexAndRecords},
                                           DamageCase{"truncated", Truncated}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tovanel::testing

namespace tovanel::testing {
namespace {

using RescueRefusal = RescueInDirectory;

// Refused before anything is written: the job returns a failure, the directory stays empty.
TEST_F(RescueRefusal, AnOriginalTheServerHoldsOpenIsRefusedAsAnOutcome) {
    const fs::path original = server().freshPath("aberto");
    server().createHealthyDatabase(original);
    TIBDatabase holder;
    OpenDatabase(holder, original.string(), {server().user(), server().password()});
    const RescueReport report = RunRescue(RequestFor(original, directory / "novo.fdb", server()), {});
    holder.SetConnected(false);
    EXPECT_EQ(report.outcome, RescueOutcome::Failed);
    EXPECT_FALSE(report.serverDied);
    EXPECT_EQ(report.failure.rfind("O servidor está com o banco de dados " + original.string() + " aberto.", 0), 0u)
        << report.failure;
    EXPECT_TRUE(FilesIn(directory).empty());
}

}  // namespace
}  // namespace tovanel::testing

namespace tovanel::testing {
namespace {

using RescueQuarantine = RescueInDirectory;

// Rows the checks cannot vouch for go to the table's quarantine with their record number and the
// reason, and are not in the table; every other row is. Control bytes in a text column stand in
// for a garbled record the server still reads: the same check, made certain.
TEST_F(RescueQuarantine, RowsTheChecksDoubtAreKeptApartWithTheirReasonAndTheOthersAreSaved) {
    const fs::path original = server().freshPath("quarentena");
    std::ostringstream sql;
    sql << CreateDatabaseStatement(original, server(), "page_size 4096 default character set win1252")
        << "create table pessoas (id integer not null primary key, nome varchar(40));\n"
        << "commit;\nset term ^;\n"
        << "execute block as declare i integer = 1; begin\n"
        << "  while (i <= 50) do begin insert into pessoas values (:i, 'Pessoa ' || :i); i = i + 1; end\n"
        << "end^\nset term ;^\n"
        << "insert into pessoas values (51, 'Jo' || ascii_char(1) || 'ao');\n"
        << "insert into pessoas values (52, 'Ma' || ascii_char(7) || 'ria');\n"
        << "commit;\n";
    const auto made = testserver::runCommand({"isql-fb", "-q", "-b"}, sql.str());
    ASSERT_TRUE(made.ok()) << made.output;

    RescueRequest request = RequestFor(original, directory / "quarentena_RESGATE.FDB", server());
    request.alsoPump = {"PESSOAS"};
    const RescueReport report = RunRescue(request, {});
    ASSERT_EQ(report.outcome, RescueOutcome::NewDatabaseMade) << report.failure;

    const fs::path target = directory / "quarentena_RESGATE.FDB";
    ASSERT_EQ(report.tables.size(), 1u);
    const TableRescue& table = report.tables.front();
    EXPECT_EQ(table.rowsSaved, 50u);
    EXPECT_EQ(table.QuarantinedRows(), 2u);
    EXPECT_EQ(table.quarantined.count(Doubt::ControlBytes) ? table.quarantined.at(Doubt::ControlBytes) : 0u, 2u);
    EXPECT_EQ(Scalar(server(), target, "select count(*) from pessoas where id between 1 and 50"), 50);
    EXPECT_EQ(Scalar(server(), target, "select count(*) from pessoas where id > 50"), 0) << "doubted rows stay out";

    ASSERT_FALSE(table.quarantineTable.empty());
    const std::string quarantine = "\"" + table.quarantineTable + "\"";
    EXPECT_EQ(Scalar(server(), target, "select count(*) from " + quarantine + " where id in (51, 52)"), 2);
    // Each with the reason the checks gave and a record number of the original's table.
    EXPECT_EQ(Scalar(server(), target,
                     "select count(*) from " + quarantine + " where \"RESGATE$MOTIVO\" = '" +
                         std::string(DoubtText(Doubt::ControlBytes)) + "' and \"RESGATE$REGISTRO\" > 0"),
              2);
}

}  // namespace
}  // namespace tovanel::testing
