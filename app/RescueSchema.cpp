#include "RescueSchema.h"

#include <algorithm>
#include <functional>
#include <map>
#include <set>
#include <utility>

#include "IBSqlError.h"
#include "IBStatement.h"
#include "IBTransaction.h"
#include "RescueSql.h"

namespace tovanel {
namespace {

using Row = const TSqlMessage&;

// System names are CHAR columns: the padding is not part of the name.
std::string Name(Row row, std::size_t index) {
    std::string text = row.GetText(index).value_or(std::string());
    text.erase(text.find_last_not_of(' ') + 1);
    return text;
}

// Source texts (defaults) keep their inner spaces; only the ends go.
std::optional<std::string> Source(Row row, std::size_t index) {
    std::optional<std::string> text = row.GetText(index);
    if (!text) return std::nullopt;
    text->erase(text->find_last_not_of(" \t\r\n") + 1);
    text->erase(0, text->find_first_not_of(" \t\r\n"));
    if (text->empty()) return std::nullopt;
    return text;
}

bool Flag(Row row, std::size_t index) { return row.GetInt16(index).value_or(0) != 0; }

// One natural scan of a system table (the statement names its plan).
void Scan(TIBTransaction& transaction, const std::string& sql, const std::function<void(Row)>& onRow) {
    TIBStatement statement(transaction, sql);
    statement.ForEachRow([&](Row row) {
        onRow(row);
        return true;
    });
}

std::string Natural(const std::string& table) { return " plan (" + table + " natural)"; }

using CollationNames = std::map<std::pair<int16_t, int16_t>, std::string>;  // (character set, collation)

CollationNames ReadCollations(TIBTransaction& transaction) {
    CollationNames names;
    Scan(transaction,
         "select rdb$character_set_id, rdb$collation_id, rdb$collation_name from rdb$collations" +
             Natural("rdb$collations"),
         [&](Row row) { names[{row.GetInt16(0).value_or(0), row.GetInt16(1).value_or(0)}] = Name(row, 2); });
    return names;
}

// The collation's name where it is not the character set's default (id 0).
std::string CollationOf(const CollationNames& names, const TColumnInfo& type, std::optional<int16_t> collation) {
    if (!collation || *collation == 0 || !type.characterSetId) return {};
    const auto found = names.find({*type.characterSetId, *collation});
    return found != names.end() ? found->second : std::string();
}

bool IsSystemName(const std::string& name) {
    return name.rfind("RDB$", 0) == 0 || name.rfind("MON$", 0) == 0 || name.rfind("SEC$", 0) == 0;
}

// Names the server gives constraints and indexes itself: it gives them again in the new
// database, where the same name may already belong to another (a NOT NULL's INTEG_2).
bool IsServerMadeName(const std::string& name) { return IsSystemName(name) || name.rfind("INTEG_", 0) == 0; }


struct DomainRow {
    std::optional<std::string> defaultSource;
    std::optional<int16_t> collation;
    bool notNull = false;
    bool checked = false;
    bool array = false;
    bool user = false;
};

class SchemaReader {
public:
    SchemaReader(TIBTransaction& transaction, const std::vector<TTableInfo>& tables)
        : transaction_(transaction), tables_(tables) {}

    DatabaseSchema Read() {
        collations_ = ReadCollations(transaction_);
        ReadDatabaseCharacterSet();
        ReadDomains();
        ReadColumns();
        ReadIndexes();
        ReadGenerators();
        ListWhatIsNotCarried();
        return std::move(schema_);
    }

private:
    void ReadDatabaseCharacterSet() {
        Scan(transaction_, "select rdb$character_set_name from rdb$database" + Natural("rdb$database"),
             [&](Row row) { schema_.characterSet = Name(row, 0); });
    }

