// Record numbers and RDB$DB_KEY bytes. The byte tables are keys as the server hands them out for
// table 128 (isql shows them as hex: 8000000001000000 is its first record).
#include <gtest/gtest.h>

#include "RescueDbKey.h"
#include "SqlValues.h"

namespace tovanel {
namespace {

struct KeyCase {
    std::uint16_t relation;
    std::uint32_t record;
    std::array<std::uint8_t, 8> bytes;
};

class KeyBytes : public ::testing::TestWithParam<KeyCase> {};

// The record numbers the rescue probes become the keys the server hands out.
TEST_P(KeyBytes, RecordNumberPlusOneIsStoredLittleEndianAfterTheRelation) {
    const KeyCase& c = GetParam();
    EXPECT_EQ(TDbKey::For(c.relation, c.record).bytes, c.bytes);
    const TDbKey key{c.bytes};
    EXPECT_EQ(key.RecordNumber(), c.record);
    EXPECT_EQ(key.RelationId(), c.relation);
}

INSTANTIATE_TEST_SUITE_P(
    Table, KeyBytes,
    ::testing::Values(KeyCase{128, 0, {0x80, 0, 0, 0, 0x01, 0, 0, 0}},
                      KeyCase{128, 238, {0x80, 0, 0, 0, 0xEF, 0, 0, 0}},
                      KeyCase{128, 239, {0x80, 0, 0, 0, 0xF0, 0, 0, 0}},
                      KeyCase{0x0102, 0x12345677, {0x02, 0x01, 0, 0, 0x78, 0x56, 0x34, 0x12}}));

struct SlotsCase {
    std::uint32_t pageSize;
    std::uint32_t slots;
};

class SlotsPerPage : public ::testing::TestWithParam<SlotsCase> {};

TEST_P(SlotsPerPage, FollowsThePageSize) {
    EXPECT_EQ(SlotsPerDataPage(GetParam().pageSize), GetParam().slots);
}

// 4096 and 8192 measured from healthy tables' keys; the others follow the same rule.
INSTANTIATE_TEST_SUITE_P(Sizes, SlotsPerPage,
                         ::testing::Values(SlotsCase{4096, 239}, SlotsCase{8192, 480}, SlotsCase{16384, 962},
                                           SlotsCase{32768, 1926}));

TEST(RecordNumber, PositionAndNumberAreInverse) {
    for (const std::uint32_t slots : {239u, 480u})
        for (const std::uint64_t record : {0ull, 1ull, 238ull, 239ull, 479ull, 480ull, 100000ull}) {
            const RecordPosition position = PositionOf(slots, record);
            EXPECT_LT(position.line, slots);
            EXPECT_EQ(RecordNumberAt(slots, position), record);
        }
    EXPECT_EQ(RecordNumberAt(480, {2, 5}), 965u);
}

}  // namespace
}  // namespace tovanel
