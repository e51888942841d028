// Start-up with the client library absent: the program is run in a mount namespace of its own
// in which an empty file covers the system's client library, so loading it fails.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace {

namespace fs = std::filesystem;

const std::string kLibraryMissing =
    "InterBase library gds32.dll not found in the path. Please install InterBase to use this functionality";

struct Outcome {
    int exitStatus = -1;  // -1: did not exit by itself
    std::string errors;   // standard error
};

class StartupWithoutClient : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/tovanel-startup-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir = pattern;
        std::ofstream(dir / "empty");
        if (std::system("unshare -m true >/dev/null 2>&1") != 0)
            GTEST_SKIP() << "this machine does not allow a private mount namespace (unshare -m)";
    }
    void TearDown() override { fs::remove_all(dir); }

    // Runs the program offscreen with the client library hidden; a program that shows its
    // window waits in its event loop and is stopped by the time limit.
    Outcome RunWithoutClient() {
        const fs::path errors = dir / "stderr";
        std::ostringstream command;
        command << "unshare -m sh -c 'mount --bind " << (dir / "empty").string() << " " TOVANEL_CLIENT_LIBRARY
                << " && exec env QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=" << dir.string()
                << " timeout -s KILL 30 " TOVANEL_PROGRAM "' 2>" << errors.string() << " </dev/null >/dev/null";
        const int status = std::system(command.str().c_str());
        Outcome outcome;
        if (WIFEXITED(status) && WEXITSTATUS(status) != 137) outcome.exitStatus = WEXITSTATUS(status);
        std::ifstream in(errors);
        outcome.errors.assign(std::istreambuf_iterator<char>(in), {});
        return outcome;
    }

    fs::path dir;
};

TEST_F(StartupWithoutClient, ReportsTheExactTextNeverShowsTheWindowAndEndsWithAFailureStatus) {
    const Outcome outcome = RunWithoutClient();
    EXPECT_NE(outcome.exitStatus, -1) << "the program did not end by itself";
    EXPECT_NE(outcome.exitStatus, 0);
    std::istringstream lines(outcome.errors);
    bool reported = false;
    for (std::string line; std::getline(lines, line);) reported = reported || line == kLibraryMissing;
    EXPECT_TRUE(reported) << "standard error was: " << outcome.errors;
}

}  // namespace
