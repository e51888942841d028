// What a verification keeps of its findings: each server line classified with its table, page
// and record, and the JSON report that holds the same problems as the log.

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "VerificationFindings.h"

namespace tovanel::testing {
namespace {

TEST(VerificationProblems, EachServerLineGetsItsKindTableAndPlace) {
    struct Case {
        const char* text;
        const char* kind;
        const char* severity;
        const char* table;
        std::optional<std::uint64_t> page, record;
    };
    const Case cases[] = {
        {"Error: Data page 215 {sequence 15}, line 4 is bad in table PEDIDOS (129)", "data page", "error", "PEDIDOS",
         215, std::nullopt},
        {"Error: Record 12 is wrong length in table CLIENTES (128)", "record", "error", "CLIENTES", std::nullopt, 12},
        {"Error: Data page 301 {sequence 3}, record 7 is corrupt in table T_NOTAS (131)", "record", "error", "T_NOTAS",
         301, 7},
        {"Error: Index 2 is corrupt on page 204 level 0 at offset 15204. File: validation.cpp, line: 1733 in table "
         "PEDIDOS (129)",
         "index", "error", "PEDIDOS", 204, std::nullopt},
        {"Warning: Page 107 is an orphan", "page", "warning", "", 107, std::nullopt},
        {"Error: Page 333 wrong type (expected data encountered purposely undefined)", "page", "error", "", 333,
         std::nullopt},
        {"Error: Blob 88 appears inconsistent in table T_NOTAS (131)", "blob", "error", "T_NOTAS", std::nullopt,
         std::nullopt},
        {"Relation 129 (PEDIDOS) : 3 ERRORS found", "table", "error", "PEDIDOS", std::nullopt, std::nullopt},
        {"Error: something the server never said before", "other", "error", "", std::nullopt, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const VerificationProblem problem = ClassifyProblem(c.text);
        EXPECT_EQ(problem.kind, c.kind);
        EXPECT_EQ(problem.severity, c.severity);
        EXPECT_EQ(problem.table, c.table);
        EXPECT_EQ(problem.page, c.page);
        EXPECT_EQ(problem.record, c.record);
        EXPECT_EQ(problem.serverText, c.text);
    }
}

VerificationFindings DamagedFindings() {
    VerificationFindings found;
    found.database = "/dados/ERP.FDB";
    found.AddSummaryLine("Summary of validation errors");
    found.AddSummaryLine("\tNumber of record level errors\t: 1");
    found.AddSummaryLine("\tNumber of data page errors\t: 3");
    found.AddValidationProblem("Error: Record 12 is wrong length in table CLIENTES (128)");
    found.AddValidationProblem("Warning: Page 107 is an orphan");
    TReadCheck check;
    check.Completed = true;
    check.TablesRead = {"CLIENTES", "PEDIDOS"};
    check.Unreadable = {{"T_NOTAS", "segment buffer length shorter than expected"}};
    found.AddReadCheck(check);
    return found;
}

TEST(VerificationReport, TheJsonHoldsEveryProblemTheSummaryAndEachTablesRead) {
    const auto json = nlohmann::json::parse(FindingsJson(DamagedFindings()));
    EXPECT_EQ(json["database"], "/dados/ERP.FDB");
    EXPECT_EQ(json["problems_found"], true);
    EXPECT_EQ(json["summary"]["validation_problems"], 2);
    EXPECT_EQ(json["summary"]["unreadable_tables"], 1);
    EXPECT_EQ(json["summary"]["server_counts"]["data page errors"], 3);
    EXPECT_EQ(json["summary"]["server_counts"]["record level errors"], 1);
    EXPECT_EQ(json["summary"]["server_lines"].size(), 3u);

    const auto& problems = json["problems"];
    ASSERT_EQ(problems.size(), 3u);
    EXPECT_EQ(problems[0]["kind"], "record");
    EXPECT_EQ(problems[0]["table"], "CLIENTES");
    EXPECT_EQ(problems[0]["record"], 12);
    EXPECT_FALSE(problems[0].contains("page"));
    EXPECT_EQ(problems[1]["severity"], "warning");
    EXPECT_EQ(problems[1]["page"], 107);
    EXPECT_FALSE(problems[1].contains("table"));
    EXPECT_EQ(problems[2]["kind"], "table cannot be read");
    EXPECT_EQ(problems[2]["table"], "T_NOTAS");
    EXPECT_EQ(problems[2]["server_text"], "segment buffer length shorter than expected");

    const auto& read = json["read_check"];
    EXPECT_EQ(read["ran"], true);
    EXPECT_EQ(read["completed"], true);
    ASSERT_EQ(read["tables"].size(), 3u);
    EXPECT_EQ(read["tables"][0], (nlohmann::json{{"table", "CLIENTES"}, {"readable", true}}));
    EXPECT_EQ(read["tables"][2]["readable"], false);
}

TEST(VerificationReport, TablesLeftOutOfTheReadAreListedApartFromTheTablesRead) {
    VerificationFindings found;
    found.AddValidationProblem("Error: Data page 215 {sequence 15}, line 4 is bad in table PEDIDOS (129)");
    TReadCheck check;
    check.Completed = true;
    check.TablesRead = {"CLIENTES"};
    check.LeftOut = {"PEDIDOS"};
    found.AddReadCheck(check);
    const auto read = nlohmann::json::parse(FindingsJson(found))["read_check"];
    EXPECT_EQ(read["left_out"], nlohmann::json::array({"PEDIDOS"}));
    EXPECT_EQ(read["tables"], nlohmann::json::parse(R"([{"table": "CLIENTES", "readable": true}])"));
}

TEST(VerificationReport, AHealthyDatabaseWithoutTheReadCheckSaysSo) {
    VerificationFindings found;
    found.database = "/dados/ERP.FDB";
    const auto json = nlohmann::json::parse(FindingsJson(found));
    EXPECT_EQ(json["problems_found"], false);
    EXPECT_TRUE(json["problems"].empty());
    EXPECT_EQ(json["read_check"], (nlohmann::json{{"ran", false}}));
}

// Bytes of a damaged catalogue that are not UTF-8 must not make the report unwritable.
TEST(VerificationReport, TextThatIsNotUtf8StillMakesValidJson) {
    VerificationFindings found;
    found.AddValidationProblem("Error: Record 1 is wrong length in table CLI\xC9NTES (128)");
    const auto json = nlohmann::json::parse(FindingsJson(found));
    EXPECT_EQ(json["problems"][0]["record"], 1);
}

TEST(VerificationFindingsTables, OnlyDataProblemsNameATableForTheRepair) {
    VerificationFindings found;
    found.AddValidationProblem("Error: Index 2 is corrupt on page 204 level 0 at offset 15204. in table PEDIDOS (129)");
    found.AddValidationProblem("Error: Data page 215 {sequence 15}, line 4 is bad in table CLIENTES (128)");
    TReadCheck check;
    check.Unreadable = {{"T_NOTAS", "x"}};
    found.AddReadCheck(check);
    EXPECT_EQ(found.TablesNamedByValidation(), (std::set<std::string>{"CLIENTES"}));
}

}  // namespace
}  // namespace tovanel::testing
