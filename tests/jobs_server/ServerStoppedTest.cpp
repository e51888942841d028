// The connection test with the instance stopped (the fault tests' own instance).

#include "ConsoleOnServer.h"

namespace tovanel::testing {
namespace {

// Starts the instance it then stops: it must be one of its own, never the shared one.
class ServerStopped : public ConsoleOnServer {
protected:
    static void TearDownTestSuite() {
        if (OwnsInstance()) testserver::PrivateServer::instance().stop();
    }
    static bool OwnsInstance() { return testserver::PrivateServer::instance().instanceName() != "main"; }

    void SetUp() override {
        ASSERT_TRUE(OwnsInstance()) << "this test stops its server: it needs an instance of its own";
        try {
            server().start();
        } catch (const std::exception& e) {
            if (testserver::serverWasProvided()) GTEST_FAIL() << e.what();
            GTEST_SKIP() << "cannot start a private instance here: " << e.what();
        }
        ConsoleOnServer::SetUp();
    }
};

TEST_F(ServerStopped, TheConnectionTestShowsServerOffOrFirewall) {
    const fs::path db = server().freshPath("parado");
    server().createHealthyDatabase(db);
    Use(db);
    server().stop();
    Run(&TFrmPrincipal::ActnTestaConexaoExecute);
    server().start();

    EXPECT_EQ(port.log, (std::vector<std::string>{kChecking, "", "Unable to complete network request to host \"localhost\".",
                                                  "Failed to establish a connection"}));
    EXPECT_EQ(ErrorBoxes(), std::vector<std::string>{"FireBird Server desativado\rou bloqueio pelo firewall!"});
    ExpectIdle();
}

}  // namespace
}  // namespace tovanel::testing
