#pragma once
// The SQL texts the rescue builds from a table's description: column types as they are declared,
// the natural scan and the probe by key, the size of an insert batch, the quarantine table; and the copy
// of one value between messages of different shapes (into the quarantine).

#include <cstddef>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "IBMetadata.h"
#include "SqlMessage.h"

namespace tovanel {

// The column's type as a declaration ("VARCHAR(60) CHARACTER SET UTF8", "NUMERIC(18, 2)",
// "BLOB SUB_TYPE 1 CHARACTER SET WIN1252"), giving the server's message the same shape as the
// column's; nothing for a type the rescue cannot carry.
std::optional<std::string> ColumnTypeSql(const TColumnInfo& column);
// For the quarantine: every byte kept, whatever the column's character set (text becomes OCTETS
// of the same byte length, text blobs binary blobs).
std::optional<std::string> QuarantineTypeSql(const TColumnInfo& column);

// "select C1, ..., Cn, rdb$db_key from T", with PLAN (T NATURAL) for the scan and
// "where rdb$db_key = ? or rdb$db_key = ? ..." (one alternative per key) for the probe: the
// server fetches each key directly (its plan names no index), rows in key order, a key asked
// twice or with nothing there gives no row. Neither reads through an index.
std::string NaturalScanSql(const TTableInfo& table);
std::string ProbeSql(const TTableInfo& table, std::size_t keys = 1);

// Rows per batch of the table's insert (TInsertBatch): at most `wanted`, fewer where the statement
// or its input message would pass the server's 64 KB limits; at least one.
std::size_t BatchRowsFor(const TTableInfo& table, std::size_t wanted);

// A name not among `taken` (compared exactly), at most 31 bytes: base, else base cut and _2, _3...
std::string FreeName(const std::string& base, const std::set<std::string>& taken);

// The quarantine table's columns besides the table's own.
struct QuarantineNames {
    std::string table;
    std::string record;  // BIGINT: the record number
    std::string reason;  // VARCHAR(250): why the row is there
};
QuarantineNames ChooseQuarantineNames(const TTableInfo& table, const std::set<std::string>& tablesTaken);
std::string CreateQuarantineSql(const TTableInfo& table, const QuarantineNames& names);
std::string InsertQuarantineSql(const TTableInfo& table, const QuarantineNames& names);

// Copies value `from` of `source` into field `to` of `target` by its type, for fields of the same
// kind but other shapes (text into OCTETS, a scaled integer into another width). Blobs are not
// copied here (their ids belong to another attachment).
void CopyValue(const TSqlMessage& source, std::size_t from, TSqlMessage& target, std::size_t to);

}  // namespace tovanel
