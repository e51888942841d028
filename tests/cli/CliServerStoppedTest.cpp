// tovanel-cli against a stopped server, on the fault tests' own instance (see CMakeLists.txt), so
// the shared instance never goes away under tests running in parallel.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <thread>

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
        StartWithADatabase("cli_stopped");
        if (HasFatalFailure() || IsSkipped()) return;
        server().stop();
        ASSERT_FALSE(server().reachable());
    }
    // The instance of its own running, and a healthy database in db_.
    void StartWithADatabase(const char* stem) {
        ASSERT_TRUE(ownsInstance()) << "tests that stop or hold the server must run on an instance of their own";
        try {
            server().start();
        } catch (const std::exception& e) {
            if (testserver::serverWasProvided()) GTEST_FAIL() << e.what();
            GTEST_SKIP() << "cannot start a private instance here: " << e.what();
        }
        db_ = server().freshPath(stem);
        server().createHealthyDatabase(db_);
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

// Holds the server's process still (SIGSTOP) for as long as it lives: every call then waits for an
// answer that does not come. Let go in any case.
class HeldServer {
public:
    explicit HeldServer(const fs::path& home) {
        std::ifstream(home / "server.pid") >> pid_;
        if (pid_ > 0 && ::kill(pid_, SIGSTOP) != 0) pid_ = 0;
    }
    ~HeldServer() {
        if (pid_ > 0) ::kill(pid_, SIGCONT);
    }
    HeldServer(const HeldServer&) = delete;
    HeldServer& operator=(const HeldServer&) = delete;
    bool holding() const { return pid_ > 0; }

private:
    pid_t pid_ = 0;
};

class CliServerHeld : public CliServerStopped {
protected:
    void SetUp() override { StartWithADatabase("cli_retido"); }
};

// A rescue stopped by a signal while the server does not answer its call (held from the start, so
// its first call waits): the program does not wait for ever; after its grace it removes every
// file of the rescue and exits 2, the original as it was. (That the grace's removal takes the
// working copy and the temporary backup too is shown by the rescue's unit tests.)
TEST_F(CliServerHeld, ARescueStoppedWhileTheServerDoesNotAnswerEndsAfterTheGraceRemovingItsFiles) {
    const std::uint64_t before = clitest::fileHash(db_);
    const fs::path directory = server().freshPath("cli_retido_dir", "");
    fs::create_directory(directory);
    server().handToServer(directory);
    fs::permissions(directory, fs::perms::owner_all | fs::perms::group_all);
    clitest::CliLaunch launch;
    launch.args = {"rescue", "--yes", "-o", (directory / "banco_RESGATE.FDB").string(), db_.string()};
    CliResult result;
    {
        HeldServer held(server().home());
        ASSERT_TRUE(held.holding());
        clitest::CliProcess child(launch);
        ASSERT_TRUE(child.waitForOutput("Verificando se o servidor está com o banco de dados aberto.\n"))
            << child.collected().out << child.collected().err;
        // Time enough to be inside its first call, which the held server never answers; a signal
        // before it would be heard between calls and stop it without the grace.
        std::this_thread::sleep_for(std::chrono::seconds(2));
        child.sendSignal(SIGTERM);
        result = child.finish();
    }
    EXPECT_EQ(result.exitCode, 2) << result.out << result.err;
    EXPECT_TRUE(result.err.ends_with("\ntovanel-cli: o resgate não parou a tempo; seus arquivos foram apagados.\n"))
        << result.err;
    std::string left;
    for (const auto& entry : fs::directory_iterator(directory)) left += entry.path().string() + "\n";
    EXPECT_EQ(left, "") << "no file of the rescue is left";
    EXPECT_EQ(clitest::fileHash(db_), before) << "the original is untouched";
    EXPECT_TRUE(server().reachable()) << "the server answers again once let go";
    fs::remove_all(directory);
}

}  // namespace
