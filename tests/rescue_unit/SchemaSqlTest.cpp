// The statements that rebuild a schema from its description: each column declared as the
// system tables describe it (type, precision, character set, collation, default, NOT NULL, its
// domain), keys under the user's names but never under names the server makes, indexes,
// generators and their values, and the new database itself.
#include <gtest/gtest.h>

#include "RescueSchema.h"
#include "RescueSql.h"

namespace tovanel {
namespace {

TColumnInfo Column(const char* name, int16_t type, int16_t length, int16_t subType = 0, int16_t scale = 0,
                   std::optional<int16_t> precision = std::nullopt) {
    TColumnInfo column;
    column.name = name;
    column.fieldType = type;
    column.length = length;
    column.subType = subType;
    column.scale = scale;
    column.precision = precision;
    return column;
}

TColumnInfo Text(const char* name, int16_t type, int16_t characters, const char* characterSet, int16_t bytesPerChar = 1) {
    TColumnInfo column = Column(name, type, static_cast<int16_t>(characters * bytesPerChar));
    column.characterLength = characters;
    column.characterSetName = characterSet;
    column.characterSetId = 1;
    return column;
}

TColumnInfo TextBlob(const char* name, const char* characterSet) {
    TColumnInfo column = Text(name, fieldtype::Blob, 0, characterSet);
    column.length = 8;
    column.subType = 1;
    return column;
}

struct ColumnCase {
    const char* name;
    SchemaColumn column;
    std::string declared;  // the column's part of CREATE TABLE
};

SchemaColumn Plain(TColumnInfo column, bool notNull = false, std::optional<std::string> defaultSource = std::nullopt,
                   std::string collation = {}) {
    SchemaColumn described;
    described.column = std::move(column);
    described.ownNotNull = notNull;
    described.defaultSource = std::move(defaultSource);
    described.collation = std::move(collation);
    return described;
}

SchemaColumn Identity(TColumnInfo column, std::int64_t value) {
    SchemaColumn described = Plain(std::move(column), true);
    described.identity = value;
    return described;
}

SchemaColumn OfDomain(TColumnInfo column, const char* domain, bool notNull = false) {
    SchemaColumn described = Plain(std::move(column), notNull);
    described.domain = domain;
    return described;
}

class TableColumn : public ::testing::TestWithParam<ColumnCase> {};

TEST_P(TableColumn, IsDeclaredAsTheSystemTablesDescribeIt) {
    const SchemaTable table{"T", {GetParam().column}, {}};
    EXPECT_EQ(CreateTableSql(table), "CREATE TABLE \"T\" (" + GetParam().declared + ")");
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, TableColumn,
    ::testing::Values(
        ColumnCase{"integer_not_null", Plain(Column("ID", fieldtype::Long, 4), true), "\"ID\" INTEGER NOT NULL"},
        ColumnCase{"bigint", Plain(Column("N", fieldtype::Int64, 8, 0, 0, 0)), "\"N\" BIGINT"},
        ColumnCase{"numeric_keeps_its_precision", Plain(Column("V", fieldtype::Int64, 8, 1, -2, 12)),
                   "\"V\" NUMERIC(12, 2)"},
        ColumnCase{"small_numeric", Plain(Column("V", fieldtype::Short, 2, 1, -2, 4)), "\"V\" NUMERIC(4, 2)"},
        // NUMERIC(4) would be a SMALLINT: the 32-bit storage keeps the widest precision.
        ColumnCase{"numeric_precision_that_would_narrow_the_storage", Plain(Column("V", fieldtype::Long, 4, 1, -2, 4)),
                   "\"V\" NUMERIC(9, 2)"},
        ColumnCase{"decimal", Plain(Column("V", fieldtype::Long, 4, 2, -2, 4)), "\"V\" DECIMAL(4, 2)"},
        ColumnCase{"double_with_default", Plain(Column("P", fieldtype::Double, 8), false, "DEFAULT 1.5"),
                   "\"P\" DOUBLE PRECISION DEFAULT 1.5"},
        ColumnCase{"varchar_character_set_collation_default_not_null",
                   Plain(Text("NOME", fieldtype::Varying, 60, "WIN1252"), true, "default 'sem nome'", "WIN_PTBR"),
                   "\"NOME\" VARCHAR(60) CHARACTER SET WIN1252 default 'sem nome' NOT NULL COLLATE WIN_PTBR"},
        ColumnCase{"utf8_counts_characters_not_bytes", Plain(Text("NOTA", fieldtype::Varying, 100, "UTF8", 4)),
                   "\"NOTA\" VARCHAR(100) CHARACTER SET UTF8"},
        ColumnCase{"char", Plain(Text("C", fieldtype::Text, 8, "ASCII")), "\"C\" CHAR(8) CHARACTER SET ASCII"},
        ColumnCase{"text_blob", Plain(TextBlob("B", "UTF8")), "\"B\" BLOB SUB_TYPE 1 CHARACTER SET UTF8"},
        ColumnCase{"binary_blob", Plain(Column("B", fieldtype::Blob, 8)), "\"B\" BLOB SUB_TYPE 0"},
        ColumnCase{"date_time_boolean_defaults", Plain(Column("D", fieldtype::Timestamp, 8), false, "DEFAULT 'NOW'"),
                   "\"D\" TIMESTAMP DEFAULT 'NOW'"},
        ColumnCase{"of_a_domain", OfDomain(Column("V", fieldtype::Int64, 8, 1, -2, 12), "D_VALOR"),
                   "\"V\" \"D_VALOR\""},
        ColumnCase{"of_a_domain_with_its_own_not_null", OfDomain(Column("V", fieldtype::Int64, 8), "D_VALOR", true),
                   "\"V\" \"D_VALOR\" NOT NULL"},
        ColumnCase{"identity_starts_where_its_generator_stood", Identity(Column("ID", fieldtype::Long, 4), 50),
                   "\"ID\" INTEGER GENERATED BY DEFAULT AS IDENTITY (START WITH 50) NOT NULL"},
        ColumnCase{"quoted_name", Plain(Column("a\"b", fieldtype::Short, 2)), "\"a\"\"b\" SMALLINT"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SchemaSql, TableWithSeveralColumnsListsThemInOrderAndNoKeys) {
    TKeyInfo key{"PK_T", true, "PK_T", {"ID"}};
    const SchemaTable table{"CLIENTES",
                            {Plain(Column("ID", fieldtype::Long, 4), true), Plain(Text("NOME", fieldtype::Varying, 60, "UTF8", 4))},
                            {key}};
    EXPECT_EQ(CreateTableSql(table),
              "CREATE TABLE \"CLIENTES\" (\"ID\" INTEGER NOT NULL, \"NOME\" VARCHAR(60) CHARACTER SET UTF8)")
        << "keys are added after the load";
}

TEST(SchemaSql, ATypeThatCannotBeDeclaredLeavesTheTableOut) {
    for (const int16_t type : {fieldtype::Quad, fieldtype::Cstring, int16_t{99}}) {
        const SchemaTable table{"T", {Plain(Column("ID", fieldtype::Long, 4)), Plain(Column("X", type, 8))}, {}};
        EXPECT_EQ(CreateTableSql(table), std::nullopt) << type;
    }
    SchemaColumn array = Plain(Column("A", fieldtype::Long, 4));
    array.array = true;
    EXPECT_EQ(CreateTableSql(SchemaTable{"T", {Plain(Column("ID", fieldtype::Long, 4)), array}, {}}), std::nullopt)
        << "an array column";
    EXPECT_EQ(CreateTableSql(SchemaTable{"T", {}, {}}), std::nullopt) << "a table needs a column";
}

TEST(SchemaSql, DomainsCarryTypeDefaultNotNullAndCollation) {
    struct Case {
        SchemaDomain domain;
        std::optional<std::string> sql;
    };
    TColumnInfo valor = Column("", fieldtype::Int64, 8, 1, -2, 12);
    valor.notNull = true;
    const std::vector<Case> cases = {
        {{"D_VALOR", valor, "default 0", ""}, "CREATE DOMAIN \"D_VALOR\" AS NUMERIC(12, 2) default 0 NOT NULL"},
        {{"D_NOME", Text("", fieldtype::Varying, 60, "WIN1252"), std::nullopt, "WIN_PTBR"},
         "CREATE DOMAIN \"D_NOME\" AS VARCHAR(60) CHARACTER SET WIN1252 COLLATE WIN_PTBR"},
        {{"D_QUAD", Column("", fieldtype::Quad, 8), std::nullopt, ""}, std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(CreateDomainSql(c.domain), c.sql) << c.domain.name;
}

TEST(SchemaSql, KeysKeepTheUsersNamesAndLeaveTheServersOwnToTheServer) {
    struct Case {
        TKeyInfo key;
        std::string sql;
    };
    const std::vector<Case> cases = {
        {{"PK_PEDIDOS", true, "PK_PEDIDOS", {"ID"}},
         "ALTER TABLE \"T\" ADD CONSTRAINT \"PK_PEDIDOS\" PRIMARY KEY (\"ID\") USING INDEX \"PK_PEDIDOS\""},
        {{"INTEG_2", true, "RDB$PRIMARY1", {"ID"}}, "ALTER TABLE \"T\" ADD PRIMARY KEY (\"ID\")"},
        {{"UQ_A_B", false, "UQ_A_B", {"A", "B"}},
         "ALTER TABLE \"T\" ADD CONSTRAINT \"UQ_A_B\" UNIQUE (\"A\", \"B\") USING INDEX \"UQ_A_B\""},
        {{"UQ_C", false, "RDB$4", {"C"}}, "ALTER TABLE \"T\" ADD CONSTRAINT \"UQ_C\" UNIQUE (\"C\")"},
        {{"INTEG_9", false, "IX_MEU", {"C"}}, "ALTER TABLE \"T\" ADD UNIQUE (\"C\") USING INDEX \"IX_MEU\""},
    };
    for (const Case& c : cases) EXPECT_EQ(AddKeySql("T", c.key), c.sql) << c.key.name;
}

TEST(SchemaSql, IndexesKeepUniquenessDirectionAndColumnOrder) {
    EXPECT_EQ(CreateIndexSql({"IX_A", "T", false, false, false, {"A"}}), "CREATE INDEX \"IX_A\" ON \"T\" (\"A\")");
    EXPECT_EQ(CreateIndexSql({"IX_BA", "T", true, true, false, {"B", "A"}}),
              "CREATE UNIQUE DESCENDING INDEX \"IX_BA\" ON \"T\" (\"B\", \"A\")");
}

TEST(SchemaSql, GeneratorsGetTheirValueBack) {
    struct Case {
        SchemaGenerator generator;
        std::string set;
    };
    const std::vector<Case> cases = {
        {{"G_PEDIDOS", 4321}, "SET GENERATOR \"G_PEDIDOS\" TO 4321"},
        {{"G_NEG", -7}, "SET GENERATOR \"G_NEG\" TO -7"},
        {{"G_BIG", 9223372036854775807LL}, "SET GENERATOR \"G_BIG\" TO 9223372036854775807"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CreateGeneratorSql(c.generator), "CREATE SEQUENCE \"" + c.generator.name + "\"");
        EXPECT_EQ(SetGeneratorSql(c.generator), c.set);
    }
}

TEST(SchemaSql, TheNewDatabaseHasThePageSizeAndTheOriginalsCharacterSet) {
    EXPECT_EQ(CreateDatabaseSql("/d/novo.fdb", "SYSDBA", "pw", 4096, "WIN1252"),
              "CREATE DATABASE 'localhost:/d/novo.fdb' USER 'SYSDBA' PASSWORD 'pw' PAGE_SIZE 4096 "
              "DEFAULT CHARACTER SET WIN1252");
    EXPECT_EQ(CreateDatabaseSql("/d/o'brien.fdb", "SYSDBA", "p'w", 4096, ""),
              "CREATE DATABASE 'localhost:/d/o''brien.fdb' USER 'SYSDBA' PASSWORD 'p''w' PAGE_SIZE 4096")
        << "quotes doubled; no character set clause for NONE";
}

}  // namespace
}  // namespace tovanel
