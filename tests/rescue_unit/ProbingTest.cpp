// The probing rule, driven by a table laid out on pages: which records a rescue fetches, that it
// reaches every record behind damage and gaps, and that it always ends.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <tuple>
#include <vector>

#include "RescueProbing.h"

namespace tovanel {
namespace {

// A table as the probes see it: record number -> what a fetch gives; anything else is empty.
using Layout = std::map<std::uint64_t, ProbeResult>;

struct ProbeRun {
    std::set<std::uint64_t> found;
    std::uint64_t probes = 0;
};

// Fetches `keysPerTrip` records per round trip as the pump does: every row a trip brings is
// kept, the results are recorded in order while the prober still names the record.
ProbeRun Probe(const Layout& table, std::uint32_t slots, std::uint64_t first, ProbeLimits limits,
               std::size_t keysPerTrip = 1) {
    RecordProber prober(slots, first, limits);
    ProbeRun run;
    while (prober.Next()) {
        for (const std::uint64_t record : prober.NextRun(keysPerTrip)) {
            const auto place = table.find(record);
            const ProbeResult result = place == table.end() ? ProbeResult::Empty : place->second;
            if (result == ProbeResult::Found) run.found.insert(record);
            if (prober.Next() == record) prober.Record(result);
            ++run.probes;
        }
        if (run.probes > 1'000'000) break;
    }
    return run;
}

void Fill(Layout& table, std::uint32_t slots, std::uint32_t page, std::uint32_t from, std::uint32_t to,
          ProbeResult result = ProbeResult::Found) {
    for (std::uint32_t line = from; line < to; ++line) table[std::uint64_t{slots} * page + line] = result;
}

std::set<std::uint64_t> FoundIn(const Layout& table) {
    std::set<std::uint64_t> found;
    for (const auto& [record, result] : table)
        if (result == ProbeResult::Found) found.insert(record);
    return found;
}

constexpr std::uint32_t kSlots = 239;

struct LayoutCase {
    const char* name;
    Layout (*make)();
    std::uint64_t first;
};

class ProbingReaches : public ::testing::TestWithParam<std::tuple<LayoutCase, std::size_t>> {};

TEST_P(ProbingReaches, EveryReadableRecordAndEnds) {
    const auto& [layout, keysPerTrip] = GetParam();
    const Layout table = layout.make();
    const ProbeRun run = Probe(table, kSlots, layout.first, {}, keysPerTrip);
    std::set<std::uint64_t> expected;
    for (const std::uint64_t record : FoundIn(table))
        if (record >= layout.first) expected.insert(record);
    EXPECT_EQ(run.found, expected);
    EXPECT_LT(run.probes, 1'000'000u) << "probing must end";
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, ProbingReaches,
    ::testing::Combine(::testing::Values(
        LayoutCase{"full_pages",
                   [] {
                       Layout t;
                       for (std::uint32_t p = 0; p < 5; ++p) Fill(t, kSlots, p, 0, 120);
                       return t;
                   },
                   0},
        LayoutCase{"unreadable_page_in_the_middle",
                   [] {
                       Layout t;
                       Fill(t, kSlots, 0, 0, 100);
                       Fill(t, kSlots, 1, 0, kSlots, ProbeResult::Unreadable);
                       Fill(t, kSlots, 2, 0, 100);
                       return t;
                   },
                   50},
        LayoutCase{"garbled_lines_between_rows",
                   [] {
                       Layout t;
                       Fill(t, kSlots, 0, 0, 100);
                       Fill(t, kSlots, 0, 40, 45, ProbeResult::Unreadable);
                       Fill(t, kSlots, 1, 0, 100);
                       return t;
                   },
                   40},
        LayoutCase{"deleted_rows_leave_short_gaps",
                   [] {
                       Layout t;
                       Fill(t, kSlots, 0, 0, 30);
                       Fill(t, kSlots, 0, 90, 150);  // 60 empty slots: under the limit of 64
                       Fill(t, kSlots, 1, 0, 80);
                       return t;
                   },
                   0},
        LayoutCase{"empty_pages_between_data",
                   [] {
                       Layout t;
                       Fill(t, kSlots, 0, 0, 50);
                       Fill(t, kSlots, 10, 0, 50);  // nine empty pages, under the limit of 16
                       return t;
                   },
                   0}),
                       // One key per round trip, a run that ends inside a page, and whole runs.
                       ::testing::Values(std::size_t{1}, std::size_t{7}, std::size_t{64})),
    [](const auto& info) {
        return std::string(std::get<0>(info.param).name) + "_" + std::to_string(std::get<1>(info.param)) + "_per_trip";
    });

TEST(Probing, AnEmptyRunEndsThePageNotTheTable) {
    Layout table;
    Fill(table, kSlots, 0, 0, 10);
    Fill(table, kSlots, 0, 200, 210);  // beyond a run of 190 empty slots: given up
    Fill(table, kSlots, 1, 0, 10);
    const ProbeRun run = Probe(table, kSlots, 0, {});
    EXPECT_EQ(run.found.count(200), 0u);
    EXPECT_EQ(run.found.count(kSlots), 1u);
    // Page 0: 10 found + 64 empty; page 1: 10 + 64; then 16 pages of 64 empty probes.
    EXPECT_EQ(run.probes, 2u * (10 + 64) + 16u * 64);
}

TEST(Probing, ARunStaysOnItsPage) {
    RecordProber prober(kSlots, kSlots - 5);
    const std::vector<std::uint64_t> run = prober.NextRun(64);
    ASSERT_EQ(run.size(), 5u);
    EXPECT_EQ(run.front(), kSlots - 5u);
    EXPECT_EQ(run.back(), kSlots - 1u);
    EXPECT_EQ(prober.NextRun(0).size(), 1u) << "a run holds at least the next record";
}

TEST(Probing, StartingMidPageCountsThatPageAsHoldingRecords) {
    // Everything after the start is empty: the prober must still try the pages that follow.
    Layout table;
    Fill(table, kSlots, 3, 0, 5);
    const ProbeRun run = Probe(table, kSlots, 100, {64, 3});
    EXPECT_EQ(run.found.size(), 5u);
}

TEST(Probing, LimitsMustBePositive) {
    EXPECT_THROW(RecordProber(0, 0), std::invalid_argument);
    EXPECT_THROW(RecordProber(239, 0, {0, 16}), std::invalid_argument);
    EXPECT_THROW(RecordProber(239, 0, {64, 0}), std::invalid_argument);
}

}  // namespace
}  // namespace tovanel
