// Transactions, statements, typed values and blobs against the fake client: the exact calls and
// bytes, and the handles freed on every path.
#include "FakeSqlSetup.h"
#include "IBBlob.h"
#include "IBErrors.h"
#include "IBSqlError.h"
#include "InsertBatch.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>

namespace {

using fakeclient::Bytes;
using fakeclient::sql::Field;
using fakeclient::sql::LittleEndian;
using Names = std::vector<std::string>;

constexpr int kSelect = isc_info_sql_stmt_select;
constexpr int kInsert = isc_info_sql_stmt_insert;
constexpr ISC_STATUS kIoError = isc_io_error;
constexpr ISC_STATUS kBugCheck = isc_bug_check;

void ExpectClientError(const std::function<void()>& action, TIBClientErrorKind kind)
{
    try {
        action();
        ADD_FAILURE() << "nothing raised; expected client error " << kind;
    } catch (const EIBClientError& e) {
        EXPECT_EQ(e.SQLCode(), kind) << e.what();
    }
}

std::string Varying(std::string_view text)
{
    return LittleEndian(static_cast<long long>(text.size()), 2) + std::string(text);
}

// ---- transactions ----

struct TpbCase {
    const char* name;
    TTransactionOptions options;
    std::string tpb;
};

class TransactionTpb : public testing::TestWithParam<TpbCase> {};

TEST_P(TransactionTpb, OptionsBecomeTheseBytes)
{
    EXPECT_EQ(BuildTPB(GetParam().options), GetParam().tpb);
}

INSTANTIATE_TEST_SUITE_P(
    Options, TransactionTpb,
    testing::Values(
        TpbCase{"damaged_source", TTransactionOptions::ReadDamagedSource(), Bytes({3, 15, 17, 8, 7})},
        TpbCase{"target_snapshot", TTransactionOptions::WriteTarget(), Bytes({3, 2, 9, 6})},
        TpbCase{"target_read_committed", TTransactionOptions::WriteTarget(TIsolation::ReadCommitted),
                Bytes({3, 15, 17, 9, 6})},
        TpbCase{"no_rec_version_timeout",
                TTransactionOptions{TIsolation::ReadCommittedNoRecVersion, false, true, int16_t{300}, false},
                Bytes({3, 15, 18, 9, 6, 21, 2, 0x2C, 0x01})},
        TpbCase{"consistency_read_nowait_ignores_timeout",
                TTransactionOptions{TIsolation::Consistency, true, false, int16_t{5}, false}, Bytes({3, 1, 8, 7})},
        TpbCase{"bulk_load_without_undo_log", TTransactionOptions{TIsolation::Snapshot, false, true, std::nullopt, true},
                Bytes({3, 2, 9, 6, 20})}),
    [](const auto& info) { return std::string(info.param.name); });

using Transactions = fbtest::SqlFixture;

TEST_F(Transactions, StartSendsTheDatabaseHandleAndTpbAndCommitEndsIt)
{
    TIBTransaction tr(db, TTransactionOptions::ReadDamagedSource());
    ASSERT_TRUE(tr.Active());
    const auto start = fakeclient::CallsTo("isc_start_multiple").at(0);
    EXPECT_EQ(start.Number("count"), 1);
    EXPECT_EQ(start.Number("teb[0].database"), 100);
    EXPECT_EQ(start.Bytes("teb[0].tpb"), Bytes({3, 15, 17, 8, 7}));
    tr.CommitRetaining();
    EXPECT_TRUE(tr.Active());
    tr.Commit();
    EXPECT_FALSE(tr.Active());
    EXPECT_EQ(SqlCalls(), (Names{"isc_start_multiple", "isc_commit_retaining", "isc_commit_transaction"}));
    EXPECT_TRUE(fakeclient::sql::OpenHandles().empty());
}

TEST_F(Transactions, StillOpenAtTheEndIsRolledBackAndAFailedCommitKeepsItOpen)
{
    {
        TIBTransaction tr = Start();
        fakeclient::Push("isc_commit_transaction", fakeclient::Failure(335544345));  // lock conflict
        EXPECT_THROW(tr.Commit(), EIBSqlError);
        EXPECT_TRUE(tr.Active());
    }
    EXPECT_EQ(SqlCalls(), (Names{"isc_start_multiple", "isc_commit_transaction", "isc_rollback_transaction"}));
    EXPECT_TRUE(fakeclient::sql::OpenHandles().empty());
}

TEST_F(Transactions, MovedHandleIsRolledBackOnceAndEndedOnesRefuseWork)
{
    {
        TIBTransaction first = Start();
        TIBTransaction second = std::move(first);
        EXPECT_FALSE(first.Active());
        ExpectClientError([&] { first.Commit(); }, ceTransactionNotActive);
        ExpectClientError([&] { TIBStatement(first, "select 1 from rdb$database"); }, ceTransactionNotActive);
    }
    EXPECT_EQ(fakeclient::CallsTo("isc_rollback_transaction").size(), 1u);
}

TEST_F(Transactions, RollbackEndsItOnceEvenWhenTheServerRefusesIt)
{
    {
        TIBTransaction tr = Start();
        tr.Rollback();
        EXPECT_FALSE(tr.Active());
        ExpectClientError([&] { tr.Rollback(); }, ceTransactionNotActive);
    }
    {
        TIBTransaction tr = Start();
        fakeclient::SetMessage(335544328, "invalid transaction handle (expecting explicit transaction start)");
        fakeclient::Push("isc_rollback_transaction", fakeclient::Failure(335544328));
        try {
            tr.Rollback();
            ADD_FAILURE() << "nothing raised";
        } catch (const EIBSqlError& e) {
            EXPECT_STREQ(e.what(), "invalid transaction handle (expecting explicit transaction start)");
        }
        // A handle the server refused to roll back is not sent again by the destructor.
        EXPECT_FALSE(tr.Active());
    }
    EXPECT_EQ(fakeclient::CallsTo("isc_rollback_transaction").size(), 2u);
}

TEST_F(Transactions, FailedStartRaisesTheServerTextAndLeavesNothingOpen)
{
    fakeclient::SetMessage(335544569, "Dynamic SQL Error");
    fakeclient::Push("isc_start_multiple", fakeclient::Failure(335544569));
    try {
        Start();
        ADD_FAILURE() << "nothing raised";
    } catch (const EIBSqlError& e) {
        EXPECT_STREQ(e.what(), "Dynamic SQL Error");
        EXPECT_TRUE(e.AttachmentUsable());
    }
    EXPECT_TRUE(fakeclient::sql::OpenHandles().empty());
}

// ---- statements ----

using Statements = fbtest::SqlFixture;

TEST_F(Statements, PrepareAllocatesPreparesAndDescribesOnce)
{
    TIBTransaction tr = Start();
    fakeclient::Reset();  // only the statement's own calls below
    ScriptPrepare(kSelect, {Field{SQL_LONG + 1, 4, 0, 0, "ID", "T"}}, {Field{SQL_VARYING + 1, 8, 0, 53, "NOTE"}});
    TIBStatement st(tr, "select id from t where note = ?");
    EXPECT_EQ(SqlCalls(), (Names{"isc_dsql_alloc_statement2", "isc_dsql_prepare", "isc_dsql_sql_info",
                                 "isc_dsql_describe", "isc_dsql_describe_bind"}));
    const auto prepare = fakeclient::CallsTo("isc_dsql_prepare").at(0);
    EXPECT_EQ(prepare.Bytes("sql"), "select id from t where note = ?");
    EXPECT_EQ(prepare.Number("length"), 31);
    EXPECT_EQ(prepare.Number("dialect"), 3);
    EXPECT_EQ(fakeclient::CallsTo("isc_dsql_sql_info").at(0).Bytes("items"), Bytes({isc_info_sql_stmt_type}));
    EXPECT_EQ(st.Type(), TStatementType::Select);
    ASSERT_EQ(st.Columns().Count(), 1u);
    EXPECT_EQ(st.Columns().Field(0).name, "ID");
    EXPECT_EQ(st.Columns().Field(0).relation, "T");
    ASSERT_EQ(st.Params().Count(), 1u);
    EXPECT_EQ(st.Params().Field(0).CharacterSet(), 53);
    EXPECT_EQ(st.Params().Field(0).length, 8);
}

TEST_F(Statements, MoreColumnsThanFirstRoomAreDescribedAgainWithExactRoom)
{
    TIBTransaction tr = Start();
    std::vector<Field> many(40, Field{SQL_SHORT, 2});
    ScriptPrepare(kSelect, many);
    TIBStatement st(tr, "select * from wide");
    const auto describes = fakeclient::CallsTo("isc_dsql_describe");
    ASSERT_EQ(describes.size(), 2u);
    EXPECT_EQ(describes[0].Number("sqln"), 32);
    EXPECT_EQ(describes[1].Number("sqln"), 40);
    EXPECT_EQ(st.Columns().Count(), 40u);
}

TEST_F(Statements, RefusedPrepareRaisesTheServerTextAndFreesTheHandle)
{
    TIBTransaction tr = Start();
    fakeclient::SetMessage(335544569, "Dynamic SQL Error");
    fakeclient::SetMessage(335544634, "Token unknown - line @1, column @2");
    fakeclient::Push("isc_dsql_prepare", fakeclient::Failure(335544569, {isc_arg_gds, 335544634, isc_arg_number, 1,
                                                                         isc_arg_number, 8}));
    fakeclient::SetSqlCode(335544569, -104);
    try {
        TIBStatement st(tr, "selec x");
        ADD_FAILURE() << "nothing raised";
    } catch (const EIBSqlError& e) {
        EXPECT_STREQ(e.what(), "Dynamic SQL Error\r\nToken unknown - line 1, column 8");
        EXPECT_EQ(e.SQLCode(), -104);
        EXPECT_EQ(e.Codes(), (std::vector<ISC_STATUS>{335544569, 335544634}));
    }
    const auto frees = fakeclient::CallsTo("isc_dsql_free_statement");
    ASSERT_EQ(frees.size(), 1u);
    EXPECT_EQ(frees[0].Number("option"), DSQL_drop);
    EXPECT_EQ(fakeclient::sql::OpenHandles(), (Names{"transaction 500"}));
}

TEST_F(Statements, FetchFailingHalfWayKeepsTheRowsReadAndFreesEverything)
{
    fakeclient::SetMessage(kBugCheck, "internal Firebird consistency check (@1)");
    {
        TIBTransaction tr = Start(TTransactionOptions::ReadDamagedSource());
        ScriptPrepare(kSelect, {Field{SQL_LONG + 1, 4, 0, 0, "ID"}});
        TIBStatement st(tr, "select id from t");
        fakeclient::sql::PushRow({LittleEndian(1, 4)});
        fakeclient::sql::PushRow({LittleEndian(2, 4)});
        fakeclient::Push("isc_dsql_fetch", {});
        fakeclient::Push("isc_dsql_fetch", {});
        fakeclient::Push("isc_dsql_fetch",
                         fakeclient::Failure(kBugCheck, {isc_arg_string, "decompression overran buffer (179)"}));
        std::vector<int32_t> ids;
        try {
            st.ForEachRow([&](const TSqlMessage& row) {
                ids.push_back(*row.GetInt32(0));
                return true;
            });
            ADD_FAILURE() << "nothing raised";
        } catch (const EIBSqlError& e) {
            EXPECT_STREQ(e.what(), "internal Firebird consistency check (decompression overran buffer (179))");
            EXPECT_FALSE(e.AttachmentUsable());
        }
        EXPECT_EQ(ids, (std::vector<int32_t>{1, 2}));
        EXPECT_EQ(*st.Columns().GetInt32(0), 2);
        EXPECT_TRUE(st.CursorOpen());
    }
    EXPECT_TRUE(fakeclient::sql::OpenHandles().empty());
    EXPECT_EQ(fakeclient::CallsTo("isc_rollback_transaction").size(), 1u);
}

TEST_F(Statements, LostConnectionDuringFetchForceClosesTheDatabase)
{
    TIBTransaction tr = Start(TTransactionOptions::ReadDamagedSource());
    ScriptPrepare(kSelect, {Field{SQL_LONG, 4}});
    TIBStatement st(tr, "select id from t");
    st.Execute();
    fakeclient::Push("isc_dsql_fetch", fakeclient::Failure(isc_lost_db_connection));
    try {
        st.Fetch();
        ADD_FAILURE() << "nothing raised";
    } catch (const EIBSqlError& e) {
        EXPECT_FALSE(e.AttachmentUsable());
    }
    EXPECT_FALSE(db.Connected());
    EXPECT_EQ(fakeclient::CallsTo("isc_detach_database").size(), 1u);
}

TEST_F(Statements, FetchWithoutCursorAndMovedStatementsAreMisuse)
{
    TIBTransaction tr = Start();
    ScriptPrepare(kSelect, {Field{SQL_LONG, 4}});
    TIBStatement st(tr, "select id from t");
    ExpectClientError([&] { st.Fetch(); }, ceNoCursor);
    TIBStatement other = std::move(st);
    ExpectClientError([&] { st.Execute(); }, ceStatementFreed);
    other.Execute();
    EXPECT_FALSE(other.Fetch());  // no row scripted: end of cursor
    EXPECT_EQ(fakeclient::CallsTo("isc_dsql_free_statement").size(), 0u);
}

TEST_F(Statements, ExecutingAgainClosesTheOpenCursorFirstAndFreeDropsOnce)
{
    {
        TIBTransaction tr = Start();
        ScriptPrepare(kSelect, {Field{SQL_LONG, 4}});
        TIBStatement st(tr, "select id from t");
        fakeclient::Reset();
        st.Execute();
        st.Execute();
        TIBStatement moved(std::move(st));
    }
    EXPECT_EQ(SqlCalls(), (Names{"isc_dsql_execute2", "isc_dsql_free_statement", "isc_dsql_execute2",
                                 "isc_dsql_free_statement", "isc_rollback_transaction"}));
    const auto frees = fakeclient::CallsTo("isc_dsql_free_statement");
    EXPECT_EQ(frees[0].Number("option"), DSQL_close);
    EXPECT_EQ(frees[1].Number("option"), DSQL_drop);
}

TEST_F(Statements, CloseCursorClosesOnceAndAFetchAfterItIsAMisuse)
{
    TIBTransaction tr = Start();
    ScriptPrepare(kSelect, {Field{SQL_LONG, 4}});
    TIBStatement st(tr, "select id from t");
    fakeclient::Reset();
    st.CloseCursor();  // no cursor yet: nothing to send
    st.Execute();
    st.CloseCursor();
    st.CloseCursor();
    EXPECT_EQ(SqlCalls(), (Names{"isc_dsql_execute2", "isc_dsql_free_statement"}));
    EXPECT_EQ(fakeclient::CallsTo("isc_dsql_free_statement").at(0).Number("option"), DSQL_close);
    ExpectClientError([&] { st.Fetch(); }, ceNoCursor);
}

TEST_F(Statements, FailedExecuteRaisesAndStatementAndTransactionAreStillFreed)
{
    {
        TIBTransaction tr = Start();
        ScriptPrepare(kInsert, {}, {Field{SQL_LONG + 1, 4}});
        TIBStatement st(tr, "insert into t values (?)");
        st.Params().SetInt64(0, 7);
        fakeclient::Push("isc_dsql_execute2", fakeclient::Failure(335544665));  // unique key violation
        EXPECT_THROW(st.Execute(), EIBSqlError);
        EXPECT_EQ(fakeclient::CallsTo("isc_dsql_execute2").at(0).Number("out"), -1);
    }
    EXPECT_TRUE(fakeclient::sql::OpenHandles().empty());
}

// ---- values: column bytes to C++ values ----

struct ReadCase {
    const char* name;
    Field field;
    std::optional<std::string> raw;
    std::function<void(const TSqlMessage&)> check;
};

class ColumnRead : public fbtest::SqlFixture, public testing::WithParamInterface<ReadCase> {};

TEST_P(ColumnRead, BytesOfTheFetchedRowReadAsTheValue)
{
    TIBTransaction tr = Start();
    ScriptPrepare(kSelect, {GetParam().field});
    TIBStatement st(tr, "select x from t");
    fakeclient::sql::PushRow({GetParam().raw});
    st.Execute();
    ASSERT_TRUE(st.Fetch());
    GetParam().check(st.Columns());
}

const Field kVarchar{SQL_VARYING + 1, 10, 0, charset::Iso8859_1, "NOTE"};

INSTANTIATE_TEST_SUITE_P(
    Types, ColumnRead,
    testing::Values(
        ReadCase{"smallint", Field{SQL_SHORT + 1, 2}, LittleEndian(-32768, 2),
                 [](const TSqlMessage& m) { EXPECT_EQ(m.GetInt16(0), int16_t{-32768}); EXPECT_EQ(m.GetInt64(0), -32768); }},
        ReadCase{"integer", Field{SQL_LONG + 1, 4}, LittleEndian(2147483647, 4),
                 [](const TSqlMessage& m) { EXPECT_EQ(m.GetInt32(0), 2147483647); }},
        ReadCase{"bigint", Field{SQL_INT64 + 1, 8}, LittleEndian(std::numeric_limits<int64_t>::min(), 8),
                 [](const TSqlMessage& m) { EXPECT_EQ(m.GetInt64(0), std::numeric_limits<int64_t>::min()); }},
        ReadCase{"numeric_in_short", Field{SQL_SHORT + 1, 2, -1}, LittleEndian(-15, 2),
                 [](const TSqlMessage& m) { EXPECT_EQ(m.GetScaled(0), (TScaledInt{-15, -1})); EXPECT_EQ(m.GetScaled(0)->ToString(), "-1.5"); }},
        ReadCase{"numeric_in_long", Field{SQL_LONG + 1, 4, -2}, LittleEndian(12345, 4),
                 [](const TSqlMessage& m) { EXPECT_EQ(m.GetScaled(0)->ToString(), "123.45"); }},
        ReadCase{"numeric_in_int64", Field{SQL_INT64 + 1, 8, -4}, LittleEndian(-1, 8),
                 [](const TSqlMessage& m) { EXPECT_EQ(m.GetScaled(0)->ToString(), "-0.0001"); }},
        ReadCase{"float", Field{SQL_FLOAT + 1, 4}, std::string("\x00\x00\xC0\x3F", 4),
                 [](const TSqlMessage& m) { EXPECT_EQ(m.GetFloat(0), 1.5f); EXPECT_EQ(m.GetDouble(0), 1.5); }},
        ReadCase{"double", Field{SQL_DOUBLE + 1, 8}, std::string("\x9A\x99\x99\x99\x99\x99\xB9\x3F", 8),
                 [](const TSqlMessage& m) { EXPECT_EQ(m.GetDouble(0), 0.1); }},
        ReadCase{"char_win1252_keeps_padding_and_bytes", Field{SQL_TEXT + 1, 5, 0, charset::Win1252}, std::string("\xE7\xE3o  ", 5),
                 [](const TSqlMessage& m) { EXPECT_EQ(m.GetText(0), std::string("\xE7\xE3o  ")); EXPECT_EQ(m.Field(0).CharacterSet(), 53); }},
        ReadCase{"varchar_latin1", kVarchar, Varying("a\xE9\xFF"),
                 [](const TSqlMessage& m) { EXPECT_EQ(m.GetText(0), std::string("a\xE9\xFF")); }},
        ReadCase{"varchar_length_past_its_room_is_cut_to_the_room", kVarchar, LittleEndian(500, 2) + "0123456789",
                 [](const TSqlMessage& m) { EXPECT_EQ(m.GetText(0), std::string("0123456789")); }},
        ReadCase{"date", Field{SQL_TYPE_DATE + 1, 4}, LittleEndian(0, 4),
                 [](const TSqlMessage& m) { EXPECT_EQ(m.GetDate(0), (TSqlDate{1858, 11, 17})); }},
        ReadCase{"date_2026", Field{SQL_TYPE_DATE + 1, 4}, LittleEndian(61384, 4),
                 [](const TSqlMessage& m) { EXPECT_EQ(m.GetDate(0), (TSqlDate{2026, 12, 10})); }},
        ReadCase{"time", Field{SQL_TYPE_TIME + 1, 4}, LittleEndian(863999999, 4),
                 [](const TSqlMessage& m) { EXPECT_EQ(m.GetTime(0), (TSqlTime{23, 59, 59, 9999})); }},
        ReadCase{"timestamp", Field{SQL_TIMESTAMP + 1, 8}, LittleEndian(15020, 4) + LittleEndian(45000000, 4),
                 [](const TSqlMessage& m) { EXPECT_EQ(m.GetTimestamp(0), (TSqlTimestamp{{1900, 1, 1}, {1, 15, 0, 0}})); }},
        ReadCase{"boolean", Field{SQL_BOOLEAN + 1, 1}, std::string("\x01", 1),
                 [](const TSqlMessage& m) { EXPECT_EQ(m.GetBoolean(0), true); }},
        ReadCase{"blob_id", Field{SQL_BLOB + 1, 8, 0, 1}, LittleEndian(0x12345678, 4) + LittleEndian(0x9ABC, 4),
                 [](const TSqlMessage& m) {
                     const auto id = m.GetBlobId(0);
                     ASSERT_TRUE(id);
                     EXPECT_EQ(id->gds_quad_high, 0x12345678);
                     EXPECT_EQ(id->gds_quad_low, 0x9ABCu);
                 }},
        ReadCase{"db_key", Field{SQL_TEXT, 8, 0, charset::Octets, "DB_KEY"}, Bytes({0x80, 0, 0, 0, 0xE2, 0x01, 0, 0}),
                 [](const TSqlMessage& m) {
                     EXPECT_EQ(m.GetDbKey(0)->RelationId(), 128);
                     EXPECT_EQ(m.GetDbKey(0)->RecordNumber(), 481u);
                 }},
        ReadCase{"null_integer", Field{SQL_LONG + 1, 4}, std::nullopt,
                 [](const TSqlMessage& m) { EXPECT_TRUE(m.IsNull(0)); EXPECT_EQ(m.GetInt32(0), std::nullopt); }},
        ReadCase{"null_text", kVarchar, std::nullopt,
                 [](const TSqlMessage& m) { EXPECT_EQ(m.GetText(0), std::nullopt); }}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- values: C++ values to parameter bytes ----

struct WriteCase {
    const char* name;
    Field field;
    std::function<void(TSqlMessage&)> set;
    std::string data;  // the bytes the client library receives
    int null;
};

class ParamWrite : public fbtest::SqlFixture, public testing::WithParamInterface<WriteCase> {};

TEST_P(ParamWrite, ValueBecomesTheseBytesInTheExecute)
{
    TIBTransaction tr = Start();
    ScriptPrepare(kInsert, {}, {GetParam().field});
    TIBStatement st(tr, "insert into t values (?)");
    GetParam().set(st.Params());
    st.Execute();
    const auto execute = fakeclient::CallsTo("isc_dsql_execute2").at(0);
    EXPECT_EQ(execute.Number("in_count"), 1);
    EXPECT_EQ(execute.Number("in[0].sqltype"), GetParam().field.sqltype | 1);
    EXPECT_EQ(execute.Number("in[0].sqllen"), GetParam().field.length);
    EXPECT_EQ(execute.Number("in[0].null"), GetParam().null);
    if (GetParam().null == 0) {
        EXPECT_EQ(execute.Bytes("in[0].data"), GetParam().data);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Types, ParamWrite,
    testing::Values(
        WriteCase{"smallint", Field{SQL_SHORT, 2}, [](TSqlMessage& m) { m.SetInt64(0, -2); }, LittleEndian(-2, 2), 0},
        WriteCase{"integer", Field{SQL_LONG, 4}, [](TSqlMessage& m) { m.SetInt64(0, 70000); }, LittleEndian(70000, 4), 0},
        WriteCase{"bigint", Field{SQL_INT64, 8}, [](TSqlMessage& m) { m.SetInt64(0, std::numeric_limits<int64_t>::max()); },
                  LittleEndian(std::numeric_limits<int64_t>::max(), 8), 0},
        WriteCase{"integer_into_numeric_scales_up", Field{SQL_LONG, 4, -2}, [](TSqlMessage& m) { m.SetInt64(0, 5); },
                  LittleEndian(500, 4), 0},
        WriteCase{"scaled_rescaled_exactly", Field{SQL_INT64, 8, -4}, [](TSqlMessage& m) { m.SetScaled(0, {-12345, -2}); },
                  LittleEndian(-1234500, 8), 0},
        WriteCase{"float", Field{SQL_FLOAT, 4}, [](TSqlMessage& m) { m.SetDouble(0, 1.5); }, std::string("\x00\x00\xC0\x3F", 4), 0},
        WriteCase{"double", Field{SQL_DOUBLE, 8}, [](TSqlMessage& m) { m.SetDouble(0, 0.1); },
                  std::string("\x9A\x99\x99\x99\x99\x99\xB9\x3F", 8), 0},
        WriteCase{"char_padded_with_blanks", Field{SQL_TEXT, 5, 0, charset::Win1252}, [](TSqlMessage& m) { m.SetText(0, "\xE7\xE3"); },
                  std::string("\xE7\xE3   "), 0},
        WriteCase{"varchar_length_first", Field{SQL_VARYING, 10, 0, charset::None}, [](TSqlMessage& m) { m.SetText(0, "a\x81z"); },
                  Varying("a\x81z") + std::string(7, '\0'), 0},
        WriteCase{"date", Field{SQL_TYPE_DATE, 4}, [](TSqlMessage& m) { m.SetDate(0, {2026, 12, 10}); }, LittleEndian(61384, 4), 0},
        WriteCase{"time", Field{SQL_TYPE_TIME, 4}, [](TSqlMessage& m) { m.SetTime(0, {23, 59, 59, 9999}); },
                  LittleEndian(863999999, 4), 0},
        WriteCase{"timestamp", Field{SQL_TIMESTAMP, 8}, [](TSqlMessage& m) { m.SetTimestamp(0, {{1900, 1, 1}, {1, 15, 0, 0}}); },
                  LittleEndian(15020, 4) + LittleEndian(45000000, 4), 0},
        WriteCase{"boolean", Field{SQL_BOOLEAN, 1}, [](TSqlMessage& m) { m.SetBoolean(0, false); }, std::string(1, '\0'), 0},
        WriteCase{"blob_id", Field{SQL_BLOB, 8, 0, 0}, [](TSqlMessage& m) { m.SetBlobId(0, ISC_QUAD{7, 9}); },
                  LittleEndian(7, 4) + LittleEndian(9, 4), 0},
        WriteCase{"db_key", Field{SQL_TEXT, 8, 0, charset::Octets}, [](TSqlMessage& m) { m.SetDbKey(0, TDbKey::For(129, 480)); },
                  Bytes({0x81, 0, 0, 0, 0xE1, 0x01, 0, 0}), 0},
        WriteCase{"null", Field{SQL_LONG, 4}, [](TSqlMessage& m) { m.SetInt64(0, 1); m.SetNull(0); }, {}, -1},
        WriteCase{"never_set_is_null", Field{SQL_VARYING, 4}, [](TSqlMessage&) {}, {}, -1}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- misuse: wrong type, wrong index, value that does not fit ----

struct MisuseCase {
    const char* name;
    Field field;
    std::function<void(TSqlMessage&)> action;
    TIBClientErrorKind kind;
};

class ValueMisuse : public fbtest::SqlFixture, public testing::WithParamInterface<MisuseCase> {};

TEST_P(ValueMisuse, IsAClientErrorAndChangesNothing)
{
    TIBTransaction tr = Start();
    ScriptPrepare(kInsert, {}, {GetParam().field});
    TIBStatement st(tr, "insert into t values (?)");
    const std::string before(st.Params().Buffer());
    ExpectClientError([&] { GetParam().action(st.Params()); }, GetParam().kind);
    EXPECT_EQ(std::string(st.Params().Buffer()), before);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ValueMisuse,
    testing::Values(
        MisuseCase{"integer_from_text", kVarchar, [](TSqlMessage& m) { (void)m.GetInt32(0); }, ceTypeMismatch},
        MisuseCase{"text_into_integer", Field{SQL_LONG, 4}, [](TSqlMessage& m) { m.SetText(0, "1"); }, ceTypeMismatch},
        MisuseCase{"plain_integer_from_numeric", Field{SQL_LONG, 4, -2}, [](TSqlMessage& m) { (void)m.GetInt64(0); }, ceTypeMismatch},
        MisuseCase{"double_into_numeric", Field{SQL_LONG, 4, -2}, [](TSqlMessage& m) { m.SetDouble(0, 1.5); }, ceTypeMismatch},
        MisuseCase{"index_past_the_end", Field{SQL_LONG, 4}, [](TSqlMessage& m) { m.SetNull(1); }, ceIndexOutOfRange},
        MisuseCase{"text_too_long", Field{SQL_VARYING, 3}, [](TSqlMessage& m) { m.SetText(0, "abcd"); }, ceValueOutOfRange},
        MisuseCase{"smallint_overflow", Field{SQL_SHORT, 2}, [](TSqlMessage& m) { m.SetInt64(0, 32768); }, ceValueOutOfRange},
        MisuseCase{"digits_lost", Field{SQL_LONG, 4, -1}, [](TSqlMessage& m) { m.SetScaled(0, {125, -2}); }, ceValueOutOfRange},
        MisuseCase{"scale_up_overflow", Field{SQL_INT64, 8, -4},
                   [](TSqlMessage& m) { m.SetInt64(0, std::numeric_limits<int64_t>::max() / 1000); }, ceValueOutOfRange},
        MisuseCase{"float_not_exact", Field{SQL_FLOAT, 4}, [](TSqlMessage& m) { m.SetDouble(0, 0.1); }, ceValueOutOfRange},
        MisuseCase{"db_key_of_wrong_length", Field{SQL_TEXT, 4, 0, charset::Octets}, [](TSqlMessage& m) { (void)m.GetDbKey(0); },
                   ceTypeMismatch}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SqlValues, ConversionsRoundTripAtTheirLimits)
{
    const TSqlDate dates[] = {{1, 1, 1}, {1858, 11, 17}, {1900, 2, 28}, {2000, 2, 29}, {9999, 12, 31}};
    for (const TSqlDate& date : dates)
        EXPECT_EQ(DecodeSqlDate(EncodeSqlDate(date)), date) << date.year << "-" << date.month << "-" << date.day;
    EXPECT_EQ(EncodeSqlDate({1858, 11, 18}), 1);
    EXPECT_EQ(EncodeSqlDate({1858, 11, 16}), -1);
    const TSqlTime times[] = {{0, 0, 0, 0}, {12, 34, 56, 7890}, {23, 59, 59, 9999}};
    for (const TSqlTime& time : times)
        EXPECT_EQ(DecodeSqlTime(EncodeSqlTime(time)), time);
    EXPECT_EQ((TScaledInt{std::numeric_limits<int64_t>::min(), -18}).ToString(), "-9.223372036854775808");
    EXPECT_EQ((TScaledInt{5, -3}).ToString(), "0.005");
    EXPECT_EQ((TScaledInt{0, -2}).ToString(), "0.00");
    for (uint32_t record : {0u, 1u, 479u, 480u, 0xFFFFFFFEu})
        EXPECT_EQ(TDbKey::For(300, record).RecordNumber(), record);
}

// ---- copying a row ----

using RowCopy = fbtest::SqlFixture;

const std::vector<Field> kRow = {Field{SQL_LONG + 1, 4, 0, 0, "ID"}, Field{SQL_VARYING + 1, 10, 0, 53, "NOTE"},
                                 Field{SQL_INT64 + 1, 8, -2, 1, "AMOUNT"}, Field{SQL_BLOB + 1, 8, 0, 1, "MEMO"}};

TEST_F(RowCopy, SameShapeCopiesTheBytesAndBlobIdsGoThroughTheMapper)
{
    TIBTransaction tr = Start();
    ScriptPrepare(kSelect, kRow);
    TIBStatement source(tr, "select id, note, amount, memo from t");
    std::vector<Field> twoRows = kRow;
    twoRows.insert(twoRows.end(), kRow.begin(), kRow.end());
    ScriptPrepare(kInsert, {}, twoRows);
    TIBStatement target(tr, "execute block (...) as begin ... end");
    fakeclient::sql::PushRow({LittleEndian(1, 4), Varying("\xE9t\xE9"), std::nullopt, LittleEndian(3, 4) + LittleEndian(4, 4)});
    fakeclient::sql::PushRow({LittleEndian(2, 4), std::nullopt, LittleEndian(-5, 8), std::nullopt});
    source.Execute();
    std::vector<ISC_QUAD> mapped;
    auto mapper = [&](std::size_t column, const ISC_QUAD& id) -> std::optional<ISC_QUAD> {
        EXPECT_EQ(column, 3u);
        mapped.push_back(id);
        return ISC_QUAD{70, 80};
    };
    for (std::size_t row = 0; source.Fetch(); ++row)
        target.Params().CopyFrom(source.Columns(), row * kRow.size(), mapper);
    ASSERT_EQ(mapped.size(), 1u);
    EXPECT_EQ(mapped[0].gds_quad_high, 3);
    const TSqlMessage& p = target.Params();
    EXPECT_EQ(p.GetInt32(0), 1);
    EXPECT_EQ(p.GetText(1), std::string("\xE9t\xE9"));
    EXPECT_TRUE(p.IsNull(2));
    EXPECT_EQ(p.GetBlobId(3)->gds_quad_low, 80u);
    EXPECT_EQ(p.GetInt32(4), 2);
    EXPECT_TRUE(p.IsNull(5));
    EXPECT_EQ(p.GetScaled(6), (TScaledInt{-5, -2}));
    EXPECT_TRUE(p.IsNull(7));
    target.Execute();
    const auto execute = fakeclient::CallsTo("isc_dsql_execute2").back();
    EXPECT_EQ(execute.Bytes("in[1].data"), Varying("\xE9t\xE9") + std::string(7, '\0'));
    EXPECT_EQ(execute.Number("in[5].null"), -1);
}

TEST_F(RowCopy, WholeBufferMovesWhenBothMessagesMatchAndOtherShapesAreRefused)
{
    TIBTransaction tr = Start();
    ScriptPrepare(kSelect, kRow);
    TIBStatement source(tr, "select id, note, amount, memo from t");
    ScriptPrepare(kInsert, {}, kRow);
    TIBStatement same(tr, "insert into t values (?, ?, ?, ?)");
    fakeclient::sql::PushRow({LittleEndian(9, 4), Varying("x"), LittleEndian(1, 8), LittleEndian(5, 4) + LittleEndian(6, 4)});
    source.Execute();
    ASSERT_TRUE(source.Fetch());
    same.Params().CopyFrom(source.Columns());
    EXPECT_EQ(same.Params().Buffer(), source.Columns().Buffer());

    std::vector<Field> otherCharset = kRow;
    otherCharset[1].subtype = charset::Utf8;
    ScriptPrepare(kInsert, {}, otherCharset);
    TIBStatement other(tr, "insert into u values (?, ?, ?, ?)");
    const std::string before(other.Params().Buffer());
    ExpectClientError([&] { other.Params().CopyFrom(source.Columns()); }, ceRowShapeMismatch);
    ExpectClientError([&] { same.Params().CopyFrom(source.Columns(), 1); }, ceRowShapeMismatch);
    EXPECT_EQ(std::string(other.Params().Buffer()), before);
}

// ---- blobs ----

using Blobs = fbtest::SqlFixture;

TEST_F(Blobs, ReadWholeTakesEverySegmentAndClosesTheBlob)
{
    TIBTransaction tr = Start();
    fakeclient::Reset();  // only the blob's own calls below
    const std::string big(70000, 'b');
    fakeclient::Push("isc_blob_info", fakeclient::Output(fakeclient::sql::BlobInfoReply(70003, 2, 70000)));
    fakeclient::sql::PushSegment("abc");
    fakeclient::sql::PushSegment(big);
    const TBlobContents blob = ReadBlob(tr, ISC_QUAD{1, 2}, 1 << 20);
    EXPECT_EQ(blob.bytes, "abc" + big);
    EXPECT_EQ(blob.info.totalLength, 70003);
    EXPECT_EQ(blob.info.segments, 2);
    EXPECT_EQ(blob.segmentsRead, 2u);
    EXPECT_FALSE(blob.LengthMismatch());
    EXPECT_EQ(SqlCalls(), (Names{"isc_open_blob2", "isc_blob_info", "isc_get_segment", "isc_get_segment",
                                 "isc_get_segment", "isc_get_segment", "isc_close_blob"}));
    const auto open = fakeclient::CallsTo("isc_open_blob2").at(0);
    EXPECT_EQ(open.Bytes("id"), LittleEndian(1, 4) + LittleEndian(2, 4));
    EXPECT_EQ(open.Number("database"), 100);
    EXPECT_EQ(fakeclient::CallsTo("isc_blob_info").at(0).Bytes("items"),
              Bytes({isc_info_blob_total_length, isc_info_blob_num_segments, isc_info_blob_max_segment}));
    EXPECT_EQ(fakeclient::CallsTo("isc_get_segment").at(0).Number("buffer_length"), 65535);
    EXPECT_EQ(fakeclient::sql::OpenHandles(), (Names{"transaction 500"}));
}

TEST_F(Blobs, EndingBeforeItsStatedLengthIsTold)
{
    TIBTransaction tr = Start();
    fakeclient::Push("isc_blob_info", fakeclient::Output(fakeclient::sql::BlobInfoReply(12220, 49, 250)));
    fakeclient::sql::PushSegment(std::string(8192, 'g'));
    const TBlobContents blob = ReadBlob(tr, ISC_QUAD{1, 2}, 1 << 20);
    EXPECT_TRUE(blob.LengthMismatch());
    EXPECT_EQ(blob.bytes.size(), 8192u);
}

TEST_F(Blobs, OverTheLimitRaisesItsOwnErrorAndClosesTheBlob)
{
    TIBTransaction tr = Start();
    fakeclient::Push("isc_blob_info", fakeclient::Output(fakeclient::sql::BlobInfoReply(101, 1, 101)));
    EXPECT_THROW(ReadBlob(tr, ISC_QUAD{1, 2}, 100), EIBBlobLimitError);
    // An info that understates the length: the delivered bytes are counted too.
    fakeclient::Push("isc_blob_info", fakeclient::Output(fakeclient::sql::BlobInfoReply(10, 1, 10)));
    fakeclient::sql::PushSegment(std::string(101, 'x'));
    EXPECT_THROW(ReadBlob(tr, ISC_QUAD{1, 2}, 100), EIBBlobLimitError);
    EXPECT_EQ(fakeclient::CallsTo("isc_close_blob").size(), 2u);
    EXPECT_THROW(WriteBlob(tr, std::string(101, 'x'), 100), EIBBlobLimitError);
    EXPECT_TRUE(fakeclient::CallsTo("isc_create_blob2").empty());
    EXPECT_EQ(fakeclient::sql::OpenHandles(), (Names{"transaction 500"}));
}

TEST_F(Blobs, FailedReadRaisesABlobErrorAndTheStatementFetchesOn)
{
    TIBTransaction tr = Start(TTransactionOptions::ReadDamagedSource());
    ScriptPrepare(kSelect, {Field{SQL_LONG, 4}, Field{SQL_BLOB + 1, 8, 0, 0}});
    TIBStatement st(tr, "select id, memo from t");
    fakeclient::sql::PushRow({LittleEndian(1, 4), LittleEndian(1, 4) + LittleEndian(1, 4)});
    fakeclient::sql::PushRow({LittleEndian(2, 4), std::nullopt});
    st.Execute();
    ASSERT_TRUE(st.Fetch());
    fakeclient::SetMessage(335544335, "database file appears corrupt (@1)");
    fakeclient::Push("isc_get_segment", fakeclient::Failure(335544335, {isc_arg_string, "/data/x.fdb"}));
    try {
        ReadBlob(tr, *st.Columns().GetBlobId(1), 1 << 20);
        ADD_FAILURE() << "nothing raised";
    } catch (const EIBBlobError& e) {
        EXPECT_STREQ(e.what(), "database file appears corrupt (/data/x.fdb)");
        EXPECT_TRUE(e.AttachmentUsable());
    }
    EXPECT_EQ(fakeclient::CallsTo("isc_close_blob").size(), 1u);
    ASSERT_TRUE(st.Fetch());
    EXPECT_EQ(st.Columns().GetInt32(0), 2);
    EXPECT_FALSE(st.Fetch());
}

TEST_F(Blobs, WriteWholeCreatesPutsSegmentsAndClosesAndAFailedPutCancels)
{
    TIBTransaction tr = Start();
    fakeclient::Reset();
    const std::string bytes(65535 + 10, 'w');
    const ISC_QUAD id = WriteBlob(tr, bytes, 1 << 20);
    EXPECT_EQ(id.gds_quad_high, 0x7F);
    EXPECT_EQ(SqlCalls(), (Names{"isc_create_blob2", "isc_put_segment", "isc_put_segment", "isc_close_blob"}));
    const auto puts = fakeclient::CallsTo("isc_put_segment");
    EXPECT_EQ(puts[0].Number("length"), 65535);
    EXPECT_EQ(puts[1].Bytes("bytes"), std::string(10, 'w'));

    fakeclient::Reset();
    fakeclient::Push("isc_put_segment", fakeclient::Failure(kIoError));
    EXPECT_THROW(WriteBlob(tr, "abc", 100), EIBBlobError);
    EXPECT_EQ(SqlCalls(), (Names{"isc_create_blob2", "isc_put_segment", "isc_cancel_blob"}));
    EXPECT_EQ(fakeclient::sql::OpenHandles(), (Names{"transaction 500"}));
}

// ---- which failures leave the attachment usable ----

struct UsableCase {
    const char* name;
    std::vector<ISC_STATUS> codes;
    bool usable;
};

class FailureClass : public testing::TestWithParam<UsableCase> {};

TEST_P(FailureClass, TellsWhetherTheAttachmentGoesOnWorking)
{
    EXPECT_EQ(AttachmentUsableAfter(GetParam().codes), GetParam().usable);
}

INSTANTIATE_TEST_SUITE_P(
    Codes, FailureClass,
    testing::Values(UsableCase{"consistency_check", {isc_bug_check}, false},
                    UsableCase{"lost_connection", {isc_lost_db_connection}, false},
                    UsableCase{"network_read", {isc_network_error, isc_net_read_err}, false},
                    UsableCase{"shutdown", {isc_shutdown}, false},
                    UsableCase{"io_error", {isc_io_error, 335544737}, true},
                    UsableCase{"wrong_page_type", {isc_db_corrupt, isc_badpagtyp}, true},
                    UsableCase{"sql_error", {335544569, 335544634}, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(StatusCodesOf, AVectorListsItsErrorCodesInOrderPassingOverArguments)
{
    const char* text = "x";
    const ISC_STATUS status[ISC_STATUS_LENGTH] = {isc_arg_gds, isc_db_corrupt, isc_arg_string, reinterpret_cast<ISC_STATUS>(text),
                                                  isc_arg_cstring, 1, reinterpret_cast<ISC_STATUS>(text), isc_arg_gds,
                                                  isc_badpagtyp, isc_arg_number, 5, isc_arg_end};
    EXPECT_EQ(StatusCodes(status), (std::vector<ISC_STATUS>{isc_db_corrupt, isc_badpagtyp}));
}

}  // namespace

// ---- batches of inserts ----

namespace {

TEST(InsertBatchText, OneInsertPerRowWithParametersTypedAfterTheTargetColumns)
{
    EXPECT_EQ(InsertBatchSql("T", {"ID", "NO\"TE"}, 1), "insert into \"T\" (\"ID\", \"NO\"\"TE\") values (?, ?)");
    EXPECT_EQ(InsertBatchSql("T", {"ID", "N"}, 2),
              "execute block (P0_0 type of column \"T\".\"ID\" = ?, P0_1 type of column \"T\".\"N\" = ?, "
              "P1_0 type of column \"T\".\"ID\" = ?, P1_1 type of column \"T\".\"N\" = ?) as begin "
              "insert into \"T\" (\"ID\", \"N\") values (:P0_0, :P0_1); "
              "insert into \"T\" (\"ID\", \"N\") values (:P1_0, :P1_1); end");
}

using InsertBatches = fbtest::SqlFixture;

TEST_F(InsertBatches, FullBatchesGoAsTheyFillAndTheRestInAShorterOne)
{
    TIBTransaction tr = Start();
    const Field id{SQL_LONG + 1, 4, 0, 0, "ID"};
    ScriptPrepare(kSelect, {id});
    TIBStatement source(tr, "select id from s");
    ScriptPrepare(isc_info_sql_stmt_exec_procedure, {}, {id, id, id});
    TInsertBatch batch(tr, "T", {"ID"}, 3);
    for (int i = 1; i <= 4; ++i)
        fakeclient::sql::PushRow({LittleEndian(i, 4)});
    source.Execute();
    ScriptPrepare(isc_info_sql_stmt_insert, {}, {id});
    while (source.Fetch())
        batch.Add(source.Columns());
    EXPECT_EQ(batch.RowsWritten(), 3u);
    EXPECT_EQ(batch.Pending(), 1u);
    batch.Flush();
    EXPECT_EQ(batch.RowsWritten(), 4u);
    EXPECT_EQ(batch.RoundTrips(), 2u);
    const auto executes = fakeclient::CallsTo("isc_dsql_execute2");
    ASSERT_EQ(executes.size(), 3u);  // the select, then two batches
    EXPECT_EQ(executes[1].Bytes("in[0].data") + executes[1].Bytes("in[2].data"), LittleEndian(1, 4) + LittleEndian(3, 4));
    EXPECT_EQ(executes[2].Number("in_count"), 1);
    EXPECT_EQ(executes[2].Bytes("in[0].data"), LittleEndian(4, 4));
    EXPECT_EQ(fakeclient::CallsTo("isc_dsql_prepare").back().Bytes("sql"),
              "insert into \"T\" (\"ID\") values (?)");
}

TEST_F(InsertBatches, ARefusedBatchGoesAgainRowByRowAndOnlyTheRefusedRowIsHandedBack)
{
    TIBTransaction tr = Start();
    const Field id{SQL_LONG + 1, 4, 0, 0, "ID"};
    const Field key{SQL_TEXT + 1, 8, 0, 0, "DB_KEY"};
    ScriptPrepare(kSelect, {id, key});  // a select list that goes on past the inserted columns
    TIBStatement source(tr, "select id, rdb$db_key from s");
    ScriptPrepare(isc_info_sql_stmt_exec_procedure, {}, {id, id, id});
    TInsertBatch batch(tr, "T", {"ID"}, 3);
    std::vector<std::pair<std::size_t, std::string>> refused;
    std::vector<std::size_t> retried;
    batch.RetryRefusedRows(
        [&](std::size_t row, const TSqlMessage& values, std::size_t first, const EIBSqlError&) {
            refused.emplace_back(row, std::string(values.RawValue(first)));
        },
        [&](std::size_t row, TSqlMessage&, std::size_t) { retried.push_back(row); });
    for (int i = 1; i <= 3; ++i)
        fakeclient::sql::PushRow({LittleEndian(i, 4), std::string(8, static_cast<char>(i))});
    source.Execute();
    ScriptPrepare(isc_info_sql_stmt_insert, {}, {id});
    fakeclient::Push("isc_dsql_execute2", fakeclient::Failure(335544665));  // the batch
    fakeclient::Push("isc_dsql_execute2", fakeclient::Reply{});  // row 0 alone
    fakeclient::Push("isc_dsql_execute2", fakeclient::Failure(335544665));  // row 1 alone
    while (source.Fetch())
        batch.Add(source.Columns());
    EXPECT_EQ(refused, (std::vector<std::pair<std::size_t, std::string>>{{1, LittleEndian(2, 4)}}));
    EXPECT_EQ(retried, (std::vector<std::size_t>{0, 1, 2}));
    EXPECT_EQ(batch.RowsWritten(), 2u);
    const auto executes = fakeclient::CallsTo("isc_dsql_execute2");
    ASSERT_EQ(executes.size(), 5u);  // the select, the refused batch, three rows alone
    for (int row = 0; row < 3; ++row) {
        EXPECT_EQ(executes[2 + row].Number("in_count"), 1);
        EXPECT_EQ(executes[2 + row].Bytes("in[0].data"), LittleEndian(row + 1, 4));
    }
}

}  // namespace
