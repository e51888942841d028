#include "RescueDbKey.h"

#include <stdexcept>

namespace tovanel {
namespace {

constexpr std::uint32_t kDataPageHeader = 24;
constexpr std::uint32_t kSmallestRecordWithSlot = 17;

}  // namespace

std::uint32_t SlotsPerDataPage(std::uint32_t pageSize) {
    if (pageSize <= kDataPageHeader) throw std::invalid_argument("page size too small");
    return (pageSize - kDataPageHeader) / kSmallestRecordWithSlot;
}

std::uint64_t RecordNumberAt(std::uint32_t slotsPerPage, RecordPosition position) {
    return static_cast<std::uint64_t>(slotsPerPage) * position.pageSequence + position.line;
}

RecordPosition PositionOf(std::uint32_t slotsPerPage, std::uint64_t recordNumber) {
    return {static_cast<std::uint32_t>(recordNumber / slotsPerPage),
            static_cast<std::uint32_t>(recordNumber % slotsPerPage)};
}

}  // namespace tovanel
