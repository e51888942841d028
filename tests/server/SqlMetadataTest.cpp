// The metadata reader against a fixture schema made by isql: exactly the user tables, their
// stored columns in order with types, and their keys.
#include "SqlOnServer.h"

#include <IBMetadata.h>
#include <IBTransaction.h>

namespace {

using testserver::attach;
using testserver::createDatabaseWith;

const char* const kSchema =
    "create domain D_NAME varchar(20) character set utf8 not null;\n"
    "create table T_ONE (ID integer not null, NAME D_NAME, NOTE varchar(30) character set none,"
    " AMOUNT numeric(12,2), TWICE computed by (ID * 2), CODE char(3) character set octets,"
    " constraint PK_ONE primary key (ID), constraint UQ_ONE_CODE unique (CODE));\n"
    "create table T_TWO (A smallint not null, B bigint not null, MEMO blob sub_type 1 character set utf8,"
    " PIC blob sub_type 0, FLAG boolean, STAMP timestamp, constraint PK_TWO primary key (B, A),"
    " constraint UQ_TWO_AT unique (STAMP, A));\n"
    "create view V_ONE as select ID from T_ONE;\n"
    "create global temporary table T_TEMP (X integer);\n"
    "commit;\n"
    "insert into T_ONE (ID, NAME) values (1, 'um');\n"
    "insert into T_ONE (ID, NAME) values (2, 'dois');\n";

struct ExpectedColumn {
    const char* name;
    int16_t fieldType;
    int16_t subType;
    int16_t length;
    int16_t scale;
    std::optional<int16_t> characterSetId;
    const char* characterSetName;
    std::optional<int16_t> characterLength;
    bool notNull;
};

void ExpectColumns(const TTableInfo& table, const std::vector<ExpectedColumn>& expected)
{
    ASSERT_EQ(table.columns.size(), expected.size()) << table.name;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const TColumnInfo& c = table.columns[i];
        const ExpectedColumn& e = expected[i];
        EXPECT_EQ(c.name, e.name) << table.name << " " << i;
        EXPECT_EQ(c.fieldType, e.fieldType) << e.name;
        EXPECT_EQ(c.subType, e.subType) << e.name;
        EXPECT_EQ(c.length, e.length) << e.name;
        EXPECT_EQ(c.scale, e.scale) << e.name;
        EXPECT_EQ(c.characterSetId, e.characterSetId) << e.name;
        EXPECT_EQ(c.characterSetName, e.characterSetName) << e.name;
        EXPECT_EQ(c.characterLength, e.characterLength) << e.name;
        EXPECT_EQ(c.notNull, e.notNull) << e.name;
    }
}

class SqlMetadata : public testserver::RealServerTest {};

TEST_F(SqlMetadata, ListsTheFixtureSchemaExactly)
{
    const auto path = server().freshPath("sql_metadata");
    createDatabaseWith(server(), path, kSchema);
    auto db = attach(server(), path);
    TIBTransaction tr(*db, TTransactionOptions::ReadDamagedSource());
    const auto tables = ReadUserTables(tr);
    ASSERT_EQ(tables.size(), 2u);
    EXPECT_EQ(tables[0].name, "T_ONE");
    EXPECT_EQ(tables[1].name, "T_TWO");
    EXPECT_GE(tables[0].relationId, 128);
    EXPECT_NE(tables[0].relationId, tables[1].relationId);

    using namespace fieldtype;
    ExpectColumns(tables[0], {{"ID", Long, 0, 4, 0, std::nullopt, "", std::nullopt, true},
                              {"NAME", Varying, 0, 80, 0, int16_t{4}, "UTF8", int16_t{20}, true},
                              {"NOTE", Varying, 0, 30, 0, int16_t{0}, "NONE", int16_t{30}, false},
                              {"AMOUNT", Int64, 1, 8, -2, std::nullopt, "", std::nullopt, false},
                              {"CODE", Text, 0, 3, 0, int16_t{1}, "OCTETS", int16_t{3}, false}});
    EXPECT_EQ(tables[0].columns[1].domain, "D_NAME");
    EXPECT_EQ(tables[0].columns[3].precision, 12);
    ExpectColumns(tables[1], {{"A", Short, 0, 2, 0, std::nullopt, "", std::nullopt, true},
                              {"B", Int64, 0, 8, 0, std::nullopt, "", std::nullopt, true},
                              {"MEMO", Blob, 1, 8, 0, int16_t{4}, "UTF8", std::nullopt, false},
                              {"PIC", Blob, 0, 8, 0, std::nullopt, "", std::nullopt, false},
                              {"FLAG", Boolean, 0, 1, 0, std::nullopt, "", std::nullopt, false},
                              {"STAMP", Timestamp, 0, 8, 0, std::nullopt, "", std::nullopt, false}});

    EXPECT_EQ(tables[0].keys, (std::vector<TKeyInfo>{{"PK_ONE", true, "PK_ONE", {"ID"}},
                                                     {"UQ_ONE_CODE", false, "UQ_ONE_CODE", {"CODE"}}}));
    EXPECT_EQ(tables[1].keys, (std::vector<TKeyInfo>{{"PK_TWO", true, "PK_TWO", {"B", "A"}},
                                                     {"UQ_TWO_AT", false, "UQ_TWO_AT", {"STAMP", "A"}}}));
    EXPECT_EQ(ReadRecordCount(tr, "T_ONE"), 2);
    EXPECT_EQ(ReadRecordCount(tr, "T_TWO"), 0);
}

}  // namespace
