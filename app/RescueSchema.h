#pragma once
// The new database's schema rebuilt from the working copy's system tables, for when the server's
// backup cannot run at all (a damaged system index stops it before the first table). Every
// system table is read whole by a natural scan, never through an index. What is rebuilt:
// domains, tables with their columns (types, character sets, collations, defaults, NOT NULL),
// primary and unique keys, plain indexes, generators and their values; the rest (views,
// procedures, triggers, grants, check constraints, foreign keys...) is listed as not carried.
// The texts here are plain DDL statements run one by one through the access layer.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "IBMetadata.h"

class TIBTransaction;

namespace tovanel {

struct SchemaColumn {
    TColumnInfo column;                        // type, character set, NOT NULL (its own or its domain's)
    std::string domain;                        // the user domain it is declared with; empty: its own type
    bool ownNotNull = false;                   // NOT NULL written on the column itself
    std::optional<std::string> defaultSource;  // as written: "DEFAULT 0"
    std::string collation;                     // empty: the character set's default
    std::optional<std::int64_t> identity;      // an identity column: its generator's current value
    bool array = false;                        // an array: no declaration carries it
};

struct SchemaDomain {
    std::string name;
    TColumnInfo type;  // its name is unused
    std::optional<std::string> defaultSource;
    std::string collation;
};

struct SchemaTable {
    std::string name;
    std::vector<SchemaColumn> columns;
    std::vector<TKeyInfo> keys;  // added after the load
};

struct SchemaIndex {
    std::string name;
    std::string table;
    bool unique = false;
    bool descending = false;
    bool inactive = false;
    std::vector<std::string> columns;
};

struct SchemaGenerator {
    std::string name;
    std::int64_t value = 0;
};

struct DatabaseSchema {
    std::string characterSet;  // the database's default; empty: NONE
    std::vector<SchemaDomain> domains;
    std::vector<SchemaTable> tables;
    std::vector<SchemaIndex> indexes;  // plain ones: keys make their own
    std::vector<SchemaGenerator> generators;
    std::vector<std::string> notCarried;  // for the report, in Portuguese
};

// Reads what the DDL below needs, for the given user tables (ReadUserTables of the same
// transaction), and lists what cannot be rebuilt.
DatabaseSchema ReadDatabaseSchema(TIBTransaction& transaction, const std::vector<TTableInfo>& tables);

// The statements; nothing where a type cannot be declared (then the object is not carried).
std::string CreateDatabaseSql(const std::string& path, const std::string& user, const std::string& password,
                              int pageSize, const std::string& characterSet);
std::optional<std::string> CreateDomainSql(const SchemaDomain& domain);
std::optional<std::string> CreateTableSql(const SchemaTable& table);
std::string AddKeySql(const std::string& table, const TKeyInfo& key);
std::string CreateIndexSql(const SchemaIndex& index);
std::string CreateGeneratorSql(const SchemaGenerator& generator);
std::string SetGeneratorSql(const SchemaGenerator& generator);

}  // namespace tovanel
