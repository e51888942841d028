// The command line and the credentials' sources, without a server.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "CliOptions.h"
#include "TempDir.h"

namespace tovanel::cli {
namespace {

using Kind = ParsedCommandLine::Kind;

ParsedCommandLine Parse(std::vector<std::string> args) {
    return ParseCommandLine(args);
}

TEST(CommandLine, CommandDatabaseAndOptionsInAnyOrder) {
    struct Case {
        std::vector<std::string> args;
        Command command;
        std::string database;
        std::optional<std::string> user, output;
        bool yes;
    };
    const Case cases[] = {
        {{"test", "/d/b.fdb"}, Command::Test, "/d/b.fdb", {}, {}, false},
        {{"verify", "-y", "/d/b.fdb"}, Command::Verify, "/d/b.fdb", {}, {}, true},
        {{"repair", "/d/b.fdb", "--yes", "--output", "/e/n.fdb"}, Command::Repair, "/d/b.fdb", {}, "/e/n.fdb", true},
        {{"repair", "--output=/e/n.fdb", "-u", "ana", "/d/b.fdb"}, Command::Repair, "/d/b.fdb", "ana", "/e/n.fdb", false},
        {{"--user=ana", "test", "/d/b.fdb"}, Command::Test, "/d/b.fdb", "ana", {}, false},
        {{"status"}, Command::Status, "", {}, {}, false},
        {{"rescue", "-o", "/e/s.fdb", "--yes", "/d/b.fdb"}, Command::Rescue, "/d/b.fdb", {}, "/e/s.fdb", true},
        // Omitted: the window's input check reports the missing path, with its own message.
        {{"test"}, Command::Test, "", {}, {}, false},
        // The path exactly as given: spaces, and after "--" even a leading dash.
        {{"test", " /d/b.fdb "}, Command::Test, " /d/b.fdb ", {}, {}, false},
        {{"test", "--", "-b.fdb"}, Command::Test, "-b.fdb", {}, {}, false},
        // An empty value is a value: the input check then says what is missing.
        {{"test", "--user", "", "/d/b.fdb"}, Command::Test, "/d/b.fdb", "", {}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.args));
        const ParsedCommandLine parsed = Parse(c.args);
        ASSERT_EQ(parsed.kind, Kind::Run) << parsed.error;
        EXPECT_EQ(parsed.options.command, c.command);
        EXPECT_EQ(parsed.options.database, c.database);
        EXPECT_EQ(parsed.options.user, c.user);
        EXPECT_EQ(parsed.options.output, c.output);
        EXPECT_EQ(parsed.options.yes, c.yes);
    }
}

TEST(CommandLine, NoRepairIsAVerifyOptionBesideYes) {
    struct Case {
        std::vector<std::string> args;
        bool yes, noRepair;
    };
    const Case cases[] = {
        {{"verify", "--no-repair", "/d/b.fdb"}, false, true},
        {{"verify", "/d/b.fdb", "--yes", "--no-repair"}, true, true},
        {{"verify", "-y", "/d/b.fdb"}, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.args));
        const ParsedCommandLine parsed = Parse(c.args);
        ASSERT_EQ(parsed.kind, Kind::Run) << parsed.error;
        EXPECT_EQ(parsed.options.yes, c.yes);
        EXPECT_EQ(parsed.options.noRepair, c.noRepair);
    }
}

TEST(CommandLine, RescueTakesItsReportFile) {
    const ParsedCommandLine parsed = Parse({"rescue", "--report=r.json", "/d/b.fdb"});
    ASSERT_EQ(parsed.kind, Kind::Run) << parsed.error;
    EXPECT_EQ(parsed.options.command, Command::Rescue);
    EXPECT_EQ(parsed.options.report, "r.json");
    EXPECT_EQ(Parse({"rescue", "--report", "a", "--report", "b", "/d/b.fdb"}).kind, Kind::UsageError);
}

TEST(CommandLine, VerifyTakesQuickAndAReportFile) {
    const ParsedCommandLine parsed = Parse({"verify", "--quick", "--report", "v.json", "/d/b.fdb"});
    ASSERT_EQ(parsed.kind, Kind::Run) << parsed.error;
    EXPECT_TRUE(parsed.options.quick);
    EXPECT_EQ(parsed.options.report, "v.json");
    EXPECT_FALSE(Parse({"verify", "/d/b.fdb"}).options.quick) << "the read check runs by default";
}

