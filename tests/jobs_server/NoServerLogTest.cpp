// The verification on an instance of its own that cannot write its log: the details come from
// the online validation, and the job says why. The instance is stopped again at the end.

#include "ConsoleOnServer.h"

namespace tovanel::testing {
namespace {

using testserver::PrivateServer;

class VerificationWithoutServerLog : public ConsoleOnServer {
protected:
    static fs::path LogDirectory() { return PrivateServer::instance().home() / "log"; }

    // The server runs under its own account, which may then not write into its log directory.
    // A failure here is kept for SetUp: thrown out of the suite's set-up, gtest would only skip the test.
    static void SetUpTestSuite() {
        try {
            PrivateServer& server = PrivateServer::instance();
            server.stop();
            fs::create_directories(LogDirectory());
            fs::remove(LogDirectory() / "firebird3.0.log");
            fs::permissions(LogDirectory(), fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                                fs::perms::group_exec | fs::perms::others_read |
                                                fs::perms::others_exec);
            server.start();
        } catch (const std::exception& e) {
            setUpFailure = e.what();
        }
    }
    static void TearDownTestSuite() {
        if (!setUpFailure.empty()) return;
        PrivateServer::instance().stop();
        fs::permissions(LogDirectory(), fs::perms::owner_write, std::filesystem::perm_options::add);
    }
    void SetUp() override {
        if (!setUpFailure.empty()) GTEST_FAIL() << "the instance without a log did not start: " << setUpFailure;
        ConsoleOnServer::SetUp();
    }

    static inline std::string setUpFailure;
};

TEST_F(VerificationWithoutServerLog, TheOnlineValidationsLinesAreListedAndTheRepairStillOffered) {
    ASSERT_FALSE(fs::exists(LogDirectory() / "firebird3.0.log")) << "the server wrote its log after all";
    const fs::path db = server().freshPath("semlog");
    server().createDamagedDatabase(db, fbdamage::Kind::Records);
    Use(db);
    port.QueueAnswer(kButtonYes);
    port.QueueAnswer(kButtonNo);
    Run(&TFrmPrincipal::ActnVerificarBancoExecute);
    std::string joined;
    for (const std::string& line : port.log) joined += line + "|\n";
    SCOPED_TRACE("log:\n" + joined);

    const auto why = std::find_if(port.log.begin(), port.log.end(), [](const std::string& line) {
        return line.starts_with("Não foi possível ler o log do servidor") ||
               line.starts_with("O log do servidor não registrou esta validação");
    });
    ASSERT_NE(why, port.log.end());
    EXPECT_NE(why->find("validação online, que não verifica as tabelas de sistema nem as páginas órfãs"),
              std::string::npos);
    const std::vector<std::string> online(why + 1, port.log.end());
    EXPECT_TRUE(std::any_of(online.begin(), online.end(),
                            [](const std::string& l) { return l.find("Error: ") != std::string::npos; }));
    EXPECT_TRUE(std::any_of(online.begin(), online.end(),
                            [](const std::string& l) { return l.find("(PEDIDOS)") != std::string::npos; }))
        << "the online validation names the table";
    EXPECT_TRUE(LogHas("Summary of validation errors"));
    EXPECT_TRUE(form->EncontrouErro);
    EXPECT_TRUE(ErrorBoxes().empty());
    ASSERT_EQ(port.messageBoxes.size(), 2u);
    EXPECT_EQ(port.messageBoxes[1].text, kOfferRepair);
    ExpectIdle();
}

}  // namespace
}  // namespace tovanel::testing
