#include "RescueSql.h"

#include <algorithm>

#include "IBErrors.h"
#include "InsertBatch.h"

namespace tovanel {
namespace {

constexpr std::size_t kMaxIdentifierBytes = 31;
// The server takes at most 64 KB of statement text and of input message; kept well below.
constexpr std::size_t kMaxMessageBytes = 60000;
constexpr std::size_t kMaxStatementBytes = 60000;

std::string CharacterSetClause(const TColumnInfo& column) {
    if (column.characterSetName.empty()) return {};
    return " CHARACTER SET " + column.characterSetName;
}

std::string Characters(const TColumnInfo& column) {
    return std::to_string(column.characterLength.value_or(column.length));
}

// The widest precision the storage holds, and the narrowest NUMERIC precision that still gets it.
std::optional<std::string> IntegerSql(const TColumnInfo& column, const char* plain, int precision, int narrowest) {
    // The numeric kind decides the storage the server gives a parameter: DECIMAL takes at least
    // 32 bits, NUMERIC keeps the width its precision gives. A declared precision is kept where
    // it gives the same storage.
    if (column.subType == 2 && precision <= 9) narrowest = 1;
    if (column.precision && *column.precision >= narrowest && *column.precision < precision &&
        *column.precision >= -column.scale)
        precision = *column.precision;
    const std::string scale = std::to_string(-column.scale);
    if (column.subType == 2) return "DECIMAL(" + std::to_string(precision) + ", " + scale + ")";
    if (column.subType == 1 || column.scale != 0) return "NUMERIC(" + std::to_string(precision) + ", " + scale + ")";
    return std::string(plain);
}

std::string ColumnList(const TTableInfo& table) {
    std::string list;
    for (const TColumnInfo& column : table.columns) {
        if (!list.empty()) list += ", ";
        list += QuoteIdentifier(column.name);
    }
    return list;
}

}  // namespace

std::optional<std::string> ColumnTypeSql(const TColumnInfo& column) {
    switch (column.fieldType) {
    case fieldtype::Short: return IntegerSql(column, "SMALLINT", 4, 1);
    case fieldtype::Long: return IntegerSql(column, "INTEGER", 9, 5);
    case fieldtype::Int64: return IntegerSql(column, "BIGINT", 18, 10);
    case fieldtype::Float: return "FLOAT";
    case fieldtype::Double: return "DOUBLE PRECISION";
    case fieldtype::Date: return "DATE";
    case fieldtype::Time: return "TIME";
    case fieldtype::Timestamp: return "TIMESTAMP";
    case fieldtype::Boolean: return "BOOLEAN";
    case fieldtype::Text: return "CHAR(" + Characters(column) + ")" + CharacterSetClause(column);
    case fieldtype::Varying: return "VARCHAR(" + Characters(column) + ")" + CharacterSetClause(column);
    case fieldtype::Blob:
        return "BLOB SUB_TYPE " + std::to_string(column.subType) +
               (column.subType == 1 ? CharacterSetClause(column) : std::string());
    default: return std::nullopt;
    }
}

std::optional<std::string> QuarantineTypeSql(const TColumnInfo& column) {
    switch (column.fieldType) {
    case fieldtype::Text:
    case fieldtype::Varying:
        return "VARCHAR(" + std::to_string(column.length) + ") CHARACTER SET OCTETS";
    case fieldtype::Blob: return std::string("BLOB SUB_TYPE 0");
    default: return ColumnTypeSql(column);
    }
}

std::string NaturalScanSql(const TTableInfo& table) {
    const std::string name = QuoteIdentifier(table.name);
    return "select " + ColumnList(table) + ", rdb$db_key from " + name + " plan (" + name + " natural)";
}

std::string ProbeSql(const TTableInfo& table, std::size_t keys) {
    std::string where;
    for (std::size_t k = 0; k < std::max<std::size_t>(keys, 1); ++k) where += k == 0 ? "rdb$db_key = ?" : " or rdb$db_key = ?";
    return "select " + ColumnList(table) + ", rdb$db_key from " + QuoteIdentifier(table.name) + " where " + where;
}

std::size_t BatchRowsFor(const TTableInfo& table, std::size_t wanted) {
    std::size_t rowBytes = 0;
    std::vector<std::string> names;
    for (const TColumnInfo& column : table.columns) {
        rowBytes += static_cast<std::size_t>(std::max<int16_t>(column.length, 8)) + 2 + 8;
        names.push_back(column.name);
    }
    std::size_t rows = std::max<std::size_t>(1, std::min(wanted, kMaxMessageBytes / std::max<std::size_t>(rowBytes, 1)));
    while (rows > 1 && InsertBatchSql(table.name, names, rows).size() > kMaxStatementBytes) rows = rows * 3 / 4;
    return rows;
}

std::string FreeName(const std::string& base, const std::set<std::string>& taken) {
    std::string candidate = base.substr(0, kMaxIdentifierBytes);
    for (unsigned n = 2; taken.count(candidate) > 0; ++n) {
        const std::string suffix = "_" + std::to_string(n);
        candidate = base.substr(0, kMaxIdentifierBytes - suffix.size()) + suffix;
    }
    return candidate;
}

QuarantineNames ChooseQuarantineNames(const TTableInfo& table, const std::set<std::string>& tablesTaken) {
    std::set<std::string> columns;
    for (const TColumnInfo& column : table.columns) columns.insert(column.name);
    QuarantineNames names;
    names.table = FreeName("QUARENTENA$" + table.name, tablesTaken);
    names.record = FreeName("RESGATE$REGISTRO", columns);
    names.reason = FreeName("RESGATE$MOTIVO", columns);
    return names;
}

std::string CreateQuarantineSql(const TTableInfo& table, const QuarantineNames& names) {
    std::string columns;
    for (const TColumnInfo& column : table.columns) {
        const auto type = QuarantineTypeSql(column);
        if (!type) continue;
        columns += QuoteIdentifier(column.name) + " " + *type + ", ";
    }
    return "create table " + QuoteIdentifier(names.table) + " (" + columns + QuoteIdentifier(names.record) +
           " BIGINT, " + QuoteIdentifier(names.reason) + " VARCHAR(250) CHARACTER SET UTF8)";
}

std::string InsertQuarantineSql(const TTableInfo& table, const QuarantineNames& names) {
    std::string columns;
    std::string marks;
    for (const TColumnInfo& column : table.columns) {
        if (!QuarantineTypeSql(column)) continue;
        columns += QuoteIdentifier(column.name) + ", ";
        marks += "?, ";
    }
    return "insert into " + QuoteIdentifier(names.table) + " (" + columns + QuoteIdentifier(names.record) + ", " +
           QuoteIdentifier(names.reason) + ") values (" + marks + "?, ?)";
}

void CopyValue(const TSqlMessage& source, std::size_t from, TSqlMessage& target, std::size_t to) {
    if (source.IsNull(from)) {
        target.SetNull(to);
        return;
    }
    switch (source.Field(from).type) {
    case TSqlType::Text:
    case TSqlType::Varying: target.SetText(to, *source.GetText(from)); break;
    case TSqlType::Short:
    case TSqlType::Long:
    case TSqlType::Int64: target.SetScaled(to, *source.GetScaled(from)); break;
    case TSqlType::Float:
    case TSqlType::Double: target.SetDouble(to, *source.GetDouble(from)); break;
    case TSqlType::Timestamp: target.SetTimestamp(to, *source.GetTimestamp(from)); break;
    case TSqlType::Date: target.SetDate(to, *source.GetDate(from)); break;
    case TSqlType::Time: target.SetTime(to, *source.GetTime(from)); break;
    case TSqlType::Boolean: target.SetBoolean(to, *source.GetBoolean(from)); break;
    default: target.SetNull(to); break;
    }
}

}  // namespace tovanel
