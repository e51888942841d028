// Unusual paths and credentials given to tovanel-cli, against the private server: each ends
// with the console's own answer, or with a message and exit status 2; never a crash or a hang.
#include "CliChild.h"
#include "ConsoleTexts.h"
#include "PrivateServer.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <iostream>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using faults::CliChild;
using faults::CliEnd;

using tovanel::testing::kBadLogin;
using tovanel::testing::kConnected;
using tovanel::testing::kNotFound;

class CliBadInput : public testserver::RealServerTest {
protected:
    void SetUp() override
    {
        RealServerTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        if (!healthy_.empty() && fs::exists(healthy_))
            return;
        healthy_ = server().freshPath("badinput_cli");
        server().createHealthyDatabase(healthy_);
    }
    void TearDown() override
    {
        for (const fs::path& directory : directories_)
            fs::remove_all(directory);
        // The healthy database stays for the next test; the fixture's own files go.
    }

    // A directory for the test's files, traversable by the server's account.
    fs::path Dir(const std::string& relative)
    {
        const fs::path root = server().scratch() / ("badinput_" + std::to_string(::getpid()));
        directories_.push_back(root);
        const fs::path directory = root / relative;
        fs::create_directories(directory);
        return directory;
    }
    // A copy of the healthy database at the path, owned by the server's account.
    fs::path CopyTo(const fs::path& path)
    {
        fs::create_directories(path.parent_path());
        server().copyDatabase(healthy_, path);
        return path;
    }

    CliEnd Test(const std::string& path, const std::string& user, const std::string& password)
    {
        return CliChild({"test", path}, {"ISC_USER=" + user, "ISC_PASSWORD=" + password}).Finish(120s);
    }
    CliEnd Test(const std::string& path) { return Test(path, server().user(), server().password()); }

    static void Record(const std::string& input, const CliEnd& end)
    {
        std::string seen = end.exitCode == 0 ? end.out : end.err;
        while (!seen.empty() && seen.back() == '\n')
            seen.pop_back();
        for (char& c : seen) {
            if (c == '\n' || c == '\r')
                c = '/';
        }
        std::cout << "[badinput] " << input << " (cli) | exit " << end.exitCode << " | " << seen.substr(0, 200)
                  << std::endl;
    }
    static void ExpectAnswered(const CliEnd& end)
    {
        EXPECT_FALSE(end.timedOut);
        EXPECT_TRUE(end.exitCode == 0 || end.exitCode == 2) << end.exitCode << end.err;
        if (end.exitCode != 0) {
            EXPECT_FALSE(end.err.empty());
        }
    }

    static inline fs::path healthy_;
    std::vector<fs::path> directories_;
};

TEST_F(CliBadInput, PathsThatNameTheDatabaseAttach)
{
    const fs::path spaces = CopyTo(Dir("com espacos") / "banco de dados.fdb");
    const fs::path accents = CopyTo(Dir("relat\xC3\xB3rios") / "ver\xC3\xA3o.fdb");
    std::string deep = Dir("long").string();
    while (deep.size() < 290)
        deep += "/" + std::string(std::min<std::size_t>(60, 298 - deep.size()), 'x');
    const fs::path long300 = CopyTo(fs::path(deep.substr(0, 295)) / "b.fdb");
    const fs::path link = Dir("links") / "link.fdb";
    fs::create_symlink(healthy_, link);

    for (const auto& [name, path] : {std::pair{"path with spaces", spaces}, {"accented letters", accents},
                                     {"path of ~300 bytes", long300}, {"symbolic link", link}}) {
        const CliEnd end = Test(path.string());
        SCOPED_TRACE(name);
        EXPECT_EQ(end.exitCode, 0) << end.err;
        EXPECT_NE(end.out.find(kConnected), std::string::npos);
        Record(std::string(name) + " (" + std::to_string(path.string().size()) + " bytes)", end);
    }
}

TEST_F(CliBadInput, PathsThatNameNoFileGetTheNotFoundMessage)
{
    const fs::path directory = Dir("pasta.fdb");
    const fs::path dangling = Dir("links") / "dangling.fdb";
    fs::create_symlink(Dir("links") / "nowhere.fdb", dangling);
    for (const auto& [name, path] : {std::pair<std::string, std::string>{"directory", directory.string()},
                                     {"dangling link", dangling.string()},
                                     {"leading space", " " + healthy_.string()}}) {
        const CliEnd end = Test(path);
        SCOPED_TRACE(name);
        EXPECT_EQ(end.exitCode, 2);
        EXPECT_NE(end.err.find(kNotFound), std::string::npos) << end.err;
        Record(name, end);
    }
}

TEST_F(CliBadInput, PathOf4000BytesGetsAnAnswer)
{
    std::string deep = Dir("deep").string();
    while (deep.size() < 3990)
        deep += "/" + std::string(std::min<std::size_t>(200, 3994 - deep.size()), 'y');
    const fs::path path = CopyTo(fs::path(deep) / "b.fdb");
    const CliEnd end = Test(path.string());
    ExpectAnswered(end);
    Record("path of " + std::to_string(path.string().size()) + " bytes", end);
}

TEST_F(CliBadInput, CredentialsAreSentAsGivenOrRefused)
{
    const std::string right = server().password();
    struct Case {
        std::string name, user, password;
    };
    const Case cases[] = {
        {"password with '='", "SYSDBA", right + "=x"},
        {"user with '='", "SYS=DBA", right},
        {"password with spaces at its ends", "SYSDBA", " " + right + " "},
        {"user with spaces at its ends", " SYSDBA ", right},
        {"user of 31 bytes", std::string(31, 'U'), right},
        {"user of 32 bytes", std::string(32, 'U'), right},
        {"user of 255 bytes", std::string(255, 'U'), right},
        {"user of 256 bytes", std::string(256, 'U'), right},
        {"password of 255 bytes", "SYSDBA", std::string(255, 'p')},
        {"password of 256 bytes", "SYSDBA", std::string(256, 'p')},
        {"UTF-8 letters", "JOS\xC3\x89", "se\xC3\xB1ha"},
    };
    for (const Case& c : cases) {
        const CliEnd end = Test(healthy_.string(), c.user, c.password);
        SCOPED_TRACE(c.name);
        ExpectAnswered(end);
        EXPECT_EQ(end.exitCode, 2) << "only SYSDBA with its own password may attach";
        Record(c.name, end);
    }
    // None of them stopped the server: a user name over 31 bytes would have, had it been sent.
    const CliEnd after = Test(healthy_.string());
    EXPECT_EQ(after.exitCode, 0) << after.err;
}

}  // namespace
