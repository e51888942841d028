// "&Teste conexão": attach, test, detach, and what the log and the boxes show in each case.

#include "JobsFixture.h"

namespace tovanel::testing {
namespace {

using fakeclient::Failure;
using fakeclient::Push;

class ConnectionTestJob : public JobsTest {};

// What happens to the database connection in one row of the table, scripted on the fake.
struct ConnectionCase {
    const char* why;
    std::function<void()> script;
    std::vector<std::string> log;  // after the command; a failure's box is followed by the server's lines
    std::string box;               // text of the "Erro!" box, or empty for none
};

TEST_F(ConnectionTestJob, LogsTheResultOrAnEmptyLineThenShowsTheFailureWithTheWindowRestored) {
    const ConnectionCase cases[] = {
        {"attach and test succeed", [] {}, {kChecking, kConnected}, ""},
        {"attach succeeds, the test request fails",
         [] {
             Push("isc_database_info", fakeclient::Output(""));  // the dialect query answers
             Push("isc_database_info", Failure(isc_net_read_err));
         },
         {kChecking, kNotConnected}, ""},
        {"server not reachable", [] { Push("isc_attach_database", Failure(kNetworkError, {isc_arg_string, "localhost"})); },
         {kChecking, "", "Unable to complete network request to host \"localhost\""}, kServerOff},
        {"wrong path", [] { Push("isc_attach_database", Failure(kIoError, {isc_arg_string, "open", isc_arg_string, "/x"})); },
         {kChecking, "", "I/O error during \"open\" operation for file \"/x\""}, kBadFile},
        {"wrong credentials", [] { Push("isc_attach_database", Failure(kLoginError)); },
         {kChecking, "", "Your user name and password are not defined. Ask your database administrator to set up a "
                         "Firebird login"},
         kBadLogin},
        {"another failure shows the server's text", [] { Push("isc_attach_database", Failure(kOtherError, {isc_arg_string, "x"})); },
         {kChecking, "", "file x is not a valid database"}, "file x is not a valid database"},
    };
    for (const ConnectionCase& c : cases) {
        SCOPED_TRACE(c.why);
        Fresh();
        c.script();

        Run(&TFrmPrincipal::ActnTestaConexaoExecute);

        EXPECT_EQ(port.log, c.log);
        ExpectIdle();
        if (c.box.empty()) {
            EXPECT_TRUE(port.messageBoxes.empty());
            continue;
        }
        ASSERT_EQ(port.messageBoxes.size(), 1u);
        const MessageBoxCall& box = port.messageBoxes[0];
        EXPECT_EQ(box.text, c.box);
        EXPECT_EQ(box.title, "Erro!");
        EXPECT_EQ(box.kind, MessageKind::Error);
        EXPECT_TRUE(box.inputGroupEnabled && box.mainMenuEnabled && !box.busyCursor)
            << "the window is restored before any error box";
        EXPECT_EQ(box.logLines, 2u);
    }
}

TEST_F(ConnectionTestJob, AFailureWhileLoggingTheResultStillRestoresTheWindow) {
    port.onAppendLog = [](const std::string& line) {
        if (line == kConnected) throw std::runtime_error("log unavailable");
    };

    Run(&TFrmPrincipal::ActnTestaConexaoExecute);

    ExpectIdle();
    ASSERT_EQ(port.messageBoxes.size(), 1u);
    EXPECT_EQ(port.messageBoxes[0].text, "log unavailable");
}

TEST_F(ConnectionTestJob, WindowStepsComeInOrderAndTheCleanUpRunsBeforeTheBox) {
    Push("isc_attach_database", Failure(kLoginError));
    Run(&TFrmPrincipal::ActnTestaConexaoExecute);
    const std::vector<std::string> expected = {
        "SetMainMenuEnabled(false)",
        "SetInputGroupEnabled(false)",
        "SetBusyCursor(true)",
        "ClearLog()",
        "AppendLog(" + kChecking + ")",
        "AppendLog()",
        // The window comes back as after every job: inputs, menu, cursor.
        "SetInputGroupEnabled(true)",
        "SetMainMenuEnabled(true)",
        "SetBusyCursor(false)",
        "SetBusyCursor(false)",
        "MessageBox(Erro!, 16, " + kBadLogin + ")",
        "AppendLog(Your user name and password are not defined. Ask your database administrator to set up a "
        "Firebird login)",
    };
    EXPECT_EQ(port.calls, expected);
}

TEST_F(ConnectionTestJob, AttachesTestsAndDetachesWithTheClientCallsOfOneTest) {
    Run(&TFrmPrincipal::ActnTestaConexaoExecute);
    EXPECT_EQ(ClientCalls(), (std::vector<std::string>{"isc_attach_database", "isc_database_info",
                                                       "isc_database_info", "isc_detach_database"}));
    const auto info = fakeclient::CallsTo("isc_database_info");
    EXPECT_EQ(info[1].Bytes("items"), fakeclient::Bytes({isc_info_base_level}));
}

TEST_F(ConnectionTestJob, AFailedAttachMakesNoFurtherClientCall) {
    Push("isc_attach_database", Failure(kLoginError));
    Run(&TFrmPrincipal::ActnTestaConexaoExecute);
    EXPECT_EQ(ClientCalls(), std::vector<std::string>{"isc_attach_database"});
}

TEST_F(ConnectionTestJob, SendsThePathExactlyAsTypedAfterLocalhostAndTheCredentialsUntrimmed) {
    const std::string typed = dir.string() + "//sub/./Banco Novo.fdb";
    MakeFile("sub/Banco Novo.fdb");
    port.databasePath = typed;
    port.user = "SYSDBA";  // the user edit holds upper case only
    port.password = " pass ";

    Run(&TFrmPrincipal::ActnTestaConexaoExecute);

    const auto attach = fakeclient::CallsTo("isc_attach_database");
    ASSERT_EQ(attach.size(), 1u);
    EXPECT_EQ(attach[0].Bytes("name"), "localhost:" + typed);
    EXPECT_EQ(attach[0].Bytes("dpb"),
              fakeclient::Bytes({1, 28, 6}) + "SYSDBA" + fakeclient::Bytes({29, 6}) + " pass ");
    EXPECT_EQ(form->IBDatabase.DatabaseName(), "localhost:" + typed);
}

TEST_F(ConnectionTestJob, ASecondTestClearsTheLogFirst) {
    Run(&TFrmPrincipal::ActnTestaConexaoExecute);
    Push("isc_attach_database", Failure(kLoginError));
    Run(&TFrmPrincipal::ActnTestaConexaoExecute);
    ASSERT_EQ(port.log.size(), 3u);
    EXPECT_EQ(port.log[1], "");
    EXPECT_TRUE(port.log[2].starts_with("Your user name and password are not defined")) << port.log[2];
    Run(&TFrmPrincipal::ActnTestaConexaoExecute);
    EXPECT_EQ(port.log, (std::vector<std::string>{kChecking, kConnected}));
}

TEST_F(ConnectionTestJob, LaterTestsRewriteTheCredentialLinesInPlace) {
    Run(&TFrmPrincipal::ActnTestaConexaoExecute);
    port.user = "OUTRO";
    port.password = "x";
    Run(&TFrmPrincipal::ActnTestaConexaoExecute);
    EXPECT_EQ(form->IBDatabase.Params().Lines(), (std::vector<std::string>{"user_name=OUTRO", "password=x"}));
    EXPECT_EQ(fakeclient::CallsTo("isc_attach_database")[1].Bytes("dpb"),
              fakeclient::Bytes({1, 28, 5}) + "OUTRO" + fakeclient::Bytes({29, 1}) + "x");
}

TEST_F(ConnectionTestJob, GuardStopsItBeforeAnythingIsTouched) {
    struct GuardCase {
        const char* why;
        std::function<void()> arrange;
        std::string box;  // empty: no box at all
    };
    const GuardCase cases[] = {
        {"a job is running", [&] { form->Executando = true; }, ""},
        {"password missing", [&] { port.password = " "; }, "* Senha do banco de dados não informada!"},
        {"no such file", [&] { port.databasePath = source + ".nao"; }, "Banco de dados não encontrato!"},
        {"a directory", [&] { port.databasePath = dir.string(); }, "Banco de dados não encontrato!"},
    };
    for (const GuardCase& c : cases) {
        SCOPED_TRACE(c.why);
        Fresh();
        c.arrange();
        Run(&TFrmPrincipal::ActnTestaConexaoExecute);
        EXPECT_TRUE(port.log.empty());
        EXPECT_TRUE(ClientCalls().empty());
        if (c.box.empty()) {
            EXPECT_TRUE(port.calls.empty());
        } else {
            ASSERT_EQ(port.messageBoxes.size(), 1u);
            EXPECT_EQ(port.messageBoxes[0].text, c.box);
            EXPECT_EQ(port.messageBoxes[0].title, "Erro");
        }
    }
}

TEST_F(ConnectionTestJob, TheDatabaseConnectionStartsWithoutLoginPromptAndStaysDetached) {
    EXPECT_FALSE(form->IBDatabase.LoginPrompt());
    EXPECT_EQ(form->IBDatabase.DatabaseName(), "");
    EXPECT_EQ(form->IBDatabase.Params().Count(), 0u);
    Run(&TFrmPrincipal::ActnTestaConexaoExecute);
    EXPECT_FALSE(form->IBDatabase.Connected());
}

}  // namespace
}  // namespace tovanel::testing
