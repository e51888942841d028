#include "RescueProbing.h"

#include <stdexcept>

namespace tovanel {

RecordProber::RecordProber(std::uint32_t slotsPerPage, std::uint64_t firstRecord, ProbeLimits limits)
    : slots_(slotsPerPage), limits_(limits), current_(firstRecord) {
    if (slots_ == 0 || limits_.emptySlotsEndPage == 0 || limits_.emptyPagesEndTable == 0)
        throw std::invalid_argument("probe limits must be positive");
    // A probe that starts in the middle of a page knows the page holds records before it.
    pageHadSomething_ = firstRecord % slots_ != 0;
}

std::optional<std::uint64_t> RecordProber::Next() const {
    if (done_) return std::nullopt;
    return current_;
}

std::vector<std::uint64_t> RecordProber::NextRun(std::size_t most) const {
    std::vector<std::uint64_t> run;
    if (done_) return run;
    const std::uint64_t pageEnd = (current_ / slots_ + 1) * slots_;
    for (std::uint64_t record = current_; record < pageEnd && (run.empty() || run.size() < most); ++record)
        run.push_back(record);
    return run;
}

void RecordProber::Record(ProbeResult result) {
    if (done_) return;
    ++probes_;
    if (result == ProbeResult::Empty) {
        ++emptyRun_;
    } else {
        emptyRun_ = 0;
        pageHadSomething_ = true;
    }
    ++current_;
    if (emptyRun_ >= limits_.emptySlotsEndPage || current_ % slots_ == 0) NextPage();
}

void RecordProber::NextPage() {
    emptyPages_ = pageHadSomething_ ? 0 : emptyPages_ + 1;
    if (emptyPages_ >= limits_.emptyPagesEndTable) {
        done_ = true;
        return;
    }
    current_ = (current_ + slots_ - 1) / slots_ * slots_;
    emptyRun_ = 0;
    pageHadSomething_ = false;
    ++pagesProbed_;
}

}  // namespace tovanel