    void ReadDomains() {
        Scan(transaction_,
             "select rdb$field_name, cast(rdb$default_source as varchar(8000)), rdb$collation_id, "
             "rdb$validation_source is not null, rdb$dimensions, coalesce(rdb$system_flag, 0), "
             "rdb$null_flag from rdb$fields" + Natural("rdb$fields"),
             [&](Row row) {
                 DomainRow domain;
                 const std::string name = Name(row, 0);
                 domain.defaultSource = Source(row, 1);
                 domain.collation = row.GetInt16(2);
                 domain.checked = row.GetBoolean(3).value_or(false);
                 domain.array = Flag(row, 4);
                 domain.user = !Flag(row, 5) && !IsSystemName(name);
                 domain.notNull = Flag(row, 6);
                 domainRows_[name] = domain;
             });
    }

    // What rdb$relation_fields says of a column beyond its domain.
    struct OwnColumnRow {
        std::optional<std::string> defaultSource;
        std::optional<int16_t> collation;
        bool notNull = false;
        std::optional<std::string> identityGenerator;
    };
    using ColumnKey = std::pair<std::string, std::string>;  // table, column

    std::map<ColumnKey, OwnColumnRow> ReadOwnColumnRows() {
        std::map<ColumnKey, OwnColumnRow> rows;
        Scan(transaction_,
             "select rdb$relation_name, rdb$field_name, cast(rdb$default_source as varchar(8000)), "
             "rdb$collation_id, rdb$null_flag, rdb$identity_type is not null, rdb$generator_name "
             "from rdb$relation_fields" + Natural("rdb$relation_fields"),
             [&](Row row) {
                 OwnColumnRow own{Source(row, 2), row.GetInt16(3), Flag(row, 4), std::nullopt};
                 if (row.GetBoolean(5).value_or(false)) own.identityGenerator = Name(row, 6);
                 rows[{Name(row, 0), Name(row, 1)}] = std::move(own);
             });
        return rows;
    }

    SchemaColumn Describe(const std::string& table, const TColumnInfo& column, const OwnColumnRow& own) {
        const DomainRow& domain = domainRows_[column.domain];
        SchemaColumn described;
        described.column = column;
        described.defaultSource = own.defaultSource;
        described.ownNotNull = own.notNull;
        described.array = domain.array;
        if (domain.array) schema_.notCarried.push_back("coluna " + table + "." + column.name + " (matriz)");
        if (own.identityGenerator) described.identity = GeneratorValue(*own.identityGenerator);
        if (domain.user) {
            described.domain = column.domain;
            if (own.collation && own.collation != domain.collation)
                described.collation = CollationOf(collations_, column, own.collation);
        } else {
            // A domain the server made for this column alone: its default, NOT NULL and
            // collation are the column's.
            if (!described.defaultSource) described.defaultSource = domain.defaultSource;
            described.ownNotNull = column.notNull;
            described.collation = CollationOf(collations_, column, own.collation ? own.collation : domain.collation);
        }
        return described;
    }

    void ReadColumns() {
        const std::map<ColumnKey, OwnColumnRow> own = ReadOwnColumnRows();
        std::map<std::string, TColumnInfo> usedDomains;  // a column of each, for its type
        for (const TTableInfo& table : tables_) {
            SchemaTable rebuilt{table.name, {}, table.keys};
            for (const TColumnInfo& column : table.columns) {
                const auto found = own.find({table.name, column.name});
                rebuilt.columns.push_back(Describe(table.name, column, found != own.end() ? found->second : OwnColumnRow{}));
                if (!rebuilt.columns.back().domain.empty()) usedDomains.emplace(column.domain, column);
            }
            schema_.tables.push_back(std::move(rebuilt));
        }
        AddDomains(usedDomains);
    }

