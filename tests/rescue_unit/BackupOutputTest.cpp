// The backup's verbose lines, as this server sends them, read for the table that stopped it; and
// the pattern of the tables whose rows it leaves out.
#include <gtest/gtest.h>

#include "RescueBackup.h"

namespace tovanel {
namespace {

const std::vector<std::string> kDefinitions = {
    "gbak:readied database /d/x.fdb for backup", "gbak:writing tables", "gbak:    writing table CLIENTES ",
    "gbak:    writing table PEDIDOS ",          "gbak:    writing table PRODUTOS ", "gbak:writing id generators "};

struct OutputCase {
    const char* name;
    std::vector<std::string> tail;  // after the definitions
    std::set<std::string> skipped;
    bool failed;
    std::optional<std::string> table;
};

class BackupOutput : public ::testing::TestWithParam<OutputCase> {};

TEST_P(BackupOutput, NamesTheTableWhoseRowsStoppedIt) {
    BackupOutputReader reader;
    for (const auto& line : kDefinitions) reader.Add(line);
    for (const auto& line : GetParam().tail) reader.Add(line);
    EXPECT_EQ(reader.Failed(), GetParam().failed);
    EXPECT_EQ(reader.FailingTable(GetParam().skipped), GetParam().table);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, BackupOutput,
    ::testing::Values(
        OutputCase{"success",
                   {"gbak:    writing data for table CLIENTES ", "gbak:3000 records written ",
                    "gbak:writing table constraints "},
                   {},
                   false,
                   std::nullopt},
        OutputCase{"failure_inside_a_table",
                   {"gbak:    writing data for table CLIENTES ", "gbak:3000 records written ",
                    "gbak:    writing data for table PEDIDOS ",
                    "gbak: ERROR:internal Firebird consistency check (decompression overran buffer (179))",
                    "gbak:Exiting before completion due to errors"},
                   {},
                   true,
                   "PEDIDOS"},
        // Measured: the first table's line never came, the failure followed the generators.
        OutputCase{"failure_before_the_first_table_line",
                   {"gbak: ERROR:internal Firebird consistency check (decompression overran buffer (179))",
                    "gbak: ERROR:    gds_$receive failed", "gbak:Exiting before completion due to errors"},
                   {},
                   true,
                   "CLIENTES"},
        OutputCase{"skipped_tables_are_passed_over",
                   {"gbak: ERROR:segment buffer length shorter than expected",
                    "gbak:Exiting before completion due to errors"},
                   {"CLIENTES"},
                   true,
                   "PEDIDOS"},
        OutputCase{"restore_stopped_by_a_table_s_rows",
                   {"gbak:    restoring data for table CONFIG", "gbak:10 records restored",
                    "gbak:    restoring data for table DOCS", "gbak: ERROR:Malformed string",
                    "gbak:Exiting before completion due to errors"},
                   {},
                   true,
                   "DOCS"},
        OutputCase{"service_lines_without_prefix",
                   {"writing data for table PRODUTOS", "ERROR:index inconsistent"},
                   {},
                   true,
                   "PRODUTOS"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(BackupOutput, AFailureInTheDefinitionsNamesNoTable) {
    BackupOutputReader reader;
    reader.Add("gbak:readied database /d/x.fdb for backup");
    reader.Add("gbak: ERROR:index inconsistent");
    reader.Add("gbak:Exiting before completion due to errors");
    EXPECT_TRUE(reader.Failed());
    EXPECT_EQ(reader.FailingTable({}), std::nullopt);
}

TEST(SkipData, PatternAndTheTablesItReallySkips) {
    EXPECT_EQ(SkipDataPattern({}), "");
    EXPECT_EQ(SkipDataPattern({"CLIENTES", "PEDIDOS"}), "(CLIENTES|PEDIDOS)");
    EXPECT_EQ(SkipDataPattern({"A B", "X(1)"}), "(A_B|X_1_)");
    const std::vector<std::string> all = {"A_B", "AXB", "A B", "AB", "CLIENTES", "X(1)", "XY1Z"};
    EXPECT_EQ(TablesSkippedBy({"A_B"}, all), (std::set<std::string>{"A_B", "AXB", "A B"}));
    EXPECT_EQ(TablesSkippedBy({"CLIENTES"}, all), (std::set<std::string>{"CLIENTES"}));
    EXPECT_EQ(TablesSkippedBy({"X(1)"}, all), (std::set<std::string>{"X(1)", "XY1Z"}));
}

}  // namespace
}  // namespace tovanel
