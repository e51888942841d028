// The client calls TIBDatabase makes, in order, and its state after each kind of failure.
#include "FakeClient.h"
#include "FakeDatabase.h"
#include "IBDatabase.h"
#include "IBErrors.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>

namespace {

using fakeclient::Bytes;
using Names = std::vector<std::string>;

// The action raises EIBClientError of the kind, with the kind's text.
void ExpectClientError(const std::function<void()>& action, TIBClientErrorKind kind, const char* text)
{
    try {
        action();
        ADD_FAILURE() << "nothing raised; expected: " << text;
    } catch (const EIBClientError& e) {
        EXPECT_EQ(e.SQLCode(), kind);
        EXPECT_STREQ(e.what(), text);
    }
}

// The server's error raised by the action: its text, primary code and, when given, SQL code.
void ExpectServerError(const std::function<void()>& action, ISC_STATUS code, const char* text,
                       std::optional<long> sqlCode = std::nullopt)
{
    try {
        action();
        ADD_FAILURE() << "nothing raised; expected: " << text;
    } catch (const EIBInterBaseError& e) {
        EXPECT_EQ(e.IBErrorCode(), code);
        EXPECT_STREQ(e.what(), text);
        if (sqlCode) {
            EXPECT_EQ(e.SQLCode(), *sqlCode);
        }
    }
}

constexpr ISC_STATUS kLogin = 335544472;        // isc_login
constexpr ISC_STATUS kIoError = 335544344;      // isc_io_error
constexpr ISC_STATUS kBadHandle = 335544324;    // isc_bad_db_handle

// The calls that matter for a sequence; the message calls of a raised error are left out.
Names ClientCalls()
{
    return fakeclient::CallNames({"isc_interprete", "isc_sqlcode"});
}

class DatabaseSequence : public testing::Test {
protected:
    void SetUp() override
    {
        fakeclient::Reset();
        fakeclient::SetMessage(kLogin, "Your user name and password are not defined. Ask your database "
                                       "administrator to set up a Firebird login.");
        fakeclient::SetSqlCode(kLogin, -902);
    }
    TIBDatabase db;
};

TEST_F(DatabaseSequence, ConsoleTestMakesExactlyTheseCalls)
{
    fbtest::Configure(db, "SYSDBA", "masterkey");
    fakeclient::Push("isc_attach_database", fakeclient::Handle(4711));
    fakeclient::Push("isc_database_info", fakeclient::Output(fbtest::DialectReply(3)));
    fakeclient::Push("isc_database_info", fakeclient::Output(Bytes({13, 2, 0, 1, 12, 1})));

    db.SetConnected(true);
    EXPECT_EQ(db.DBSQLDialect(), 3);
    db.Open();
    EXPECT_TRUE(db.TestConnected());
    db.Close();
    EXPECT_EQ(db.DBSQLDialect(), 1);
    db.SetConnected(false);

    EXPECT_EQ(ClientCalls(), (Names{"isc_attach_database", "isc_database_info", "isc_vax_integer", "isc_vax_integer",
                                    "isc_database_info", "isc_detach_database"}));
    const auto calls = fakeclient::Calls();
    const auto status = reinterpret_cast<intptr_t>(ThreadStatusVector());

    const auto& attach = calls[0];
    EXPECT_EQ(attach.Number("status"), status);
    EXPECT_EQ(attach.Bytes("name"), "localhost:/data/base.fdb");
    EXPECT_EQ(attach.Number("name_length"), 24);
    EXPECT_EQ(attach.Number("handle"), 0);
    EXPECT_EQ(attach.Bytes("dpb"), Bytes({1, 0x1C, 6, 'S', 'Y', 'S', 'D', 'B', 'A', 0x1D, 9}) + "masterkey");
    EXPECT_EQ(attach.Number("dpb_length"), 5 + 6 + 9);

    const auto& dialect = calls[1];
    EXPECT_EQ(dialect.Number("status"), status);
    EXPECT_EQ(dialect.Number("handle"), 4711);
    EXPECT_EQ(dialect.Bytes("items"), Bytes({62}));
    EXPECT_EQ(dialect.Number("item_length"), 1);
    EXPECT_EQ(dialect.Number("buffer_length"), 512);

    EXPECT_EQ(calls[2].Bytes("bytes"), Bytes({1, 0}));
    EXPECT_EQ(calls[3].Bytes("bytes"), Bytes({3}));

    const auto& baseLevel = calls[4];
    EXPECT_EQ(baseLevel.Number("handle"), 4711);
    EXPECT_EQ(baseLevel.Bytes("items"), Bytes({13}));
    EXPECT_EQ(baseLevel.Number("buffer_length"), 512);

    EXPECT_EQ(calls[5].Number("handle"), 4711);
    EXPECT_EQ(calls[5].Number("status"), status);
}

TEST_F(DatabaseSequence, FailedAttachCallsOnlyTheAttachAndStaysDetached)
{
    fbtest::Configure(db, "SYSDBA", "wrong");
    fakeclient::Push("isc_attach_database", fakeclient::Failure(kLogin));
    ExpectServerError([&] { db.SetConnected(true); }, kLogin,
                      "Your user name and password are not defined. Ask your database administrator to "
                      "set up a Firebird login",
                      -902);
    EXPECT_FALSE(db.Connected());
    // The console's test goes on with these; none of them reaches the client.
    EXPECT_FALSE(db.TestConnected());
    EXPECT_NO_THROW(db.Close());
    EXPECT_NO_THROW(db.SetConnected(false));
    EXPECT_EQ(ClientCalls(), (Names{"isc_attach_database"}));
}

TEST_F(DatabaseSequence, SqlCode551OnAttachRaisesTheRoleError)
{
    fbtest::Configure(db);
    fakeclient::SetSqlCode(kIoError, -551);
    fakeclient::Push("isc_attach_database", fakeclient::Failure(kIoError));
    EXPECT_THROW(db.Open(), EIBInterBaseRoleError);
    EXPECT_FALSE(db.Connected());
}

TEST_F(DatabaseSequence, NoClientCallWhenNothingChanges)
{
    fbtest::Configure(db);
    db.Close();
    db.SetConnected(false);
    EXPECT_FALSE(db.TestConnected());
    fbtest::ScriptAttach();
    db.SetConnected(true);
    fakeclient::Reset();
    db.Open();
    db.SetConnected(true);
    EXPECT_TRUE(fakeclient::Calls().empty());
    EXPECT_TRUE(db.Connected());
}

TEST_F(DatabaseSequence, EmptyDatabaseNameIsRefusedBeforeAnyCall)
{
    db.SetLoginPrompt(false);
    ExpectClientError([&] { db.Open(); }, ceDatabaseNameMissing, "Database name is missing");
    EXPECT_TRUE(fakeclient::Calls().empty());
}

TEST_F(DatabaseSequence, LoginPromptWithoutALoginStepCancels)
{
    fbtest::Configure(db);
    db.SetLoginPrompt(true);
    ExpectClientError([&] { db.Open(); }, ceOperationCancelled, "Operation cancelled at user's request");
    EXPECT_TRUE(fakeclient::Calls().empty());
    EXPECT_FALSE(db.Connected());
}

TEST_F(DatabaseSequence, ChangesWhileAttachedAreRefused)
{
    fbtest::Configure(db);
    fbtest::ScriptAttach();
    db.Open();
    const auto before = db.Params().Lines();

    db.SetDatabaseName("localhost:/data/base.fdb");  // the same text passes
    for (auto change : std::initializer_list<std::function<void()>>{
             [&] { db.SetDatabaseName("localhost:/other.fdb"); },
             [&] { db.Params().SetValue("user_name", "SYSDBA"); },  // same text, still a change
             [&] { db.Params().SetValue("password", ""); },
             [&] { db.SetParams(TParamList{"user_name=x"}); }}) {
        ExpectClientError(change, ceDatabaseOpen, "Cannot perform operation -- DB is currently open");
    }
    EXPECT_EQ(db.DatabaseName(), "localhost:/data/base.fdb");
    EXPECT_EQ(db.Params().Lines(), before);
    EXPECT_TRUE(db.Connected());
}

TEST_F(DatabaseSequence, CheckActiveOnADetachedConnection)
{
    ExpectClientError([&] { db.CheckActive(); }, ceDatabaseClosed, "Cannot perform operation -- DB is not open");
}

class LostConnection : public DatabaseSequence, public testing::WithParamInterface<ISC_STATUS> {};

// Whatever the base-level query meets, TestConnected answers false, detaches, raises nothing.
TEST_P(LostConnection, TestConnectedAnswersFalseAndDetaches)
{
    fbtest::Configure(db);
    fbtest::ScriptAttach();
    db.Open();
    fakeclient::Reset();
    fakeclient::Push("isc_database_info", fakeclient::Failure(GetParam()));
    fakeclient::Push("isc_detach_database", fakeclient::Failure(GetParam()));

    bool answer = true;
    EXPECT_NO_THROW(answer = db.TestConnected());
    EXPECT_FALSE(answer);
    EXPECT_FALSE(db.Connected());
    EXPECT_EQ(ClientCalls(), (Names{"isc_database_info", "isc_detach_database"}));
    EXPECT_EQ(db.DBSQLDialect(), 3) << "a forced close keeps the dialect";
    EXPECT_NO_THROW(db.Close());
}

INSTANTIATE_TEST_SUITE_P(Codes, LostConnection,
                         testing::Values(isc_lost_db_connection, isc_net_read_err, isc_net_write_err, kBadHandle));

TEST_F(DatabaseSequence, FailedDetachDetachesAgainAndRaisesTheFirstError)
{
    fbtest::Configure(db);
    fakeclient::Push("isc_attach_database", fakeclient::Handle(99));
    fakeclient::Push("isc_database_info", fakeclient::Output(fbtest::DialectReply(3)));
    db.Open();
    fakeclient::SetMessage(kIoError, "first detach failed");
    fakeclient::SetMessage(kBadHandle, "second detach failed");
    fakeclient::Push("isc_detach_database", fakeclient::Failure(kIoError));
    fakeclient::Push("isc_detach_database", fakeclient::Failure(kBadHandle));
    ExpectServerError([&] { db.Close(); }, kIoError, "first detach failed");
    EXPECT_FALSE(db.Connected());
    const auto detaches = fakeclient::CallsTo("isc_detach_database");
    ASSERT_EQ(detaches.size(), 2u);
    EXPECT_EQ(detaches[0].Number("handle"), 99);
    EXPECT_EQ(detaches[1].Number("handle"), 99);
}

TEST_F(DatabaseSequence, LostConnectionDuringTheDialectQueryForceCloses)
{
    fbtest::Configure(db);
    fakeclient::SetMessage(isc_lost_db_connection, "connection lost to database");
    fakeclient::Push("isc_attach_database", {});
    fakeclient::Push("isc_database_info", fakeclient::Failure(isc_lost_db_connection));
    ExpectServerError([&] { db.Open(); }, isc_lost_db_connection, "connection lost to database");
    EXPECT_FALSE(db.Connected());
    EXPECT_EQ(ClientCalls(), (Names{"isc_attach_database", "isc_database_info", "isc_detach_database"}));
}

TEST_F(DatabaseSequence, OtherDialectQueryFailureLeavesTheAttachmentOpen)
{
    fbtest::Configure(db);
    fakeclient::Push("isc_attach_database", {});
    fakeclient::Push("isc_database_info", fakeclient::Failure(kIoError));
    EXPECT_THROW(db.Open(), EIBInterBaseError);
    EXPECT_TRUE(db.Connected());
    db.Close();
    EXPECT_FALSE(db.Connected());
    EXPECT_EQ(ClientCalls(), (Names{"isc_attach_database", "isc_database_info", "isc_detach_database"}));
}

TEST_F(DatabaseSequence, AReplyWithoutTheDialectMeansDialect1AndDowngrades)
{
    fbtest::Configure(db);
    int warnings = 0;
    db.OnDialectDowngradeWarning = [&](TIBDatabase&) { ++warnings; };
    fakeclient::Push("isc_attach_database", {});
    fakeclient::Push("isc_database_info", fakeclient::Output(Bytes({1})));
    db.Open();
    EXPECT_EQ(db.DBSQLDialect(), 1);
    EXPECT_EQ(db.SQLDialect(), 1);
    EXPECT_EQ(warnings, 1);
    EXPECT_EQ(ClientCalls(), (Names{"isc_attach_database", "isc_database_info"}));
}

TEST_F(DatabaseSequence, EventsSurroundTheSequences)
{
    fbtest::Configure(db);
    std::vector<std::string> events;
    db.BeforeConnect = [&](TIBDatabase& d) { events.push_back(d.Connected() ? "before+" : "before-"); };
    db.AfterConnect = [&](TIBDatabase& d) { events.push_back(d.Connected() ? "after+" : "after-"); };
    db.BeforeDisconnect = [&](TIBDatabase& d) { events.push_back(d.Connected() ? "bdis+" : "bdis-"); };
    db.AfterDisconnect = [&](TIBDatabase& d) { events.push_back(d.Connected() ? "adis+" : "adis-"); };
    fbtest::ScriptAttach();
    db.Open();
    db.Close();
    EXPECT_EQ(events, (std::vector<std::string>{"before-", "after+", "bdis+", "adis-"}));
}

TEST_F(DatabaseSequence, CallRaisesOnlyForAPositiveResult)
{
    fbtest::Configure(db);
    fbtest::ScriptAttach();
    db.Open();
    ISC_STATUS* status = ThreadStatusVector();
    status[0] = isc_arg_gds;
    status[1] = kIoError;
    status[2] = isc_arg_end;
    EXPECT_EQ(db.Call(-3, true), -3);
    EXPECT_EQ(db.Call(kIoError, false), kIoError);
    EXPECT_THROW(db.Call(kIoError, true), EIBInterBaseError);
    EXPECT_TRUE(db.Connected());
}

TEST(DatabaseDestruction, DetachesAnOpenAttachment)
{
    fakeclient::Reset();
    {
        TIBDatabase db;
        fbtest::Configure(db);
        fbtest::ScriptAttach();
        db.Open();
        fakeclient::Reset();
    }
    EXPECT_EQ(fakeclient::CallNames(), (Names{"isc_detach_database"}));
}

TEST(DatabaseDestruction, DropsAFailingDetach)
{
    fakeclient::Reset();
    {
        TIBDatabase db;
        fbtest::Configure(db);
        fbtest::ScriptAttach();
        db.Open();
        fakeclient::Reset();
        fakeclient::Push("isc_detach_database", fakeclient::Failure(kIoError));
        fakeclient::Push("isc_detach_database", fakeclient::Failure(kIoError));
    }
    EXPECT_EQ(fakeclient::CallNames({"isc_interprete", "isc_sqlcode"}),
              (Names{"isc_detach_database", "isc_detach_database"}));
}

TEST(DatabaseIndexOfDBConst, FindsTheNameAtTheStartOrAfterThePrefix)
{
    TIBDatabase db;
    db.Params().Assign({"lc_ctype=UTF8", "ISC_DPB_PASSWORD=x", "xuser_name=y", "user_name=z"});
    EXPECT_EQ(db.IndexOfDBConst("password"), 1);
    EXPECT_EQ(db.IndexOfDBConst("user_name"), 3);
    EXPECT_EQ(db.IndexOfDBConst("sql_role_name"), -1);
}

}  // namespace
