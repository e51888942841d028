// The same faults met by tovanel-cli: each ends with a message on standard error and exit status
// 2, within a bounded time, with no temporary backup left and the source left in place.
#include "CliChild.h"
#include "FaultFixture.h"

#include <fstream>
#include <random>

namespace faults {
namespace {

using namespace std::chrono_literals;

constexpr int kExitFailure = 2;

class CliFaults : public ServerFault {
protected:
    std::vector<std::string> Env() { return {"ISC_USER=" + server().user(), "ISC_PASSWORD=" + server().password()}; }

    std::unique_ptr<CliChild> StartRepair(const fs::path& source, const fs::path& target)
    {
        return std::make_unique<CliChild>(
            std::vector<std::string>{"repair", "--yes", "--output", target.string(), source.string()}, Env());
    }

    CliEnd Run(const std::vector<std::string>& args) { return CliChild(args, Env()).Finish(300s); }

    // A failure the operator can read, and nothing reported as done.
    static void ExpectCleanFailure(const CliEnd& end)
    {
        EXPECT_FALSE(end.timedOut) << "tovanel-cli hung";
        EXPECT_EQ(end.exitCode, kExitFailure) << end.out << end.err;
        EXPECT_FALSE(end.err.empty());
        EXPECT_EQ(end.out.find(kDone), std::string::npos);
    }

    static std::string LastErrorLine(const CliEnd& end)
    {
        std::string err = end.err;
        while (!err.empty() && err.back() == '\n')
            err.pop_back();
        const auto from = err.rfind('\n');
        return from == std::string::npos ? err : err.substr(from + 1);
    }

    // Kills the server while tovanel-cli is inside the output loop of the pass whose line shows.
    CliEnd RepairKillingTheServerAt(const fs::path& source, const fs::path& target, const std::string& passLine)
    {
        auto child = StartRepair(source, target);
        const bool seen = child->WaitForOutput(passLine, 300s);
        EXPECT_TRUE(seen) << "no line with \"" << passLine << "\"";
        // Paused, it cannot read the rest of the output before the server is gone.
        child->Pause();
        server().kill();
        child->Resume();
        return child->Finish(300s);
    }
};

TEST_F(CliFaults, ServerKilledDuringTheBackupOutput)
{
    const fs::path source = HealthyDatabase("cli_kill_backup");
    const auto before = FileIdentity::Of(source);
    const fs::path out = WorkDir("cli_kill_backup_out");
    const CliEnd end = RepairKillingTheServerAt(source, out / "novo.fdb", "readied database");
    ExpectCleanFailure(end);
    ExpectNoBackupIn(out);
    Record("server SIGKILL during backup output (cli)", LastErrorLine(end), Listing(out));
    ExpectSourceIntact(source, before);
}

TEST_F(CliFaults, ServerKilledDuringTheRestoreOutput)
{
    const fs::path source = HealthyDatabase("cli_kill_restore");
    const auto before = FileIdentity::Of(source);
    const fs::path out = WorkDir("cli_kill_restore_out");
    const CliEnd end = RepairKillingTheServerAt(source, out / "novo.fdb", "created database");
    ExpectCleanFailure(end);
    ExpectNoBackupIn(out);
    Record("server SIGKILL during restore output (cli)", LastErrorLine(end), Listing(out));
    ExpectSourceIntact(source, before);
}

TEST_F(CliFaults, ServerStoppedBeforeAVerificationOrARepair)
{
    const fs::path source = HealthyDatabase("cli_stopped");
    const auto before = FileIdentity::Of(source);
    const fs::path out = WorkDir("cli_stopped_out");
    server().stop();

    const CliEnd verify = Run({"verify", "--yes", source.string()});
    ExpectCleanFailure(verify);
    EXPECT_NE(verify.err.find("FireBird Server desativado"), std::string::npos) << verify.err;
    const CliEnd repair = Run({"repair", "--yes", "--output", (out / "novo.fdb").string(), source.string()});
    ExpectCleanFailure(repair);
    EXPECT_NE(repair.err.find("FireBird Server desativado"), std::string::npos) << repair.err;
    EXPECT_TRUE(fs::is_empty(out)) << Listing(out);
    Record("server stopped before verification (cli)", LastErrorLine(verify), "nothing new");
    Record("server stopped before repair (cli)", LastErrorLine(repair), Listing(out));
    ExpectSourceIntact(source, before);
}

TEST_F(CliFaults, NewFilesDirectoryNotWritableByTheServer)
{
    const fs::path source = HealthyDatabase("cli_readonly");
    const auto before = FileIdentity::Of(source);
    const fs::path out = WorkDir("cli_readonly_out", false);
    const CliEnd end = Run({"repair", "--yes", "--output", (out / "novo.fdb").string(), source.string()});
    ExpectCleanFailure(end);
    EXPECT_TRUE(fs::is_empty(out)) << Listing(out);
    Record("new file's directory not writable by the server (cli)", LastErrorLine(end), Listing(out));
    ExpectSourceIntact(source, before);
}

TEST_F(CliFaults, FileSystemFullDuringTheBackup)
{
    const fs::path source = HealthyDatabase("cli_full");
    const auto before = FileIdentity::Of(source);
    const auto small = SmallFileSystem("cli_full_out", "16k");
    if (!small)
        GTEST_SKIP() << "this machine does not let the test mount a small file system";
    const CliEnd end = Run({"repair", "--yes", "--output", (*small / "novo.fdb").string(), source.string()});
    ExpectCleanFailure(end);
    ExpectNoBackupIn(*small);
    Record("file system full during backup (cli, tmpfs 16k)", LastErrorLine(end), Listing(*small));
    ExpectSourceIntact(source, before);
}

TEST_F(CliFaults, ZeroByteRandomAndTruncatedFilesFailEveryCommand)
{
    const fs::path empty = server().freshPath("cli_zero");
    std::ofstream(empty, std::ios::binary).flush();
    const fs::path random = server().freshPath("cli_random");
    {
        std::mt19937 generator(7);
        std::string bytes(64 * 1024, '\0');
        for (char& c : bytes)
            c = static_cast<char>(generator() & 0xFF);
        std::ofstream(random, std::ios::binary) << bytes;
    }
    const fs::path truncated = HealthyDatabase("cli_truncated");
    fs::resize_file(truncated, fs::file_size(truncated) / 3);
    const fs::path out = WorkDir("cli_unusable_out");

    for (const fs::path& file : {empty, random, truncated}) {
        server().handToServer(file);
        const auto before = FileIdentity::Of(file);
        for (const std::string command : {"test", "verify", "repair"}) {
            std::vector<std::string> args{command, "--yes"};
            if (command == "repair")
                args.insert(args.end(), {"--output", (out / "novo.fdb").string()});
            args.push_back(file.string());
            const CliEnd end = Run(args);
            SCOPED_TRACE(command + " " + file.filename().string());
            ExpectCleanFailure(end);
            ExpectSameFile(file, before);
            Record(file.filename().string() + " (cli, " + command + ")", LastErrorLine(end), Listing(out));
        }
    }
    ExpectNoBackupIn(out);
}

}  // namespace
}  // namespace faults