    // Only the domains the carried tables use: their type as the columns read it.
    void AddDomains(const std::map<std::string, TColumnInfo>& used) {
        for (const auto& [name, type] : used) {
            const DomainRow& row = domainRows_[name];
            SchemaDomain domain{name, type, row.defaultSource, CollationOf(collations_, type, row.collation)};
            domain.type.notNull = row.notNull;
            schema_.domains.push_back(std::move(domain));
            if (row.checked) schema_.notCarried.push_back("verificação (CHECK) do domínio " + name);
        }
    }

    void ReadIndexes() {
        std::set<std::string> tableNames;
        for (const TTableInfo& table : tables_) tableNames.insert(table.name);
        std::set<std::string> ofConstraints;
        Scan(transaction_,
             "select rdb$index_name, rdb$constraint_type, rdb$constraint_name, rdb$relation_name "
             "from rdb$relation_constraints" + Natural("rdb$relation_constraints"),
             [&](Row row) {
                 ofConstraints.insert(Name(row, 0));
                 const std::string type = Name(row, 1);
                 if (type == "FOREIGN KEY" || type == "CHECK")
                     schema_.notCarried.push_back((type == "CHECK" ? "restrição de verificação " : "chave estrangeira ") +
                                                  Name(row, 2) + " (tabela " + Name(row, 3) + ")");
             });
        std::map<std::string, std::vector<std::pair<int16_t, std::string>>> segments;
        Scan(transaction_,
             "select rdb$index_name, rdb$field_name, rdb$field_position from rdb$index_segments" +
                 Natural("rdb$index_segments"),
             [&](Row row) { segments[Name(row, 0)].emplace_back(row.GetInt16(2).value_or(0), Name(row, 1)); });
        Scan(transaction_,
             "select rdb$index_name, rdb$relation_name, rdb$unique_flag, rdb$index_type, rdb$index_inactive, "
             "rdb$expression_source is not null, coalesce(rdb$system_flag, 0) from rdb$indices" +
                 Natural("rdb$indices"),
             [&](Row row) {
                 SchemaIndex index{Name(row, 0), Name(row, 1), Flag(row, 2), Flag(row, 3), Flag(row, 4), {}};
                 if (Flag(row, 6) || ofConstraints.count(index.name) > 0 || tableNames.count(index.table) == 0) return;
                 if (row.GetBoolean(5).value_or(false)) {
                     schema_.notCarried.push_back("índice por expressão " + index.name + " (tabela " + index.table + ")");
                     return;
                 }
                 auto parts = segments[index.name];
                 std::sort(parts.begin(), parts.end());
                 for (auto& part : parts) index.columns.push_back(std::move(part.second));
                 schema_.indexes.push_back(std::move(index));
             });
    }

    void ReadGenerators() {
        Scan(transaction_,
             "select rdb$generator_name from rdb$generators where coalesce(rdb$system_flag, 0) = 0" +
                 Natural("rdb$generators"),
             [&](Row row) { schema_.generators.push_back({Name(row, 0), 0}); });
        for (SchemaGenerator& generator : schema_.generators) generator.value = GeneratorValue(generator.name);
    }

    // The generator's current value; 0, and said, when the server cannot read it (a failure that
    // leaves the attachment unusable is raised).
    std::int64_t GeneratorValue(const std::string& name) {
        std::int64_t value = 0;
        try {
            Scan(transaction_, "select gen_id(" + QuoteIdentifier(name) + ", 0) from rdb$database",
                 [&](Row row) { value = row.GetInt64(0).value_or(0); });
        } catch (const EIBSqlError& failure) {
            if (!failure.AttachmentUsable()) throw;
            schema_.notCarried.push_back("valor do gerador " + name + " (" + failure.what() + ")");
        }
        return value;
    }

    // Each user object of a kind the rebuild does not make, by name.
    void ListUserObjects(const std::string& what, const std::string& sql) {
        Scan(transaction_, sql, [&](Row row) { schema_.notCarried.push_back(what + " " + Name(row, 0)); });
    }

