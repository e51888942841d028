#pragma once
// Which record numbers the rescue fetches one by one once a table's natural scan has failed.
// A page's probes end after a run of empty slots (records lie at the start of a page's slot
// array, gaps come only from deleted records); the table's probes end after a run of pages where
// nothing at all was found. A failing read counts as "something there": a damaged page is never
// taken for the table's end. Every count is bounded, so probing always ends.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace tovanel {

enum class ProbeResult { Found, Empty, Unreadable };

struct ProbeLimits {
    std::uint32_t emptySlotsEndPage = 64;   // no genuine row lost from 8 up on our damaged files (BENCHMARKS.md)
    std::uint32_t emptyPagesEndTable = 16;  // 16 x 64 empty probes cost about 0.1 s
};

class RecordProber {
public:
    RecordProber(std::uint32_t slotsPerPage, std::uint64_t firstRecord, ProbeLimits limits = {});

    // The record number to fetch next; nothing when the probing has ended.
    std::optional<std::uint64_t> Next() const;
    // Next() and the record numbers after it on the same page, at most `most` (at least one):
    // what one round trip can fetch together. The caller records their results in order while
    // Next() still names the record; the rest of a run past the page's end were fetched for
    // nothing, but a row found among them is a row read.
    std::vector<std::uint64_t> NextRun(std::size_t most) const;
    void Record(ProbeResult result);

    std::uint64_t Probes() const noexcept { return probes_; }
    std::uint64_t PagesProbed() const noexcept { return pagesProbed_; }

private:
    void NextPage();

    std::uint32_t slots_;
    ProbeLimits limits_;
    std::uint64_t current_;
    std::uint32_t emptyRun_ = 0;
    bool pageHadSomething_ = false;
    std::uint32_t emptyPages_ = 0;
    std::uint64_t probes_ = 0;
    std::uint64_t pagesProbed_ = 1;
    bool done_ = false;
};

}  // namespace tovanel
