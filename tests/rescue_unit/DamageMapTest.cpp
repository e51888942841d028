// The validation's problem lines, table by table: which tables go through the pump and which
// records are named. Lines as this server writes them into its log.
#include <gtest/gtest.h>

#include "RescueDamageMap.h"

namespace tovanel {
namespace {

struct ProblemCase {
    const char* line;
    const char* table;  // nullptr: the line names no table
    bool pump;
    std::optional<std::uint64_t> record;
};

class Problems : public ::testing::TestWithParam<ProblemCase> {};

TEST_P(Problems, AreSortedByTable) {
    DamageMap map;
    map.AddProblem(GetParam().line);
    if (GetParam().table == nullptr) {
        EXPECT_TRUE(map.Tables().empty());
        return;
    }
    EXPECT_EQ(map.NeedsPump(GetParam().table), GetParam().pump);
    if (GetParam().record) {
        EXPECT_TRUE(map.RecordNamed(GetParam().table, *GetParam().record));
    }
    EXPECT_FALSE(map.RecordNamed(GetParam().table, 999999));
}

INSTANTIATE_TEST_SUITE_P(
    Lines, Problems,
    ::testing::Values(
        ProblemCase{"Error: Record 1234 is wrong length in table CLIENTES (128)", "CLIENTES", true, 1234},
        ProblemCase{"Error: Data page 335 {sequence 3} is confused in table PEDIDOS (129)", "PEDIDOS", true, {}},
        ProblemCase{"Error: Page 335 wrong type (expected data encountered purposely undefined) in table PEDIDOS (129)",
                    "PEDIDOS", true, {}},
        ProblemCase{"Error: Blob 77 appears inconsistent in table DOCS (130)", "DOCS", true, {}},
        ProblemCase{"Error: Chain for record 17 is broken in table DOCS (130)", "DOCS", true, 17},
        ProblemCase{"Error: Index 2 is corrupt on page 289 level 0 at offset 32915. File: validation.cpp, line: 1"
                    " in table PEDIDOS (129)",
                    "PEDIDOS", false, {}},
        ProblemCase{"Warning: Relation has 3 orphan backversions {0 in use} in table X (131)", "X", true, {}},
        ProblemCase{"12:15:29.22 Relation 128 (CLIENTES) : 45 ERRORS found", "CLIENTES", true, {}},
        ProblemCase{"12:15:29.23 Relation 129 (PEDIDOS) is ok", nullptr, false, {}},
        ProblemCase{"Validation finished: 3 errors, 0 warnings, 0 fixed", nullptr, false, {}}));

TEST(DamageMap, AnIndexProblemDoesNotHideADataProblemOfTheSameTable) {
    DamageMap map;
    map.AddProblem("Error: Index 1 is corrupt on page 9 level 0 at offset 1 in table T (128)");
    EXPECT_FALSE(map.NeedsPump("T"));
    map.AddProblem("Error: Record 5 is wrong length in table T (128)");
    map.AddProblem("Error: Index 1 is corrupt on page 10 level 0 at offset 1 in table T (128)");
    EXPECT_TRUE(map.NeedsPump("T"));
    EXPECT_TRUE(map.Tables().at("T").indexDamage);
    EXPECT_TRUE(map.RecordNamed("T", 5));
}

}  // namespace
}  // namespace tovanel