TEST(CommandLine, HelpAndVersionWinOverEverythingElse) {
    EXPECT_EQ(Parse({"--help"}).kind, Kind::Help);
    EXPECT_EQ(Parse({"-h"}).kind, Kind::Help);
    EXPECT_EQ(Parse({"repair", "--bogus", "--help"}).kind, Kind::UsageError);  // the bad option is seen first
    EXPECT_EQ(Parse({"repair", "/d/b.fdb", "extra", "--help"}).kind, Kind::Help);
    EXPECT_EQ(Parse({"--version"}).kind, Kind::Version);
    EXPECT_EQ(Parse({"nonsense", "--version"}).kind, Kind::Version);
}

TEST(CommandLine, BadUsageIsRefusedWithTheReason) {
    struct Case {
        std::vector<std::string> args;
        std::string reasonPart;
    };
    const Case cases[] = {
        {{}, "falta o comando"},
        {{"fix", "/d/b.fdb"}, "comando desconhecido: fix"},
        {{"test", "/d/a.fdb", "/d/b.fdb"}, "argumento a mais: /d/b.fdb"},
        {{"test", "--force", "/d/b.fdb"}, "opção desconhecida: --force"},
        {{"test", "/d/b.fdb", "-u"}, "a opção -u precisa de um valor"},
        {{"test", "/d/b.fdb", "--user"}, "a opção --user precisa de um valor"},
        {{"test", "--yes=no", "/d/b.fdb"}, "a opção --yes não aceita valor"},
        {{"test", "-u", "a", "--user", "b", "/d/b.fdb"}, "mais de uma vez"},
        {{"status", "/d/b.fdb"}, "status não recebe banco"},
        {{"test", "--output", "/e/n.fdb", "/d/b.fdb"}, "--output vale só para repair, verify e rescue"},
        {{"repair", "--report", "r.json", "/d/b.fdb"}, "--report vale só para verify e rescue"},
        {{"rescue", "--quick", "/d/b.fdb"}, "--quick vale só para verify"},
        {{"verify", "--quick=sim", "/d/b.fdb"}, "a opção --quick não aceita valor"},
        {{"status", "-o", "/e/n.fdb"}, "--output vale só"},
        {{"test", "-p", "x", "--password-file", "/f", "/d/b.fdb"}, "não os dois"},
        {{"repair", "--no-repair", "/d/b.fdb"}, "--no-repair vale só para verify"},
        {{"test", "--no-repair", "/d/b.fdb"}, "--no-repair vale só para verify"},
        {{"verify", "--no-repair=sim", "/d/b.fdb"}, "a opção --no-repair não aceita valor"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.args));
        const ParsedCommandLine parsed = Parse(c.args);
        ASSERT_EQ(parsed.kind, Kind::UsageError);
        EXPECT_NE(parsed.error.find(c.reasonPart), std::string::npos) << parsed.error;
    }
}

TEST(CommandLine, UsageNamesEveryCommandAndOption) {
    const std::string usage = UsageText();
    for (const char* word : {"test", "verify", "repair", "status", "--user", "--password-file", "--password",
                             "--output", "--yes", "--no-repair", "--quick", "--report", "--help", "--version", "ISC_USER", "ISC_PASSWORD"})
        EXPECT_NE(usage.find(word), std::string::npos) << word;
}

TEST(DatabasePath, RelativePathsStartAtTheCurrentDirectoryAndNothingElseChanges) {
    const std::pair<std::string, std::string> cases[] = {
        {"/d/b.fdb", "/d/b.fdb"},
        {"b.fdb", "/cwd/b.fdb"},
        {"sub/../b.fdb", "/cwd/sub/../b.fdb"},
        {" /d/b.fdb", "/cwd/ /d/b.fdb"},  // a leading space makes a relative name
        {"/d/b.fdb ", "/d/b.fdb "},
        {"", ""},
        {"   ", "   "},  // still blank for the input check
    };
    for (const auto& [given, used] : cases) EXPECT_EQ(DatabasePathFromCurrentDirectory(given, "/cwd"), used) << given;
    EXPECT_EQ(DatabasePathFromCurrentDirectory("b.fdb", "/"), "/b.fdb");
    EXPECT_EQ(DatabasePathFromCurrentDirectory("b.fdb", ""), "b.fdb");  // no current directory known
}

