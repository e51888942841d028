// The application-wide handler: the cursor goes off first, the rules choose the text, the title
// is "Erro!", and the window carries on.

#include "JobsFixture.h"

namespace tovanel::testing {
namespace {

class FailurePresentation : public JobsTest {};

TEST_F(FailurePresentation, TurnsTheCursorOffThenShowsTheRulesTextTitledErroBang) {
    struct Case {
        std::function<void()> raise;
        std::string shown;
    };
    const Case cases[] = {
        {[] { throw EIBInterBaseError(-902, isc_network_error, "unable to complete network request to host \"x\""); }, kServerOff},
        {[] { throw EIBInterBaseError(-902, isc_io_error, "I/O error for file; wrong password"); }, kBadFile},
        {[] { throw EIBInterBaseError(-902, isc_login, "Your user name and password are not defined"); }, kBadLogin},
        {[] { throw EIBClientError(ceDatabaseNameMissing, "Database name is missing"); }, "Database name is missing"},
        {[] { throw std::runtime_error("Falha Qualquer"); }, "Falha Qualquer"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shown);
        port.calls.clear();
        port.messageBoxes.clear();
        port.SetBusyCursor(true);
        port.calls.clear();

        EXPECT_FALSE(form->RunHandler(c.raise));

        EXPECT_EQ(port.calls, (std::vector<std::string>{"SetBusyCursor(false)", "MessageBox(Erro!, 16, " + c.shown + ")"}));
        ASSERT_EQ(port.messageBoxes.size(), 1u);
        EXPECT_FALSE(port.messageBoxes[0].busyCursor);
        EXPECT_TRUE(port.log.empty()) << "the handler writes nothing to the log";
    }
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