    void ListWhatIsNotCarried() {
        ListUserObjects("visão", "select rdb$relation_name from rdb$relations where rdb$view_blr is not null and "
                                 "coalesce(rdb$system_flag, 0) = 0" + Natural("rdb$relations"));
        ListUserObjects("tabela externa ou temporária",
                        "select rdb$relation_name from rdb$relations where rdb$view_blr is null and "
                        "coalesce(rdb$system_flag, 0) = 0 and (rdb$external_file is not null or "
                        "coalesce(rdb$relation_type, 0) <> 0)" + Natural("rdb$relations"));
        ListUserObjects("procedimento", "select rdb$procedure_name from rdb$procedures where "
                                        "coalesce(rdb$system_flag, 0) = 0" + Natural("rdb$procedures"));
        ListUserObjects("gatilho", "select rdb$trigger_name from rdb$triggers where coalesce(rdb$system_flag, 0) = 0" +
                                       Natural("rdb$triggers"));
        ListUserObjects("exceção", "select rdb$exception_name from rdb$exceptions where "
                                   "coalesce(rdb$system_flag, 0) = 0" + Natural("rdb$exceptions"));
        ListUserObjects("função", "select rdb$function_name from rdb$functions where coalesce(rdb$system_flag, 0) = 0" +
                                      Natural("rdb$functions"));
        ListUserObjects("papel (ROLE)", "select rdb$role_name from rdb$roles where coalesce(rdb$system_flag, 0) = 0" +
                                            Natural("rdb$roles"));
        ListGrants();
        for (const TTableInfo& table : tables_)
            if (ReadsComputed(table.name)) schema_.notCarried.push_back("colunas calculadas da tabela " + table.name);
    }

    // Grants on user tables, views and procedures to others than their owner (the owner's own
    // come with the object).
    void ListGrants() {
        std::map<std::string, std::string> owners;
        const auto owner = [&](Row row) { owners[Name(row, 0)] = Name(row, 1); };
        Scan(transaction_,
             "select rdb$relation_name, rdb$owner_name from rdb$relations where coalesce(rdb$system_flag, 0) = 0" +
                 Natural("rdb$relations"),
             owner);
        Scan(transaction_,
             "select rdb$procedure_name, rdb$owner_name from rdb$procedures where coalesce(rdb$system_flag, 0) = 0" +
                 Natural("rdb$procedures"),
             owner);
        std::set<std::string> grants;
        Scan(transaction_,
             "select rdb$user, rdb$relation_name, rdb$privilege from rdb$user_privileges" +
                 Natural("rdb$user_privileges"),
             [&](Row row) {
                 const std::string user = Name(row, 0);
                 const std::string object = Name(row, 1);
                 const auto found = owners.find(object);
                 if (found == owners.end() || found->second == user) return;
                 grants.insert(object + " para " + user);
             });
        for (const std::string& grant : grants) schema_.notCarried.push_back("permissão (GRANT) sobre " + grant);
    }

    bool ReadsComputed(const std::string& table) {
        bool computed = false;
        Scan(transaction_,
             "select rf.rdb$field_name from rdb$relation_fields rf join rdb$fields f on f.rdb$field_name = "
             "rf.rdb$field_source where rf.rdb$relation_name = '" + Escaped(table) +
                 "' and f.rdb$computed_blr is not null plan join (rf natural, f natural)",
             [&](Row) { computed = true; });
        return computed;
    }

    static std::string Escaped(const std::string& text) {
        std::string out;
        for (const char c : text) out += c == '\'' ? std::string("''") : std::string(1, c);
        return out;
    }

