// The application-wide handler: the cursor goes off first, the rules choose the text, the title
// is "Erro!", and the window carries on.

#include <algorithm>

#include "JobsFixture.h"

namespace tovanel::testing {
namespace {

class FailurePresentation : public JobsTest {};

TEST_F(FailurePresentation, TurnsTheCursorOffThenShowsTheRulesTextTitledErroBang) {
    struct Case {
        std::function<void()> raise;
        std::string shown;
        std::vector<std::string> logged;  // after the box: a server's failure's own lines
    };
    const Case cases[] = {
        {[] { throw EIBInterBaseError(-902, isc_network_error, "unable to complete network request to host \"x\""); }, kServerOff,
         {"unable to complete network request to host \"x\""}},
        {[] { throw EIBInterBaseError(-902, isc_io_error, "I/O error for file\r\nwrong password"); }, kBadFile,
         {"I/O error for file", "wrong password"}},
        {[] { throw EIBInterBaseError(-902, isc_login, "Your user name and password are not defined"); }, kBadLogin,
         {"Your user name and password are not defined"}},
        {[] { throw EIBClientError(ceDatabaseNameMissing, "Database name is missing"); }, "Database name is missing", {}},
        {[] { throw std::runtime_error("Falha Qualquer"); }, "Falha Qualquer", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shown);
        port.calls.clear();
        port.messageBoxes.clear();
        port.log.clear();
        port.SetBusyCursor(true);
        port.calls.clear();

        EXPECT_FALSE(form->RunHandler(c.raise));

        std::vector<std::string> calls{"SetBusyCursor(false)", "MessageBox(Erro!, 16, " + c.shown + ")"};
        for (const std::string& line : c.logged) calls.push_back("AppendLog(" + line + ")");
        EXPECT_EQ(port.calls, calls);
        ASSERT_EQ(port.messageBoxes.size(), 1u);
        EXPECT_FALSE(port.messageBoxes[0].busyCursor);
        EXPECT_EQ(port.log, c.logged);
    }
}

// The server's account is read from the same process list as the status line.
TEST_F(FailurePresentation, ARefusedOpenNamesTheAccountOfTheServerProcess) {
    const fs::path proc = fs::path(dir) / "proc";
    fs::create_directories(proc / "4711");
    std::ofstream(proc / "4711" / "comm") << "firebird\n";
    std::ofstream(proc / "4711" / "status") << "Name:\tfirebird\nUid:\t0\t0\t0\t0\n";
    form->SetProcessListRoot(proc);
    const std::string refused =
        "I/O error during \"open\" operation for file \"/srv/a.fdb\"\r\nError while trying to open file\r\nPermission denied";

    EXPECT_FALSE(form->RunHandler([&] { throw EIBInterBaseError(-902, isc_io_error, refused); }));

    ASSERT_EQ(port.messageBoxes.size(), 1u);
    const std::string& box = port.messageBoxes[0].text;
    EXPECT_TRUE(box.starts_with("O servidor Firebird (usuário root) não tem permissão\r")) << box;
    EXPECT_NE(box.find("Dê ao usuário root leitura e gravação no arquivo\r"), std::string::npos) << box;
    std::string oneLine = box;
    std::replace(oneLine.begin(), oneLine.end(), '\r', ' ');
    EXPECT_EQ(port.log, (std::vector<std::string>{oneLine, "I/O error during \"open\" operation for file \"/srv/a.fdb\"",
                                                   "Error while trying to open file", "Permission denied"}));

    // No server process in sight: the box says so without a name.
    fs::remove_all(proc / "4711");
    port.messageBoxes.clear();
    form->RunHandler([&] { throw EIBInterBaseError(-902, isc_io_error, refused); });
    ASSERT_EQ(port.messageBoxes.size(), 1u);
    EXPECT_TRUE(port.messageBoxes[0].text.starts_with("O servidor Firebird não tem permissão\r")) << port.messageBoxes[0].text;
}

TEST_F(FailurePresentation, TheWindowStaysUsableAfterAFailedCommand) {
    fakeclient::Push("isc_attach_database", fakeclient::Failure(kLoginError));
    Run(&TFrmPrincipal::ActnTestaConexaoExecute);
    Run(&TFrmPrincipal::ActnTestaConexaoExecute);
    EXPECT_EQ(port.log, (std::vector<std::string>{kChecking, kConnected}));
    ExpectIdle();
}

}  // namespace
}  // namespace tovanel::testing
