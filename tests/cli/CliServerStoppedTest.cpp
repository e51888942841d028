// tovanel-cli against a stopped server, on the fault tests' own instance (see CMakeLists.txt), so
// the shared instance never goes away under tests running in parallel.
#include <gtest/gtest.h>

#include "CliProcess.h"
#include "PrivateServer.h"

namespace {

namespace fs = std::filesystem;
using clitest::CliResult;

const std::string kServerDown = "Erro!: FireBird Server desativado\nou bloqueio pelo firewall!\n";
// The server's own lines, which follow the box in the log.
const std::string kServerDownLines =
    "Unable to complete network request to host \"localhost\".\nFailed to establish a connection\n";

class CliServerStopped : public ::testing::Test {
protected:
    static void TearDownTestSuite() {
        if (ownsInstance()) testserver::PrivateServer::instance().stop();
    }
    static bool ownsInstance() { return testserver::PrivateServer::instance().instanceName() != "main"; }

    void SetUp() override {
        ASSERT_TRUE(ownsInstance()) << "tests that stop the server must run on an instance of their own";
        try {
            server().start();
        } catch (const std::exception& e) {
            if (testserver::serverWasProvided()) GTEST_FAIL() << e.what();
            GTEST_SKIP() << "cannot start a private instance here: " << e.what();
        }
        db_ = server().freshPath("cli_stopped");
        server().createHealthyDatabase(db_);
        server().stop();
        ASSERT_FALSE(server().reachable());
    }
    void TearDown() override { server().removeFreshFiles(); }
    testserver::PrivateServer& server() { return testserver::PrivateServer::instance(); }

    fs::path db_;
};

TEST_F(CliServerStopped, EveryJobLogsWhatItStartedAndShowsTheServerIsDown) {
    const auto repaired = server().freshPath("cli_stopped_new");
    const struct {
        std::vector<std::string> args;
        std::string out;
        std::string errEnd;
    } cases[] = {
        {{"test", db_.string()}, "Aguarde... Verificando conexão\n\n" + kServerDownLines, kServerDown},
        {{"verify", "--yes", db_.string()}, "Aguarde... Processo iniciado.\n\n\n" + kServerDownLines, "[y/N] y\n" + kServerDown},
        {{"repair", "--yes", "--output", repaired.string(), db_.string()}, "Aguarde... Processo iniciado.\n\n\n" + kServerDownLines,
         "Informe o novo arquivo a ser gerado: " + repaired.string() + "\n" + kServerDown},
    };
    for (const auto& c : cases) {
        clitest::CliLaunch launch;
        launch.args = c.args;
        const CliResult result = clitest::runCli(launch);
        SCOPED_TRACE(clitest::describe(launch, result));
        EXPECT_EQ(result.exitCode, 2);
        EXPECT_EQ(result.out, c.out);
        EXPECT_TRUE(result.err.ends_with(c.errEnd));
    }
    EXPECT_FALSE(fs::exists(repaired));
}

}  // namespace