    TIBTransaction& transaction_;
    const std::vector<TTableInfo>& tables_;
    CollationNames collations_;
    std::map<std::string, DomainRow> domainRows_;
    DatabaseSchema schema_;
};

std::string Quoted(const std::string& text) {
    std::string literal = "'";
    for (const char c : text) literal += c == '\'' ? std::string("''") : std::string(1, c);
    return literal + "'";
}

// " DEFAULT ..." and " COLLATE ..." as the source wrote them; NOT NULL between them.
std::string Tail(const std::optional<std::string>& defaultSource, bool notNull, const std::string& collation) {
    std::string tail;
    if (defaultSource) tail += " " + *defaultSource;
    if (notNull) tail += " NOT NULL";
    if (!collation.empty()) tail += " COLLATE " + collation;
    return tail;
}

}  // namespace

DatabaseSchema ReadDatabaseSchema(TIBTransaction& transaction, const std::vector<TTableInfo>& tables) {
    return SchemaReader(transaction, tables).Read();
}

std::string CreateDatabaseSql(const std::string& path, const std::string& user, const std::string& password,
                              int pageSize, const std::string& characterSet) {
    std::string sql = "CREATE DATABASE " + Quoted("localhost:" + path) + " USER " + Quoted(user) + " PASSWORD " +
                      Quoted(password) + " PAGE_SIZE " + std::to_string(pageSize);
    if (!characterSet.empty()) sql += " DEFAULT CHARACTER SET " + characterSet;
    return sql;
}

std::optional<std::string> CreateDomainSql(const SchemaDomain& domain) {
    const std::optional<std::string> type = ColumnTypeSql(domain.type);
    if (!type) return std::nullopt;
    return "CREATE DOMAIN " + QuoteIdentifier(domain.name) + " AS " + *type +
           Tail(domain.defaultSource, domain.type.notNull, domain.collation);
}

std::optional<std::string> CreateTableSql(const SchemaTable& table) {
    std::string columns;
    for (const SchemaColumn& column : table.columns) {
        if (column.array) return std::nullopt;
        const std::optional<std::string> type =
            column.domain.empty() ? ColumnTypeSql(column.column) : QuoteIdentifier(column.domain);
        if (!type) return std::nullopt;
        // An identity's next value follows its START WITH value, as the original's followed its
        // generator's current one.
        const std::optional<std::string> defaultOrIdentity =
            column.identity ? "GENERATED BY DEFAULT AS IDENTITY (START WITH " + std::to_string(*column.identity) + ")"
                            : column.defaultSource;
        columns += (columns.empty() ? "" : ", ") + QuoteIdentifier(column.column.name) + " " + *type +
                   Tail(defaultOrIdentity, column.ownNotNull, column.collation);
    }
    if (columns.empty()) return std::nullopt;
    return "CREATE TABLE " + QuoteIdentifier(table.name) + " (" + columns + ")";
}

std::string AddKeySql(const std::string& table, const TKeyInfo& key) {
    std::string sql = "ALTER TABLE " + QuoteIdentifier(table) + " ADD ";
    if (!IsServerMadeName(key.name)) sql += "CONSTRAINT " + QuoteIdentifier(key.name) + " ";
    sql += (key.primary ? "PRIMARY KEY (" : "UNIQUE (") + QuoteIdentifiers(key.columns) + ")";
    if (!key.index.empty() && !IsServerMadeName(key.index)) sql += " USING INDEX " + QuoteIdentifier(key.index);
    return sql;
}

std::string CreateIndexSql(const SchemaIndex& index) {
    return std::string("CREATE ") + (index.unique ? "UNIQUE " : "") + (index.descending ? "DESCENDING " : "") +
           "INDEX " + QuoteIdentifier(index.name) + " ON " + QuoteIdentifier(index.table) + " (" +
           QuoteIdentifiers(index.columns) + ")";
}

std::string CreateGeneratorSql(const SchemaGenerator& generator) {
    return "CREATE SEQUENCE " + QuoteIdentifier(generator.name);
}

std::string SetGeneratorSql(const SchemaGenerator& generator) {
    return "SET GENERATOR " + QuoteIdentifier(generator.name) + " TO " + std::to_string(generator.value);
}

}  // namespace tovanel
