#include "IBMetadata.h"

#include "IBSqlError.h"
#include "IBStatement.h"

#include <algorithm>
#include <map>
#include <functional>

namespace {

// System names are CHAR columns: the padding is not part of the name.
std::string Name(const TSqlMessage& row, std::size_t index)
{
    std::string text = row.GetText(index).value_or(std::string());
    text.erase(text.find_last_not_of(' ') + 1);
    return text;
}

std::optional<int16_t> Small(const TSqlMessage& row, std::size_t index)
{
    return row.GetInt16(index);
}

void Scan(TIBTransaction& transaction, std::string_view sql, const std::function<void(const TSqlMessage&)>& onRow)
{
    TIBStatement statement(transaction, sql);
    statement.ForEachRow([&](const TSqlMessage& row) {
        onRow(row);
        return true;
    });
}

struct TDomain {
    int16_t fieldType = 0;
    int16_t subType = 0;
    int16_t length = 0;
    int16_t scale = 0;
    std::optional<int16_t> precision;
    std::optional<int16_t> characterSetId;
    std::optional<int16_t> characterLength;
    bool notNull = false;
    bool computed = false;
};

std::map<std::string, TDomain> ReadDomains(TIBTransaction& transaction)
{
    std::map<std::string, TDomain> domains;
    Scan(transaction,
         "select rdb$field_name, rdb$field_type, rdb$field_sub_type, rdb$field_length, rdb$field_scale, "
         "rdb$field_precision, rdb$character_set_id, rdb$character_length, rdb$null_flag, "
         "rdb$computed_blr is not null from rdb$fields plan (rdb$fields natural)",
         [&](const TSqlMessage& row) {
             TDomain domain;
             domain.fieldType = Small(row, 1).value_or(0);
             domain.subType = Small(row, 2).value_or(0);
             domain.length = Small(row, 3).value_or(0);
             domain.scale = Small(row, 4).value_or(0);
             domain.precision = Small(row, 5);
             domain.characterSetId = Small(row, 6);
             domain.characterLength = Small(row, 7);
             domain.notNull = Small(row, 8).value_or(0) != 0;
             domain.computed = row.GetBoolean(9).value_or(false);
             domains[Name(row, 0)] = domain;
         });
    return domains;
}

bool IsText(int16_t fieldType) noexcept
{
    return fieldType == fieldtype::Text || fieldType == fieldtype::Varying || fieldType == fieldtype::Cstring ||
           fieldType == fieldtype::Blob;
}

}  // namespace

std::string QuoteIdentifier(std::string_view name)
{
    std::string quoted = "\"";
    for (char c : name) {
        quoted += c;
        if (c == '"')
            quoted += '"';
    }
    return quoted + "\"";
}

std::string QuoteIdentifiers(const std::vector<std::string>& names)
{
    std::string list;
    for (const std::string& name : names)
        list += (list.empty() ? "" : ", ") + QuoteIdentifier(name);
    return list;
}

std::vector<std::string> ColumnNames(const TTableInfo& table)
{
    std::vector<std::string> names;
    for (const TColumnInfo& column : table.columns)
        names.push_back(column.name);
    return names;
}

std::vector<TTableInfo> ReadUserTables(TIBTransaction& transaction)
{
    std::map<std::string, TTableInfo> tables;
    Scan(transaction,
         "select rdb$relation_name, rdb$relation_id from rdb$relations "
         "where rdb$view_blr is null and coalesce(rdb$system_flag, 0) = 0 and coalesce(rdb$relation_type, 0) = 0 "
         "and rdb$external_file is null plan (rdb$relations natural)",
         [&](const TSqlMessage& row) {
             TTableInfo table;
             table.name = Name(row, 0);
             table.relationId = Small(row, 1).value_or(0);
             tables[table.name] = table;
         });
    const std::map<std::string, TDomain> domains = ReadDomains(transaction);
    std::map<int16_t, std::string> characterSets;
    Scan(transaction,
         "select rdb$character_set_id, rdb$character_set_name from rdb$character_sets "
         "plan (rdb$character_sets natural)",
         [&](const TSqlMessage& row) { characterSets[Small(row, 0).value_or(0)] = Name(row, 1); });
    Scan(transaction,
         "select rdb$relation_name, rdb$field_name, rdb$field_source, rdb$field_position, rdb$null_flag "
         "from rdb$relation_fields plan (rdb$relation_fields natural)",
         [&](const TSqlMessage& row) {
             const auto table = tables.find(Name(row, 0));
             const auto domain = domains.find(Name(row, 2));
             if (table == tables.end() || domain == domains.end() || domain->second.computed)
                 return;
             const TDomain& d = domain->second;
             TColumnInfo column;
             column.name = Name(row, 1);
             column.domain = domain->first;
             column.position = Small(row, 3).value_or(0);
             column.fieldType = d.fieldType;
             column.subType = d.subType;
             column.length = d.length;
             column.scale = d.scale;
             column.precision = d.precision;
             column.notNull = Small(row, 4).value_or(0) != 0 || d.notNull;
             if (IsText(d.fieldType) && (d.fieldType != fieldtype::Blob || d.subType == 1)) {
                 column.characterSetId = d.characterSetId.value_or(0);
                 column.characterLength = d.characterLength;
                 const auto name = characterSets.find(*column.characterSetId);
                 column.characterSetName = name != characterSets.end() ? name->second : std::string();
             }
             table->second.columns.push_back(std::move(column));
         });
    std::map<std::string, std::vector<std::pair<int16_t, std::string>>> segments;
    Scan(transaction,
         "select rdb$index_name, rdb$field_name, rdb$field_position from rdb$index_segments "
         "plan (rdb$index_segments natural)",
         [&](const TSqlMessage& row) { segments[Name(row, 0)].emplace_back(Small(row, 2).value_or(0), Name(row, 1)); });
    Scan(transaction,
         "select rdb$constraint_name, rdb$constraint_type, rdb$relation_name, rdb$index_name "
         "from rdb$relation_constraints where rdb$constraint_type in ('PRIMARY KEY', 'UNIQUE') "
         "plan (rdb$relation_constraints natural)",
         [&](const TSqlMessage& row) {
             const auto table = tables.find(Name(row, 2));
             if (table == tables.end())
                 return;
             TKeyInfo key;
             key.name = Name(row, 0);
             key.primary = Name(row, 1) == "PRIMARY KEY";
             key.index = Name(row, 3);
             auto parts = segments[key.index];
             std::sort(parts.begin(), parts.end());
             for (auto& part : parts)
                 key.columns.push_back(std::move(part.second));
             table->second.keys.push_back(std::move(key));
         });
    std::vector<TTableInfo> result;
    for (auto& [name, table] : tables) {
        std::stable_sort(table.columns.begin(), table.columns.end(),
                         [](const TColumnInfo& a, const TColumnInfo& b) { return a.position < b.position; });
        std::sort(table.keys.begin(), table.keys.end(), [](const TKeyInfo& a, const TKeyInfo& b) {
            return a.primary != b.primary ? a.primary : a.name < b.name;
        });
        result.push_back(std::move(table));
    }
    return result;
}

std::optional<int64_t> ReadRecordCount(TIBTransaction& transaction, std::string_view table)
{
    try {
        TIBStatement statement(transaction, "select count(*) from " + QuoteIdentifier(table));
        std::optional<int64_t> count;
        statement.ForEachRow([&](const TSqlMessage& row) {
            count = row.GetInt64(0);
            return false;
        });
        return count;
    } catch (const EIBSqlError& failure) {
        if (!failure.AttachmentUsable())
            throw;
        return std::nullopt;
    }
}
