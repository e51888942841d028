// The exit status for what a run showed and answered, and the runs that end before the window's
// logic is created (help, version, usage errors, an unreadable password file).
#include <gtest/gtest.h>

#include <sstream>

#include "CliRun.h"
#include "TempDir.h"

namespace tovanel::cli {
namespace {

Outcome With(std::vector<bool> answers, bool newFile = false, int errorBoxes = 0, bool stopped = false,
             std::string lastLine = "") {
    Outcome outcome;
    outcome.answers = std::move(answers);
    outcome.newFileChosen = newFile;
    outcome.errorBoxes = errorBoxes;
    outcome.stoppedWithoutTerminal = stopped;
    outcome.lastLogLine = std::move(lastLine);
    return outcome;
}

TEST(ExitStatus, ByCommandAndWhatHappened) {
    const struct {
        const char* what;
        Command command;
        Outcome outcome;
        bool foundErrors;
        int status;
    } cases[] = {
        {"test connected", Command::Test, With({}, false, 0, false, "Banco de dados conectado com sucesso!"), false, 0},
        {"test attached, then lost", Command::Test, With({}, false, 0, false, kNoConnectionLine), false, 2},
        {"test refused", Command::Test, With({}, false, 1), false, 2},
        {"status", Command::Status, With({}), false, 0},
        {"verify clean", Command::Verify, With({true}), false, 0},
        {"verify declined", Command::Verify, With({false}), false, 2},
        {"verify without terminal", Command::Verify, With({false}, false, 0, true), false, 2},
        {"verify guard failed", Command::Verify, With({}, false, 1), false, 2},
        {"verify failed", Command::Verify, With({true}, false, 1), false, 2},
        {"verify errors, offer declined", Command::Verify, With({true, false}), true, 1},
        {"verify errors, repair declined", Command::Verify, With({true, true, false}), true, 1},
        {"verify errors, replace declined", Command::Verify, With({true, true, true, false}), true, 1},
        {"verify errors, repaired", Command::Verify, With({true, true, true}, true), true, 0},
        {"verify errors, replaced and repaired", Command::Verify, With({true, true, true, true}, true), true, 0},
        {"verify errors, repair failed", Command::Verify, With({true, true, true}, true, 1), true, 2},
        {"repair done", Command::Repair, With({true}, true), false, 0},
        {"repair declined", Command::Repair, With({false}), false, 2},
        {"repair, replace declined", Command::Repair, With({true, false}), false, 2},
        {"repair without terminal", Command::Repair, With({false}, false, 0, true), false, 2},
        {"repair failed", Command::Repair, With({true}, true, 1), false, 2},
        {"repair guard failed", Command::Repair, With({}, false, 1), false, 2},
    };
    for (const auto& c : cases) EXPECT_EQ(ExitStatus(c.command, c.outcome, c.foundErrors), c.status) << c.what;
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
