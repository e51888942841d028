// Statements, transactions and blobs of the access layer against the real server: a table with a
// column of every type copied through a select into an insert of another database, value by
// value and byte by byte; the record keys a natural scan delivers.
#include "SqlOnServer.h"

#include <IBBlob.h>
#include <IBMetadata.h>
#include <IBSqlError.h>
#include <IBStatement.h>
#include <IBTransaction.h>
#include <InsertBatch.h>

#include <algorithm>
#include <functional>
#include <limits>
#include <random>

namespace {

using testserver::attach;
using testserver::createDatabaseWith;

constexpr std::size_t kBlobLimit = 16 << 20;
constexpr int64_t kInt64Min = std::numeric_limits<int64_t>::min();
constexpr int64_t kInt64Max = std::numeric_limits<int64_t>::max();

// One column of the all-types table: its declaration, the literals of rows 1 and 2 (row 3 is
// NULL in every column but the key), and what the value must read as in each row. Bytes beyond
// ASCII go in as hexadecimal literals: isql drops them from its input when they are not UTF-8.
struct TypeColumn {
    const char* name;
    const char* declaration;
    const char* row1;
    const char* row2;
    std::function<void(const TSqlMessage&, std::size_t, int)> check;
};

template <typename T>
std::function<void(const TSqlMessage&, std::size_t, int)> Expect(std::optional<T> (TSqlMessage::*get)(std::size_t) const,
                                                                 T first, T second)
{
    return [get, first, second](const TSqlMessage& m, std::size_t i, int row) {
        EXPECT_EQ((m.*get)(i), row == 1 ? first : second) << m.Field(i).name << " row " << row;
    };
}

std::string Bytes(const char* text, std::size_t size)
{
    return std::string(text, size);
}

const std::vector<TypeColumn>& TypeColumns()
{
    static const std::vector<TypeColumn> columns = {
        {"C_SMALLINT", "smallint", "-32768", "32767", Expect<int16_t>(&TSqlMessage::GetInt16, -32768, 32767)},
        {"C_INTEGER", "integer", "-2147483648", "2147483647",
         Expect<int32_t>(&TSqlMessage::GetInt32, std::numeric_limits<int32_t>::min(), 2147483647)},
        {"C_BIGINT", "bigint", "-9223372036854775808", "9223372036854775807",
         Expect<int64_t>(&TSqlMessage::GetInt64, kInt64Min, kInt64Max)},
        {"C_NUM41", "numeric(4,1)", "-999.9", "12.5", Expect<TScaledInt>(&TSqlMessage::GetScaled, {-9999, -1}, {125, -1})},
        {"C_NUM92", "numeric(9,2)", "-9999999.99", "0.01",
         Expect<TScaledInt>(&TSqlMessage::GetScaled, {-999999999, -2}, {1, -2})},
        {"C_NUM184", "numeric(18,4)", "-922337203685477.5808", "123.4567",
         Expect<TScaledInt>(&TSqlMessage::GetScaled, {kInt64Min, -4}, {1234567, -4})},
        {"C_DEC103", "decimal(10,3)", "1234567.891", "-0.001",
         Expect<TScaledInt>(&TSqlMessage::GetScaled, {1234567891, -3}, {-1, -3})},
        {"C_FLOAT", "float", "1.5", "-0.125", Expect<float>(&TSqlMessage::GetFloat, 1.5f, -0.125f)},
        {"C_DOUBLE", "double precision", "0.1", "-1.7976931348623157e308",
         Expect<double>(&TSqlMessage::GetDouble, 0.1, -1.7976931348623157e308)},
        {"C_CHAR_NONE", "char(5) character set none", "'ab'", "x'E7E36F'",
         Expect<std::string>(&TSqlMessage::GetText, "ab   ", "\xE7\xE3o  ")},
        {"C_VC_UTF8", "varchar(10) character set utf8", "_utf8 'a\xC3\xA7\xC3\xA3o'", "''",
         Expect<std::string>(&TSqlMessage::GetText, "a\xC3\xA7\xC3\xA3o", "")},
        {"C_VC_NONE", "varchar(10) character set none", "x'E9FF8101'", "'x'",
         Expect<std::string>(&TSqlMessage::GetText, "\xE9\xFF\x81\x01", "x")},
        {"C_VC_WIN1252", "varchar(10) character set win1252", "x'80E7E3FF9C'", "'ok'",
         Expect<std::string>(&TSqlMessage::GetText, "\x80\xE7\xE3\xFF\x9C", "ok")},
        {"C_CHAR_LATIN1", "char(4) character set iso8859_1", "x'E7E3F1'", "'a'",
         Expect<std::string>(&TSqlMessage::GetText, "\xE7\xE3\xF1 ", "a   ")},
        {"C_VC_ASCII", "varchar(5) character set ascii", "'abc'", "'z'",
         Expect<std::string>(&TSqlMessage::GetText, "abc", "z")},
        {"C_OCTETS", "char(4) character set octets", "x'00FF10AB'", "x'00000000'",
         Expect<std::string>(&TSqlMessage::GetText, Bytes("\x00\xFF\x10\xAB", 4), Bytes("\0\0\0\0", 4))},
        {"C_DATE", "date", "'0001-01-01'", "'9999-12-31'",
         Expect<TSqlDate>(&TSqlMessage::GetDate, {1, 1, 1}, {9999, 12, 31})},
        {"C_TIME", "time", "'00:00:00.0000'", "'23:59:59.9999'",
         Expect<TSqlTime>(&TSqlMessage::GetTime, {0, 0, 0, 0}, {23, 59, 59, 9999})},
        {"C_TIMESTAMP", "timestamp", "'1858-11-17 00:00:00'", "'2026-12-10 11:45:30.1234'",
         Expect<TSqlTimestamp>(&TSqlMessage::GetTimestamp, {{1858, 11, 17}, {0, 0, 0, 0}},
                               {{2026, 12, 10}, {11, 45, 30, 1234}})},
        {"C_BOOLEAN", "boolean", "true", "false", Expect<bool>(&TSqlMessage::GetBoolean, true, false)},
        {"C_BLOB_BIN", "blob sub_type 0", "x'000102FF'", "null", nullptr},
        {"C_BLOB_TEXT", "blob sub_type 1 character set utf8", "_utf8 'texto a\xC3\xA7\xC3\xA3o'", "''", nullptr},
    };
    return columns;
}

std::string ColumnList()
{
    std::string list = "ID";
    for (const TypeColumn& c : TypeColumns())
        list += std::string(", ") + c.name;
    return list;
}

std::string AllTypesDdl()
{
    std::string ddl = "create table ALLTYPES (ID integer not null primary key";
    for (const TypeColumn& c : TypeColumns())
        ddl += std::string(", ") + c.name + " " + c.declaration;
    ddl += ", C_TWICE computed by (C_INTEGER * 2));\ncommit;\n";
    for (int row = 1; row <= 2; ++row) {
        ddl += "insert into ALLTYPES (" + ColumnList() + ") values (" + std::to_string(row);
        for (const TypeColumn& c : TypeColumns())
            ddl += std::string(", ") + (row == 1 ? c.row1 : c.row2);
        ddl += ");\n";
    }
    ddl += "insert into ALLTYPES (ID) values (3);\n";
    return ddl;
}

// Pseudo-random bytes over several segments, for the blob written through the layer.
std::string BigBlob()
{
    std::mt19937 random(15);
    std::string bytes(200000, '\0');
    for (char& b : bytes)
        b = static_cast<char>(random() & 0xFF);
    return bytes;
}

struct TRowValues {
    std::vector<std::optional<std::string>> raw;   // value bytes of each non-blob column, none for NULL
    std::vector<std::optional<std::string>> blobs; // bytes of each blob column
};

// Every row of ALLTYPES by id, read through the layer.
std::vector<TRowValues> ReadAll(TIBTransaction& tr, const std::function<void(const TSqlMessage&, int)>& check = {})
{
    std::vector<TRowValues> rows;
    TIBStatement st(tr, "select " + ColumnList() + " from ALLTYPES order by ID");
    st.ForEachRow([&](const TSqlMessage& m) {
        TRowValues values;
        for (std::size_t i = 0; i < m.Count(); ++i) {
            if (m.Field(i).type == TSqlType::Blob) {
                const auto id = m.GetBlobId(i);
                values.blobs.push_back(id ? std::optional(ReadBlob(tr, *id, kBlobLimit).bytes) : std::nullopt);
            } else {
                values.raw.push_back(m.IsNull(i) ? std::nullopt : std::optional(std::string(m.RawValue(i))));
            }
        }
        if (check)
            check(m, *m.GetInt32(0));
        rows.push_back(std::move(values));
        return true;
    });
    return rows;
}

class SqlRoundTrip : public testserver::RealServerTest {};

TEST_F(SqlRoundTrip, EveryTypeCopiedIntoAnotherDatabaseReadsBackUnchanged)
{
    const auto sourcePath = server().freshPath("sql_source");
    const auto targetPath = server().freshPath("sql_target");
    createDatabaseWith(server(), sourcePath, AllTypesDdl());
    createDatabaseWith(server(), targetPath,
                       AllTypesDdl().substr(0, AllTypesDdl().find("insert into")));
    auto source = attach(server(), sourcePath);
    auto target = attach(server(), targetPath);
    const std::string big = BigBlob();
    {
        TIBTransaction tr(*source, TTransactionOptions::WriteTarget());
        TIBStatement update(tr, "update ALLTYPES set C_BLOB_BIN = ? where ID = 2");
        update.Params().SetBlobId(0, WriteBlob(tr, big, kBlobLimit));
        update.Execute();
        tr.Commit();
    }

    // The copy: the stored columns the metadata lists, a select into an insert, blob by blob.
    TIBTransaction read(*source, TTransactionOptions::ReadDamagedSource());
    TIBTransaction write(*target, TTransactionOptions::WriteTarget(TIsolation::ReadCommitted));
    const auto tables = ReadUserTables(read);
    ASSERT_EQ(tables.size(), 1u);
    const std::vector<std::string> names = ColumnNames(tables[0]);
    EXPECT_EQ(std::count(names.begin(), names.end(), "C_TWICE"), 0);
    const std::string columns = QuoteIdentifiers(names);
    TIBStatement select(read, "select " + columns + " from ALLTYPES");
    TIBStatement insert(write, InsertBatchSql("ALLTYPES", names, 1));
    const auto blobs = CopyBlobs(read, write, kBlobLimit);
    const uint64_t copied = select.ForEachRow([&](const TSqlMessage& row) {
        insert.Params().CopyFrom(row, 0, blobs);
        insert.Execute();
        return true;
    });
    EXPECT_EQ(copied, 3u);
    write.Commit();

    // Value by value against the literals, in both databases; bytes and blobs equal.
    const auto check = [](const TSqlMessage& m, int row) {
        for (std::size_t i = 0; i < TypeColumns().size(); ++i) {
            const TypeColumn& c = TypeColumns()[i];
            if (row == 3) {
                EXPECT_TRUE(m.IsNull(i + 1)) << c.name;
            } else if (c.check) {
                c.check(m, i + 1, row);
            }
        }
    };
    TIBTransaction readTarget(*target, TTransactionOptions::ReadDamagedSource());
    {
        // Same types, lengths and character sets on both sides.
        TIBStatement from(read, "select " + ColumnList() + " from ALLTYPES");
        TIBStatement to(readTarget, "select " + ColumnList() + " from ALLTYPES");
        ASSERT_EQ(to.Columns().Count(), from.Columns().Count());
        for (std::size_t i = 0; i < from.Columns().Count(); ++i)
            EXPECT_TRUE(to.Columns().Field(i).SameShape(from.Columns().Field(i))) << from.Columns().Field(i).name;
        const auto charsetOf = [&](const char* name) {
            for (const TSqlField& field : to.Columns().Fields())
                if (field.name == name)
                    return field.CharacterSet();
            return int16_t{-1};
        };
        EXPECT_EQ(charsetOf("C_VC_WIN1252"), charset::Win1252);
        EXPECT_EQ(charsetOf("C_CHAR_LATIN1"), charset::Iso8859_1);
        EXPECT_EQ(charsetOf("C_VC_NONE"), charset::None);
        EXPECT_EQ(charsetOf("C_VC_UTF8"), charset::Utf8);
    }
    const auto before = ReadAll(read, check);
    const auto after = ReadAll(readTarget, check);
    ASSERT_EQ(after.size(), 3u);
    for (std::size_t row = 0; row < before.size(); ++row) {
        EXPECT_EQ(after[row].raw, before[row].raw) << "row " << row + 1;
        EXPECT_EQ(after[row].blobs, before[row].blobs) << "row " << row + 1;
    }
    const std::vector<std::optional<std::string>> expectedBlobs[] = {
        {Bytes("\x00\x01\x02\xFF", 4), "texto a\xC3\xA7\xC3\xA3o"}, {big, ""}, {std::nullopt, std::nullopt}};
    for (std::size_t row = 0; row < 3; ++row)
        EXPECT_EQ(after[row].blobs, expectedBlobs[row]) << "row " << row + 1;
}

TEST_F(SqlRoundTrip, NaturalScanKeysCountRecordsAndFetchEachRecordDirectly)
{
    const auto path = server().freshPath("sql_keys");
    createDatabaseWith(server(), path,
                       "create table K (ID integer not null, PAD varchar(100));\ncommit;\n"
                       "set term ^;\nexecute block as declare i integer = 0; begin\n"
                       "while (i < 1000) do begin insert into K values (:i, rpad('', 100, 'p')); i = i + 1; end end^\n"
                       "set term ;^\n");
    auto db = attach(server(), path);
    TIBTransaction tr(*db, TTransactionOptions::ReadDamagedSource());
    const auto tables = ReadUserTables(tr);
    ASSERT_EQ(tables.size(), 1u);
    EXPECT_EQ(ReadRecordCount(tr, "K"), 1000);
    std::vector<std::pair<TDbKey, int32_t>> keys;
    TIBStatement scan(tr, "select rdb$db_key, ID from K plan (K natural)");
    scan.ForEachRow([&](const TSqlMessage& m) {
        keys.emplace_back(*m.GetDbKey(0), *m.GetInt32(1));
        return true;
    });
    ASSERT_EQ(keys.size(), 1000u);
    EXPECT_EQ(keys.front().first.RelationId(), tables[0].relationId);
    for (std::size_t i = 1; i < keys.size(); ++i)
        ASSERT_LT(keys[i - 1].first.RecordNumber(), keys[i].first.RecordNumber()) << i;
    EXPECT_EQ(keys.front().first.RecordNumber(), 0u);

    TIBStatement probe(tr, "select ID from K where rdb$db_key = ?");
    for (std::size_t i : {std::size_t{0}, std::size_t{1}, std::size_t{499}, std::size_t{999}}) {
        probe.Params().SetDbKey(0, keys[i].first);
        probe.Execute();
        ASSERT_TRUE(probe.Fetch());
        EXPECT_EQ(probe.Columns().GetInt32(0), keys[i].second);
        EXPECT_FALSE(probe.Fetch());
    }
    // A key past the last record: no row, no error.
    probe.Params().SetDbKey(0, TDbKey::For(tables[0].relationId, keys.back().first.RecordNumber() + 5000));
    probe.Execute();
    EXPECT_FALSE(probe.Fetch());
}

TEST_F(SqlRoundTrip, ServerRefusalsCarryTheServerTextAndLeaveTheAttachmentWorking)
{
    const auto path = server().freshPath("sql_refusal");
    createDatabaseWith(server(), path, "create table U (ID integer not null primary key);\ninsert into U values (1);\n");
    auto db = attach(server(), path);
    TIBTransaction tr(*db, TTransactionOptions::WriteTarget());
    try {
        TIBStatement bad(tr, "select nothing from U");
        ADD_FAILURE() << "prepared";
    } catch (const EIBSqlError& e) {
        EXPECT_NE(std::string(e.what()).find("Column unknown"), std::string::npos) << e.what();
        EXPECT_EQ(e.SQLCode(), -206);
        EXPECT_TRUE(e.AttachmentUsable());
    }
    TIBStatement insert(tr, "insert into U values (?)");
    insert.Params().SetInt64(0, 1);
    try {
        insert.Execute();
        ADD_FAILURE() << "duplicate accepted";
    } catch (const EIBSqlError& e) {
        EXPECT_NE(std::string(e.what()).find("violation of PRIMARY or UNIQUE KEY constraint"), std::string::npos)
            << e.what();
        EXPECT_TRUE(e.AttachmentUsable());
    }
    EXPECT_EQ(ReadRecordCount(tr, "U"), 1);
    EXPECT_EQ(ReadRecordCount(tr, "NO_SUCH_TABLE"), std::nullopt);
}

TEST_F(SqlRoundTrip, CreateDatabaseLeavesTheNewFileAttachedAndARefusalLeavesNoAttachment)
{
    const auto path = server().freshPath("sql_create");
    const std::string create = "create database '" + testserver::PrivateServer::remote(path) + "' user '" +
                               server().user() + "' password '" + server().password() +
                               "' page_size 4096 default character set win1252";
    TIBDatabase db;
    db.CreateDatabase(create);
    ASSERT_TRUE(db.Connected());
    EXPECT_EQ(db.DBSQLDialect(), 3);
    {
        TIBTransaction tr(db, TTransactionOptions::WriteTarget());
        TIBStatement st(tr, "select m.mon$page_size, d.rdb$character_set_name from mon$database m cross join rdb$database d");
        st.ForEachRow([](const TSqlMessage& m) {
            EXPECT_EQ(m.GetInt32(0), 4096);
            EXPECT_EQ(m.GetText(1).value_or("").substr(0, 7), "WIN1252");
            return true;
        });
        tr.Commit();
    }
    EXPECT_THROW(db.CreateDatabase(create), EIBClientError) << "refused while attached";
    db.Close();

    TIBDatabase again;
    try {
        again.CreateDatabase(create);
        ADD_FAILURE() << "an existing file was created over";
    } catch (const EIBInterBaseError& e) {
        EXPECT_NE(std::string(e.what()).find(path.string()), std::string::npos) << e.what();
    }
    EXPECT_FALSE(again.Connected());
    testserver::configureAsConsole(again, testserver::PrivateServer::remote(path), server().user(), server().password());
    again.Open();
    EXPECT_TRUE(again.TestConnected()) << "the first database is whole";
}

// Every row of a table ordered by its first column, as the bytes of each value (none for NULL).
std::vector<std::vector<std::optional<std::string>>> RawRows(TIBTransaction& tr, const std::string& table)
{
    std::vector<std::vector<std::optional<std::string>>> rows;
    TIBStatement st(tr, "select * from " + QuoteIdentifier(table) + " order by 1");
    st.ForEachRow([&](const TSqlMessage& m) {
        auto& row = rows.emplace_back();
        for (std::size_t i = 0; i < m.Count(); ++i)
            row.push_back(m.IsNull(i) ? std::nullopt : std::optional(std::string(m.RawValue(i))));
        return true;
    });
    return rows;
}

TEST_F(SqlRoundTrip, BatchedInsertsCopyEveryTableOfTheSampleDatabaseByteForByte)
{
    const auto sourcePath = server().freshPath("sql_batch_source");
    const auto targetPath = server().freshPath("sql_batch_target");
    server().createHealthyDatabase(sourcePath);
    createDatabaseWith(server(), targetPath,
                       "create table CLIENTES (ID integer not null primary key, NOME varchar(60) character set utf8,"
                       " CIDADE varchar(40) character set utf8);\n"
                       "create table PEDIDOS (ID integer not null primary key, CLIENTE integer, VALOR numeric(12,2),"
                       " OBS varchar(200) character set utf8);\n"
                       "create table PRODUTOS (CODIGO varchar(20) character set utf8 not null primary key,"
                       " DESCRICAO varchar(80) character set utf8, PRECO double precision);\n");
    auto source = attach(server(), sourcePath);
    auto target = attach(server(), targetPath);
    TIBTransaction read(*source, TTransactionOptions::ReadDamagedSource());
    TIBTransaction write(*target, TTransactionOptions::WriteTarget());
    for (const TTableInfo& table : ReadUserTables(read)) {
        const std::vector<std::string> columns = ColumnNames(table);
        TIBStatement select(read, "select " + QuoteIdentifiers(columns) + " from " + QuoteIdentifier(table.name) + " plan (" +
                                      QuoteIdentifier(table.name) + " natural)");
        TInsertBatch batch(write, table.name, columns, 64);
        select.ForEachRow([&](const TSqlMessage& row) {
            batch.Add(row);
            return true;
        });
        batch.Flush();
        const auto expected = testserver::PrivateServer::healthyRowCounts().at(table.name);
        EXPECT_EQ(batch.RowsWritten(), static_cast<uint64_t>(expected)) << table.name;
        EXPECT_EQ(batch.RoundTrips(), static_cast<uint64_t>((expected + 63) / 64)) << table.name;
    }
    write.Commit();
    TIBTransaction check(*target, TTransactionOptions::ReadDamagedSource());
    for (const char* table : {"CLIENTES", "PEDIDOS", "PRODUTOS"}) {
        const auto copied = RawRows(check, table);
        EXPECT_EQ(copied.size(), static_cast<std::size_t>(testserver::PrivateServer::healthyRowCounts().at(table)));
        EXPECT_TRUE(copied == RawRows(read, table)) << table;
    }
}

}  // namespace
