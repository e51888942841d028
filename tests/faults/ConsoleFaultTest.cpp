// The window's jobs when the server dies or the files are not what they should be: each fault
// ends in one clear error box with the window given back, no temporary backup left behind, and
// the source database neither deleted nor replaced.
#include "FaultFixture.h"

#include <fstream>
#include <ostream>
#include <random>

namespace faults {
namespace {

class ConsoleFaults : public ConsoleFault {
protected:
    // Kills the server at the first line that the output loop of the running pass reads.
    void KillDuring(std::function<bool()> pass)
    {
        port.onProcessPendingEvents = [this, pass, killed = false]() mutable {
            if (!killed && pass()) {
                killed = true;
                server().kill();
            }
        };
    }

};

TEST_F(ConsoleFaults, ServerKilledDuringTheBackupOutputEndsInAnErrorBoxAndLeavesNoBackup)
{
    const fs::path source = HealthyDatabase("kill_backup");
    const auto before = FileIdentity::Of(source);
    const fs::path out = WorkDir("kill_backup_out");
    KillDuring([this] { return form->IBBackupService.Active(); });

    Repair(source, out / "banco_NOVO.FDB");

    ExpectOneErrorBox();
    ExpectWindowRestored();
    EXPECT_EQ(port.LogText().find(kDone), std::string::npos);
    ExpectNoBackupIn(out);
    EXPECT_FALSE(fs::exists(out / "banco_NOVO.FDB"));
    Record("server SIGKILL during backup output (console)", SeenText(), Listing(out));
    ExpectSourceIntact(source, before);
}

TEST_F(ConsoleFaults, ServerKilledDuringTheRestoreOutputEndsInAnErrorBoxAndLeavesNoBackup)
{
    const fs::path source = HealthyDatabase("kill_restore");
    const auto before = FileIdentity::Of(source);
    const fs::path out = WorkDir("kill_restore_out");
    KillDuring([this] { return form->IBRestoreService.Active(); });

    Repair(source, out / "banco_NOVO.FDB");

    ExpectOneErrorBox();
    ExpectWindowRestored();
    EXPECT_EQ(port.LogText().find(kDone), std::string::npos);
    ExpectNoBackupIn(out);
    Record("server SIGKILL during restore output (console)", SeenText(), Listing(out));
    ExpectSourceIntact(source, before);
}

TEST_F(ConsoleFaults, ServerStoppedBeforeAVerificationSaysTheServerIsOff)
{
    const fs::path source = HealthyDatabase("stopped_verify");
    const auto before = FileIdentity::Of(source);
    server().stop();

    Verify(source);

    ExpectOneErrorBox(kServerOff);
    ExpectWindowRestored();
    EXPECT_EQ(port.log, (std::vector<std::string>{"Aguarde... Processo iniciado.", "", "",
                                                  "Unable to complete network request to host \"localhost\".",
                                                  "Failed to establish a connection"}));
    Record("server stopped before verification (console)", SeenText(), "nothing new");
    ExpectSourceIntact(source, before);
}

TEST_F(ConsoleFaults, ServerStoppedBeforeARepairSaysTheServerIsOffAndTouchesNoFile)
{
    const fs::path source = HealthyDatabase("stopped_repair");
    const auto before = FileIdentity::Of(source);
    const fs::path out = WorkDir("stopped_repair_out");
    server().stop();

    Repair(source, out / "banco_NOVO.FDB");

    ExpectOneErrorBox(kServerOff);
    ExpectWindowRestored();
    EXPECT_TRUE(fs::is_empty(out)) << Listing(out);
    Record("server stopped before repair (console)", SeenText(), Listing(out));
    ExpectSourceIntact(source, before);
}

TEST_F(ConsoleFaults, DatabaseRemovedBetweenTheGuardAndTheAttachGivesTheFileMessage)
{
    const fs::path source = HealthyDatabase("removed");
    port.afterFileExists = [&](const std::string& path) {
        if (path == source.string())
            fs::remove(source);
    };

    Test(source);

    ExpectOneErrorBox(kBadFile);
    ExpectWindowRestored();
    Record("database removed between guard and attach (console, test)", SeenText(), "nothing new");
}

TEST_F(ConsoleFaults, DatabaseRemovedBetweenTheGuardAndTheRepairsAttachCreatesNothing)
{
    const fs::path source = HealthyDatabase("removed_repair");
    const fs::path out = WorkDir("removed_repair_out");
    port.afterFileExists = [&](const std::string& path) {
        if (path == source.string())
            fs::remove(source);
    };

    Repair(source, out / "banco_NOVO.FDB");

    ExpectOneErrorBox(kBadFile);
    ExpectWindowRestored();
    EXPECT_TRUE(fs::is_empty(out)) << Listing(out);
    Record("database removed between guard and attach (console, repair)", SeenText(), Listing(out));
}

TEST_F(ConsoleFaults, NewFilesDirectoryNotWritableByTheServerFailsTheRepairCleanly)
{
    const fs::path source = HealthyDatabase("readonly_out");
    const auto before = FileIdentity::Of(source);
    const fs::path out = WorkDir("readonly_out_dir", false);

    Repair(source, out / "banco_NOVO.FDB");

    ExpectOneErrorBox();
    ExpectWindowRestored();
    EXPECT_EQ(port.LogText().find(kDone), std::string::npos);
    EXPECT_TRUE(fs::is_empty(out)) << Listing(out);
    Record("new file's directory not writable by the server (console)", SeenText(), Listing(out));
    ExpectSourceIntact(source, before);
}

TEST_F(ConsoleFaults, FileSystemFullDuringTheBackupFailsTheRepairAndFreesTheSpace)
{
    const fs::path source = HealthyDatabase("full_fs");
    const auto before = FileIdentity::Of(source);
    // Room for the start of the backup, not for all of it.
    const auto small = SmallFileSystem("full_fs_out", "16k");
    if (!small)
        GTEST_SKIP() << "this machine does not let the test mount a small file system";

    Repair(source, *small / "banco_NOVO.FDB");

    ExpectOneErrorBox();
    ExpectWindowRestored();
    EXPECT_EQ(port.LogText().find(kDone), std::string::npos);
    ExpectNoBackupIn(*small);
    Record("file system full during backup (console, tmpfs 16k)", SeenText(), Listing(*small));
    ExpectSourceIntact(source, before);
}

// ---- files that are no database --------------------------------------------------------------

enum class Content { Empty, RandomBytes, Truncated };

struct UnusableFile {
    const char* name;
    Content content;
    friend void PrintTo(const UnusableFile& file, std::ostream* os) { *os << file.name; }
};

class UnusableFiles : public ConsoleFaults, public ::testing::WithParamInterface<UnusableFile> {
protected:
    fs::path MakeFile()
    {
        const fs::path file = server().freshPath(GetParam().name);
        switch (GetParam().content) {
        case Content::Empty:
            std::ofstream(file, std::ios::binary).flush();
            break;
        case Content::RandomBytes: {
            std::mt19937 random(20240611);
            std::string bytes(64 * 1024, '\0');
            for (char& c : bytes)
                c = static_cast<char>(random() & 0xFF);
            std::ofstream(file, std::ios::binary) << bytes;
            break;
        }
        case Content::Truncated: {
            server().createHealthyDatabase(file);
            // The header and the first pages stay; everything after them is gone.
            fs::resize_file(file, fs::file_size(file) / 3);
            break;
        }
        }
        server().handToServer(file);
        return file;
    }
};

TEST_P(UnusableFiles, ConnectionTestShowsOneErrorBox)
{
    const fs::path file = MakeFile();
    const auto before = FileIdentity::Of(file);
    Test(file);
    ExpectOneErrorBox();
    ExpectWindowRestored();
    ExpectSameFile(file, before);
    Record(std::string(GetParam().name) + " (console, test)", SeenText(), "unchanged");
}

TEST_P(UnusableFiles, VerificationShowsOneErrorBoxOrListsTheDamage)
{
    const fs::path file = MakeFile();
    const auto before = FileIdentity::Of(file);
    Verify(file, tovanel::kButtonNo);  // No to the offer to repair, should errors be listed
    ExpectWindowRestored();
    ExpectSameFile(file, before);
    if (!form->EncontrouErro)
        ExpectOneErrorBox();
    Record(std::string(GetParam().name) + " (console, verify)", SeenText(), "unchanged");
}

TEST_P(UnusableFiles, RepairFailsWithOneErrorBoxAndLeavesNoBackup)
{
    const fs::path file = MakeFile();
    const auto before = FileIdentity::Of(file);
    const fs::path out = WorkDir(std::string(GetParam().name) + "_out");
    Repair(file, out / "banco_NOVO.FDB");
    ExpectOneErrorBox();
    ExpectWindowRestored();
    ExpectNoBackupIn(out);
    ExpectSameFile(file, before);
    Record(std::string(GetParam().name) + " (console, repair)", SeenText(), Listing(out));
}

INSTANTIATE_TEST_SUITE_P(Files, UnusableFiles,
                         ::testing::Values(UnusableFile{"zero_bytes", Content::Empty},
                                           UnusableFile{"random_bytes", Content::RandomBytes},
                                           UnusableFile{"truncated", Content::Truncated}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace faults
