// Faults of the server and of the files, met by the window's jobs: the real client library and
// the private Firebird instance of the fault tests (stopped and killed here), the window's
// logic behind the scripted fake UI port.
#pragma once

#include "ConsoleTexts.h"
#include "FakeUiPort.h"
#include "PrivateServer.h"
#include "UFrmPrincipal.h"

#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace faults {

namespace fs = std::filesystem;
using tovanel::TFrmPrincipal;
using tovanel::testing::FakeUiPort;

using tovanel::testing::kBadFile;
using tovanel::testing::kServerOff;
using tovanel::testing::kDone;

// What a file was before a job, to tell afterwards that the job neither deleted nor replaced it.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    static std::optional<FileIdentity> Of(const fs::path& path);
    friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

// A fake port that can act right after the job guard has found the database file.
class GuardedPort : public FakeUiPort {
public:
    std::function<void(const std::string& path)> afterFileExists;
    bool FileExists(const std::string& path) const override;
};

// One-line summary of what a job left, printed for the record of every fault test.
void Record(const std::string& fault, const std::string& seen, const std::string& leftOnDisk);

// The fault instance, started for every test and running again after it; directories and small
// file systems of the test's own; checks of the files a job must leave alone.
class ServerFault : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    testserver::PrivateServer& server() { return testserver::PrivateServer::instance(); }

    // A directory of the test's own for new files; the server's account may write there unless
    // told otherwise.
    fs::path WorkDir(const std::string& stem, bool writableByServer = true);
    // A small file system (tmpfs of the given size), writable by everyone, on a new directory;
    // nothing when this machine does not allow the mount.
    std::optional<fs::path> SmallFileSystem(const std::string& stem, const std::string& size);
    fs::path HealthyDatabase(const std::string& stem);

    // No temporary backup (a *.GBK file) in the directory.
    static void ExpectNoBackupIn(const fs::path& directory);
    // The file is still there, the same file as before.
    static void ExpectSameFile(const fs::path& path, const std::optional<FileIdentity>& before);
    // The source is still the database it was: same file, and the server still reads every row.
    void ExpectSourceIntact(const fs::path& database, const std::optional<FileIdentity>& before);
    static std::string Listing(const fs::path& directory);

private:
    std::vector<fs::path> directories_;
    std::vector<fs::path> mounts_;
};

class ConsoleFault : public ServerFault {
protected:
    void SetUp() override;
    void TearDown() override;

    // The inputs as the operator fills them, with the instance's credentials.
    void Fill(const fs::path& database);
    // Runs a command as the window does: inside the failure guard.
    void Run(void (TFrmPrincipal::*command)());
    // A repair of `database` into `target`: Yes to the confirmation, target in the save dialog.
    void Repair(const fs::path& database, const fs::path& target);
    // Yes to the confirmation; the answer to the offer to repair, when the test expects one.
    void Verify(const fs::path& database, std::optional<int> offerAnswer = std::nullopt);
    void Test(const fs::path& database);

    // The window is idle again: inputs and menu enabled, normal cursor, no job, nothing attached.
    void ExpectWindowRestored() const;
    // Exactly one box, the application's error box, with this text (any text when empty).
    void ExpectOneErrorBox(const std::string& text = {}) const;
    // The text of the last message box, its line breaks shown as "/".
    std::string SeenText() const;

    GuardedPort port;
    std::unique_ptr<TFrmPrincipal> form;
};

}  // namespace faults
