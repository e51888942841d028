// Plain values of the SQL types the server returns, and their exact conversion to and from the
// client's wire forms (days since 1858-11-17, ten-thousandths of a second, scaled integers).
#pragma once

#include <ibase.h>

#include <array>
#include <compare>
#include <cstdint>
#include <string>

// A scaled integer: value × 10^scale (scale ≤ 0 for NUMERIC/DECIMAL). Kept as the integer the
// server sends, so nothing is lost on the way through.
struct TScaledInt {
    int64_t value = 0;
    int scale = 0;
    auto operator<=>(const TScaledInt&) const = default;
    // "-12.345" for value -12345, scale -3.
    std::string ToString() const;
};

struct TSqlDate {
    int year = 1858;
    int month = 11;
    int day = 17;
    auto operator<=>(const TSqlDate&) const = default;
};

// Time of day to the server's resolution, a ten-thousandth of a second.
struct TSqlTime {
    int hour = 0;
    int minute = 0;
    int second = 0;
    int fraction = 0;  // ten-thousandths, 0..9999
    auto operator<=>(const TSqlTime&) const = default;
};

struct TSqlTimestamp {
    TSqlDate date;
    TSqlTime time;
    auto operator<=>(const TSqlTimestamp&) const = default;
};

// The wire forms. Encoding refuses nothing: callers check ranges (a month 13 rolls over).
ISC_DATE EncodeSqlDate(const TSqlDate& date) noexcept;
TSqlDate DecodeSqlDate(ISC_DATE days) noexcept;
ISC_TIME EncodeSqlTime(const TSqlTime& time) noexcept;
TSqlTime DecodeSqlTime(ISC_TIME units) noexcept;
ISC_TIMESTAMP EncodeSqlTimestamp(const TSqlTimestamp& stamp) noexcept;
TSqlTimestamp DecodeSqlTimestamp(const ISC_TIMESTAMP& stamp) noexcept;

// A record's key (RDB$DB_KEY of a table): 8 bytes, relation id in bytes 0-1 and record number
// plus one in bytes 4-7, both little-endian on this server. A direct fetch by key
// ("where rdb$db_key = ?") reads one record without any index.
struct TDbKey {
    std::array<uint8_t, 8> bytes{};
    auto operator<=>(const TDbKey&) const = default;

    uint16_t RelationId() const noexcept;
    // The record number the key stands for (slot within the table's data pages).
    uint32_t RecordNumber() const noexcept;
    static TDbKey For(uint16_t relationId, uint32_t recordNumber) noexcept;
};

// Blob ids compare by both words.
inline bool SameBlobId(const ISC_QUAD& a, const ISC_QUAD& b) noexcept
{
    return a.gds_quad_high == b.gds_quad_high && a.gds_quad_low == b.gds_quad_low;
}
