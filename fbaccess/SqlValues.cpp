#include "SqlValues.h"

#include <cstdlib>

namespace {

// Days from 1970-01-01 for a proleptic Gregorian date, and back (the usual era arithmetic).
int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) noexcept
{
    y -= m <= 2 ? 1 : 0;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

TSqlDate CivilFromDays(int64_t z) noexcept
{
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    const int64_t d = doy - (153 * mp + 2) / 5 + 1;
    const int64_t m = mp + (mp < 10 ? 3 : -9);
    const int64_t y = yoe + era * 400 + (m <= 2 ? 1 : 0);
    return TSqlDate{static_cast<int>(y), static_cast<int>(m), static_cast<int>(d)};
}

// The server counts days from 1858-11-17 (the modified Julian day).
constexpr int64_t kEpochShift = 40587;  // days from 1858-11-17 to 1970-01-01
constexpr int64_t kUnitsPerSecond = 10000;

}  // namespace

std::string TScaledInt::ToString() const
{
    if (scale >= 0) {
        std::string text = std::to_string(value);
        if (value != 0)
            text.append(static_cast<std::size_t>(scale), '0');
        return text;
    }
    const bool negative = value < 0;
    // Digits of the magnitude without overflow for INT64_MIN.
    std::string digits;
    uint64_t magnitude = negative ? ~static_cast<uint64_t>(value) + 1 : static_cast<uint64_t>(value);
    do {
        digits.insert(digits.begin(), static_cast<char>('0' + magnitude % 10));
        magnitude /= 10;
    } while (magnitude != 0);
    const auto places = static_cast<std::size_t>(-scale);
    if (digits.size() <= places)
        digits.insert(0, places - digits.size() + 1, '0');
    digits.insert(digits.size() - places, 1, '.');
    return negative ? "-" + digits : digits;
}

ISC_DATE EncodeSqlDate(const TSqlDate& date) noexcept
{
    return static_cast<ISC_DATE>(DaysFromCivil(date.year, date.month, date.day) + kEpochShift);
}

TSqlDate DecodeSqlDate(ISC_DATE days) noexcept
{
    return CivilFromDays(static_cast<int64_t>(days) - kEpochShift);
}

ISC_TIME EncodeSqlTime(const TSqlTime& time) noexcept
{
    const int64_t seconds = (static_cast<int64_t>(time.hour) * 60 + time.minute) * 60 + time.second;
    return static_cast<ISC_TIME>(seconds * kUnitsPerSecond + time.fraction);
}

TSqlTime DecodeSqlTime(ISC_TIME units) noexcept
{
    const int64_t seconds = static_cast<int64_t>(units) / kUnitsPerSecond;
    return TSqlTime{static_cast<int>(seconds / 3600), static_cast<int>(seconds / 60 % 60),
                    static_cast<int>(seconds % 60), static_cast<int>(static_cast<int64_t>(units) % kUnitsPerSecond)};
}

ISC_TIMESTAMP EncodeSqlTimestamp(const TSqlTimestamp& stamp) noexcept
{
    return ISC_TIMESTAMP{EncodeSqlDate(stamp.date), EncodeSqlTime(stamp.time)};
}

TSqlTimestamp DecodeSqlTimestamp(const ISC_TIMESTAMP& stamp) noexcept
{
    return TSqlTimestamp{DecodeSqlDate(stamp.timestamp_date), DecodeSqlTime(stamp.timestamp_time)};
}

uint16_t TDbKey::RelationId() const noexcept
{
    return static_cast<uint16_t>(bytes[0] | bytes[1] << 8);
}

uint32_t TDbKey::RecordNumber() const noexcept
{
    const uint32_t stored = static_cast<uint32_t>(bytes[4]) | static_cast<uint32_t>(bytes[5]) << 8 |
                            static_cast<uint32_t>(bytes[6]) << 16 | static_cast<uint32_t>(bytes[7]) << 24;
    return stored - 1;
}

TDbKey TDbKey::For(uint16_t relationId, uint32_t recordNumber) noexcept
{
    TDbKey key;
    key.bytes[0] = static_cast<uint8_t>(relationId);
    key.bytes[1] = static_cast<uint8_t>(relationId >> 8);
    const uint32_t stored = recordNumber + 1;
    for (int i = 0; i < 4; ++i)
        key.bytes[4 + i] = static_cast<uint8_t>(stored >> (8 * i));
    return key;
}
