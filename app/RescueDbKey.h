#pragma once
// Where a record lies, from its record number (the number in its RDB$DB_KEY, see TDbKey):
// record number = slots per data page x the page's sequence in the table + the record's line on
// that page.

#include <cstdint>

namespace tovanel {

// Record slots per data page: (page size - 24) / 17 (a data page's header, and the smallest
// record with its slot).
std::uint32_t SlotsPerDataPage(std::uint32_t pageSize);

struct RecordPosition {
    std::uint32_t pageSequence = 0;  // the data page's place among the table's data pages
    std::uint32_t line = 0;          // the record's slot on that page
    friend bool operator==(const RecordPosition&, const RecordPosition&) = default;
};

std::uint64_t RecordNumberAt(std::uint32_t slotsPerPage, RecordPosition position);
RecordPosition PositionOf(std::uint32_t slotsPerPage, std::uint64_t recordNumber);

}  // namespace tovanel
