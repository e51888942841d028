// What a data pump needs to know of a database's user tables, read with statements from the
// system tables. Every system table is read whole by a natural scan and joined here, so no
// system index is used (a damaged one cannot stop the reading).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class TIBTransaction;

// RDB$FIELD_TYPE codes (not the client's message type codes).
namespace fieldtype {
inline constexpr int16_t Short = 7;
inline constexpr int16_t Long = 8;
inline constexpr int16_t Quad = 9;
inline constexpr int16_t Float = 10;
inline constexpr int16_t Date = 12;
inline constexpr int16_t Time = 13;
inline constexpr int16_t Text = 14;
inline constexpr int16_t Int64 = 16;
inline constexpr int16_t Boolean = 23;
inline constexpr int16_t Double = 27;
inline constexpr int16_t Timestamp = 35;
inline constexpr int16_t Varying = 37;
inline constexpr int16_t Cstring = 40;
inline constexpr int16_t BlobId = 45;
inline constexpr int16_t Blob = 261;
}  // namespace fieldtype

struct TColumnInfo {
    std::string name;
    int16_t position = 0;
    std::string domain;                   // RDB$FIELD_SOURCE
    int16_t fieldType = 0;                // fieldtype::...
    int16_t subType = 0;                  // blob subtype, or 1 NUMERIC / 2 DECIMAL
    int16_t length = 0;                   // bytes
    int16_t scale = 0;
    std::optional<int16_t> precision;
    std::optional<int16_t> characterSetId;
    std::string characterSetName;         // empty for non-text columns
    std::optional<int16_t> characterLength;
    bool notNull = false;                 // on the column or its domain
    bool operator==(const TColumnInfo&) const = default;
};

struct TKeyInfo {
    std::string name;                     // constraint name
    bool primary = false;                 // PRIMARY KEY, else UNIQUE
    std::string index;
    std::vector<std::string> columns;     // in key order
    bool operator==(const TKeyInfo&) const = default;
};

struct TTableInfo {
    std::string name;
    int16_t relationId = 0;
    std::vector<TColumnInfo> columns;     // stored columns in position order; computed ones left out
    std::vector<TKeyInfo> keys;           // the primary key first, then unique keys by name
    bool operator==(const TTableInfo&) const = default;
};

// User tables (not views, not system tables, not external or temporary ones), by name.
std::vector<TTableInfo> ReadUserTables(TIBTransaction& transaction);

// select count(*) of the table; none when the server cannot count it and the attachment stays
// usable. A failure that leaves the attachment unusable is raised (EIBSqlError).
std::optional<int64_t> ReadRecordCount(TIBTransaction& transaction, std::string_view table);

// The name as a delimited identifier: in double quotes, inner quotes doubled.
std::string QuoteIdentifier(std::string_view name);
// The names as delimited identifiers, separated by ", ".
std::string QuoteIdentifiers(const std::vector<std::string>& names);
// The names of a table's columns, in order.
std::vector<std::string> ColumnNames(const TTableInfo& table);