// ---- credentials ------------------------------------------------------------------------------

class CredentialSources : public ::testing::Test {
protected:
    EnvLookup Env() const {
        return [this](const std::string& name) -> std::optional<std::string> {
            const auto found = env.find(name);
            if (found == env.end()) return std::nullopt;
            return found->second;
        };
    }
    std::string PasswordFile(const std::string& bytes) const {
        const auto file = dir.Path() / "senha";
        std::ofstream(file, std::ios::binary) << bytes;
        return file.string();
    }
    CliOptions Options(std::vector<std::string> args) const {
        args.insert(args.begin(), "test");
        const ParsedCommandLine parsed = ParseCommandLine(args);
        EXPECT_EQ(parsed.kind, Kind::Run) << parsed.error;
        return parsed.options;
    }

    std::map<std::string, std::string> env;
    testing::TempDir dir;
};

TEST_F(CredentialSources, OptionsBeforeEnvironmentBeforeTheWindowsDefaults) {
    Credentials none = ResolveCredentials(Options({}), Env());
    EXPECT_EQ(none.user, std::nullopt);  // the window's defaults stay in the edits
    EXPECT_EQ(none.password, std::nullopt);

    env = {{"ISC_USER", "env_user"}, {"ISC_PASSWORD", "env_pw"}};
    Credentials fromEnv = ResolveCredentials(Options({}), Env());
    EXPECT_EQ(fromEnv.user, "env_user");
    EXPECT_EQ(fromEnv.password, "env_pw");

    Credentials fromOptions =
        ResolveCredentials(Options({"-u", "opt_user", "--password-file", PasswordFile("file_pw\n")}), Env());
    EXPECT_EQ(fromOptions.user, "opt_user");
    EXPECT_EQ(fromOptions.password, "file_pw");
    EXPECT_TRUE(fromOptions.warnings.empty());

    // Each credential on its own: a user option leaves the password to the environment.
    Credentials mixed = ResolveCredentials(Options({"-u", "opt_user"}), Env());
    EXPECT_EQ(mixed.user, "opt_user");
    EXPECT_EQ(mixed.password, "env_pw");
}

TEST_F(CredentialSources, EmptyEnvironmentVariablesCountAsUnset) {
    env = {{"ISC_USER", ""}, {"ISC_PASSWORD", ""}};
    const Credentials credentials = ResolveCredentials(Options({}), Env());
    EXPECT_EQ(credentials.user, std::nullopt);
    EXPECT_EQ(credentials.password, std::nullopt);
}

TEST_F(CredentialSources, PasswordOnTheCommandLineWorksButWarns) {
    env = {{"ISC_PASSWORD", "env_pw"}};
    const Credentials credentials = ResolveCredentials(Options({"-p", "cmd_pw"}), Env());
    EXPECT_EQ(credentials.password, "cmd_pw");
    ASSERT_EQ(credentials.warnings.size(), 1u);
    EXPECT_NE(credentials.warnings[0].find("lista de processos"), std::string::npos);
}

TEST_F(CredentialSources, PasswordFileGivesItsFirstLineUntrimmed) {
    const struct {
        std::string bytes, password;
    } cases[] = {
        {"segredo\n", "segredo"},
        {"segredo", "segredo"},
        {"segredo\r\n", "segredo"},
        {" com espaços \nsegunda linha\n", " com espaços "},
        {"\n", ""},
        {"", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.bytes));
        EXPECT_EQ(ReadPasswordFile(PasswordFile(c.bytes)), c.password);
    }
}

TEST_F(CredentialSources, UnreadablePasswordFileIsAnError) {
    EXPECT_THROW(ReadPasswordFile((dir.Path() / "absent").string()), CredentialError);
    EXPECT_THROW(ReadPasswordFile(dir.Path().string()), CredentialError);  // a directory
    EXPECT_THROW(ResolveCredentials(Options({"--password-file", (dir.Path() / "absent").string()}), Env()),
                 CredentialError);
}

}  // namespace
}  // namespace tovanel::cli
