#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <vector>

#include "ProcessList.h"
#include "ServerAccount.h"

namespace tovanel {
namespace {
namespace fs = std::filesystem;

// One entry of a fake /proc: a directory with a comm file and an exe link, either of which may
// be left out. A comm of "<dir>" makes comm a directory, which cannot be read as a file.
struct FakeProcess {
    std::string entry;
    std::optional<std::string> comm;
    std::optional<std::string> exe;
    std::optional<std::string> status = std::nullopt;  // the status file's text
};

class FakeProcTree {
public:
    explicit FakeProcTree(const std::vector<FakeProcess>& processes) {
        char pattern[] = "/tmp/tovanel-proc-XXXXXX";
        root_ = ::mkdtemp(pattern);
        for (const FakeProcess& p : processes) {
            const fs::path dir = root_ / p.entry;
            fs::create_directories(dir);
            if (p.comm == "<dir>")
                fs::create_directory(dir / "comm");
            else if (p.comm)
                std::ofstream(dir / "comm") << *p.comm << '\n';
            if (p.exe) fs::create_symlink(*p.exe, dir / "exe");
            if (p.status) std::ofstream(dir / "status") << *p.status;
        }
    }
    ~FakeProcTree() { fs::remove_all(root_); }
    const fs::path& root() const { return root_; }

private:
    fs::path root_;
};

struct WalkCase {
    const char* why;
    std::vector<FakeProcess> processes;
    bool running;
};

TEST(ProcessList, FindsAServerByItsWholeNameWithoutRegardToAsciiCase) {
    const WalkCase cases[] = {
        {"no process at all", {}, false},
        {"only other processes", {{"1", "init", "/sbin/init"}, {"77", "bash", "/bin/bash"}}, false},
        {"firebird among others", {{"1", "init", "/sbin/init"}, {"900", "firebird", "/usr/sbin/firebird"}}, true},
        {"each 2.x name counts", {{"5", "fbserver", std::nullopt}}, true},
        {"classic server", {{"5", "fb_inet_server", std::nullopt}}, true},
        {"superclassic server", {{"5", "fb_smp_server", std::nullopt}}, true},
        {"upper-case name", {{"5", "FIREBIRD", std::nullopt}}, true},
        {"mixed-case name", {{"5", "Fb_Inet_Server", std::nullopt}}, true},
        {"a name that only begins with a server's", {{"5", "firebird_helper", std::nullopt}}, false},
        {"a name that only ends with a server's", {{"5", "myfirebird", std::nullopt}}, false},
        {"the Windows name does not count here", {{"5", "fbserver.exe", std::nullopt}}, false},
        {"a shortened name", {{"5", "fireb", std::nullopt}}, false},
        {"no comm: base name of exe", {{"5", std::nullopt, "/opt/firebird/bin/fbserver"}}, true},
        {"unreadable comm: base name of exe", {{"5", "<dir>", "/usr/sbin/firebird"}}, true},
        {"comm read wins over exe", {{"5", "bash", "/usr/sbin/firebird"}}, false},
        {"neither readable", {{"5", "<dir>", std::nullopt}, {"6", std::nullopt, std::nullopt}}, false},
        {"unreadable entry before a server", {{"5", "<dir>", std::nullopt}, {"6", "firebird", std::nullopt}}, true},
        {"non-process entries are ignored", {{"self", "firebird", std::nullopt}, {"12a", "firebird", std::nullopt}}, false},
        // The Kelvin sign folds to k under full Unicode rules, which must not apply here.
        {"non-ASCII look-alike", {{"5", "fb_smp_server\xE2\x84\xAA", std::nullopt}}, false},
    };
    for (const WalkCase& c : cases) {
        SCOPED_TRACE(c.why);
        FakeProcTree tree(c.processes);
        EXPECT_EQ(AnyProcessNamed(FirebirdServerExecutables(), tree.root()), c.running);
    }
}

TEST(ProcessList, SearchesForTheLinuxServerNamesInOrder) {
    const auto names = FirebirdServerExecutables();
    EXPECT_EQ(std::vector<std::string>(names.begin(), names.end()),
              (std::vector<std::string>{"firebird", "fbserver", "fb_smp_server", "fb_inet_server"}));
}

TEST(ProcessList, GivenNamesAreFoldedToo) {
    FakeProcTree tree({{"5", "firebird", std::nullopt}});
    const std::string upper[] = {"FIREBIRD"};
    EXPECT_TRUE(AnyProcessNamed(upper, tree.root()));
}

TEST(ProcessList, AnUnreadableProcessListReadsAsStopped) {
    EXPECT_FALSE(AnyProcessNamed(FirebirdServerExecutables(), "/nonexistent/proc"));
    FakeProcTree tree({{"5", "firebird", std::nullopt}});
    const fs::path notADirectory = tree.root() / "5" / "comm";
    EXPECT_FALSE(AnyProcessNamed(FirebirdServerExecutables(), notADirectory));
}

TEST(ProcessList, TheRealProcessListFindsThisTestByItsOwnName) {
    std::string self;
    std::getline(std::ifstream("/proc/self/comm"), self);
    ASSERT_FALSE(self.empty());
    const std::string mine[] = {self};
    EXPECT_TRUE(AnyProcessNamed(mine));
    const std::string nobody[] = {"no-such-process-" + std::to_string(::getpid())};
    EXPECT_FALSE(AnyProcessNamed(nobody));
}

std::string StatusWithUids(const std::string& uids) {
    return "Name:\tfirebird\nState:\tS (sleeping)\nUid:\t" + uids + "\nGid:\t105\t105\t105\t105\n";
}

struct OwnersCase {
    const char* why;
    std::vector<FakeProcess> processes;
    std::vector<unsigned> owners;
};

TEST(ProcessList, TheServersOwnersAreTheIdsTheyOpenFilesAsEachOnce) {
    const OwnersCase cases[] = {
        {"no server", {{"1", "init", std::nullopt, StatusWithUids("0\t0\t0\t0")}}, {}},
        {"one server", {{"900", "firebird", std::nullopt, StatusWithUids("102\t102\t102\t102")}}, {102}},
        {"the file-system id, not the real one",
         {{"900", "firebird", std::nullopt, StatusWithUids("0\t102\t102\t103")}}, {103}},
        {"two servers of one account, another's",
         {{"900", "firebird", std::nullopt, StatusWithUids("102\t102\t102\t102")},
          {"901", "fbserver", std::nullopt, StatusWithUids("102\t102\t102\t102")},
          {"902", "fb_inet_server", std::nullopt, StatusWithUids("0\t0\t0\t0")}},
         {0, 102}},
        {"other processes do not count",
         {{"5", "bash", std::nullopt, StatusWithUids("7\t7\t7\t7")},
          {"6", "firebird", std::nullopt, StatusWithUids("102\t102\t102\t102")}},
         {102}},
        {"no status file", {{"900", "firebird", std::nullopt}}, {}},
        {"a status without ids", {{"900", "firebird", std::nullopt, "Name:\tfirebird\n"}}, {}},
        {"a short Uid line", {{"900", "firebird", std::nullopt, StatusWithUids("102\t102")}}, {}},
    };
    for (const OwnersCase& c : cases) {
        SCOPED_TRACE(c.why);
        FakeProcTree tree(c.processes);
        EXPECT_EQ(OwnersOfProcessesNamed(FirebirdServerExecutables(), tree.root()), c.owners);
    }
}

TEST(ServerAccount, NamesTheServersAccountsOrGivesTheIdWhereNoNameIsKnown) {
    // Ids past the 32-bit range of real accounts are never in the user database.
    FakeProcTree tree({{"900", "firebird", std::nullopt, StatusWithUids("0\t0\t0\t0")},
                       {"901", "firebird", std::nullopt, StatusWithUids("4000000001\t4000000001\t4000000001\t4000000001")}});
    EXPECT_EQ(ServerAccountNames(tree.root()), (std::vector<std::string>{"root", "4000000001"})) << "in the ids' order";
    EXPECT_TRUE(ServerAccountNames("/nonexistent/proc").empty());
}

TEST(ServerAccount, TheRealProcessListNamesTheAccountOfAProcessOfThisTestsName) {
    std::string self;
    std::getline(std::ifstream("/proc/self/comm"), self);
    const std::string mine[] = {self};
    EXPECT_EQ(OwnersOfProcessesNamed(mine), std::vector<unsigned>{static_cast<unsigned>(::getuid())})
        << "no other process of this name runs under another account";
}

}  // namespace
}  // namespace tovanel
