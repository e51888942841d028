// Faults of the server and of the files, met by the window's jobs: the real client library and
// the private Firebird instance of the fault tests (stopped and killed here), the window's
// logic behind the scripted fake UI port.
#pragma once

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

inline const std::string kServerOff = "FireBird Server desativado\rou bloqueio pelo firewall!";
inline const std::string kBadFile =
    "* Caminho do BD não encontrado!\r* BD totalmente corrompido!\r* Não é um BD válido";
inline const std::string kRepairDone = "Processo concluido!";

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

class ConsoleFault : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    testserver::PrivateServer& server() { return testserver::PrivateServer::instance(); }

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
    // No temporary backup (a *.GBK file) in the directory.
    static void ExpectNoBackupIn(const fs::path& directory);
    // The file is still there, the same file as before.
    static void ExpectSameFile(const fs::path& path, const std::optional<FileIdentity>& before);
    // The text of the last message box, with its CRs shown as " / ".
    std::string SeenText() const;
    static std::string Listing(const fs::path& directory);

    GuardedPort port;
    std::unique_ptr<TFrmPrincipal> form;
};

}  // namespace faults
