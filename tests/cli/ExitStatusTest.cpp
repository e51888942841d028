// The exit status for what a run showed and answered, and the runs that end before the window's
// logic is created (help, version, usage errors, an unreadable password file).
#include <gtest/gtest.h>

#include <sstream>

#include "CliRun.h"
#include "TempDir.h"

namespace tovanel::cli {
namespace {

Outcome Shown(int errorBoxes = 0, bool stopped = false) {
    Outcome outcome;
    outcome.errorBoxes = errorBoxes;
    outcome.stoppedWithoutTerminal = stopped;
    return outcome;
}

// The job's own outcome decides, except that an error box or a question nobody could answer
// always means failure.
TEST(ExitStatus, ByCommandTheJobsOutcomeAndWhatTheTerminalShowed) {
    using enum JobOutcome;
    const struct {
        const char* what;
        Command command;
        JobOutcome job;
        Outcome shown;
        int status;
    } cases[] = {
        {"test connected", Command::Test, Succeeded, Shown(), 0},
        {"test attached, then lost", Command::Test, Failed, Shown(), 2},
        {"test refused", Command::Test, Failed, Shown(1), 2},
        {"status", Command::Status, Succeeded, Shown(), 0},
        {"status whose tick failed", Command::Status, Succeeded, Shown(1), 2},
        {"verify clean", Command::Verify, Succeeded, Shown(), 0},
        {"verify declined", Command::Verify, Cancelled, Shown(), 2},
        {"verify without terminal", Command::Verify, Cancelled, Shown(0, true), 2},
        {"verify guard failed", Command::Verify, Failed, Shown(1), 2},
        {"verify errors, no repair", Command::Verify, FoundProblems, Shown(), 1},
        {"verify errors, offer unanswerable", Command::Verify, FoundProblems, Shown(0, true), 2},
        {"verify errors, repaired", Command::Verify, Succeeded, Shown(), 0},
        {"verify errors, repair failed", Command::Verify, Failed, Shown(1), 2},
        {"repair done", Command::Repair, Succeeded, Shown(), 0},
        {"repair declined", Command::Repair, Cancelled, Shown(), 2},
        {"repair without terminal", Command::Repair, Cancelled, Shown(0, true), 2},
        {"repair failed", Command::Repair, Failed, Shown(1), 2},
    };
    for (const auto& c : cases) EXPECT_EQ(ExitStatus(c.command, c.shown, c.job), c.status) << c.what;
}

class EarlyRun : public ::testing::Test {
protected:
    int Run(std::vector<std::string> args) {
        const EnvLookup noEnv = [](const std::string&) { return std::optional<std::string>(); };
        return RunCli(args, noEnv, TerminalIo{out, err, in, false}, "/");
    }
    std::ostringstream out;
    std::ostringstream err;
    std::istringstream in;
};

TEST_F(EarlyRun, HelpPrintsTheUsageOnStandardOutput) {
    EXPECT_EQ(Run({"--help"}), 0);
    EXPECT_EQ(out.str(), UsageText());
    EXPECT_EQ(err.str(), "");
}

TEST_F(EarlyRun, VersionPrintsTheProgramsVersion) {
    EXPECT_EQ(Run({"--version"}), 0);
    EXPECT_EQ(out.str(), std::string("tovanel-cli ") + TOVANEL_VERSION + "\n");
}

TEST_F(EarlyRun, BadUsageSaysWhyOnStandardErrorAndExitsTwo) {
    EXPECT_EQ(Run({"fix", "/d/b.fdb"}), 2);
    EXPECT_EQ(out.str(), "");
    EXPECT_EQ(err.str(), "tovanel-cli: comando desconhecido: fix\nUse tovanel-cli --help para ver o uso.\n");
}

TEST_F(EarlyRun, UnreadablePasswordFileStopsBeforeAnythingRuns) {
    testing::TempDir dir;
    EXPECT_EQ(Run({"repair", "--yes", "--password-file", (dir.Path() / "none").string(), "/d/b.fdb"}), 2);
    EXPECT_EQ(out.str(), "");
    EXPECT_NE(err.str().find("arquivo de senha"), std::string::npos) << err.str();
}

}  // namespace
}  // namespace tovanel::cli
