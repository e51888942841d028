// The private Firebird 3 instance as tests see it (started by tests/server/fbserver.sh), and the
// GoogleTest fixture for tests that need the real server.
//
// PrivateServer::instance() reads the instance's environment from the script and puts FIREBIRD
// into this process's environment, so the client library, loaded later in the same process,
// reaches the instance as "localhost". Create it before the first call into the client library.
//
// When the test command provided the server (TOVANEL_TEST_SERVER=1) and it cannot be reached,
// RealServerTest fails; without that variable it skips.
#pragma once

#include "FbDamage.h"
#include "SampleDatabase.h"
#include "Subprocess.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace testserver {

// Rows per user table, by upper-case table name.
using RowCounts = std::map<std::string, long long>;

// What the server's own tools recover from a damaged database: sweep, mend, backup, restore.
struct ReferenceRepair {
    std::filesystem::path mendedCopy;   // the copy that was swept and mended
    std::filesystem::path backup;       // the backup written by the server
    std::filesystem::path restored;     // the database restored from it, page size 4096
    RowCounts counts;                   // rows per table of the restored database
    std::string log;                    // everything the tools printed
};

class PrivateServer {
public:
    static PrivateServer& instance();

    const std::string& user() const { return user_; }
    const std::string& password() const { return password_; }
    const std::string& instanceName() const { return instanceName_; }
    int port() const { return port_; }
    const std::filesystem::path& scratch() const { return scratch_; }
    const std::filesystem::path& home() const { return home_; }

    // Something accepts connections on the instance's port.
    bool reachable() const;
    void start();
    void stop();     // TERM, short wait, KILL
    void kill();     // KILL at once
    void restart();

    // "localhost:" + path: how the client addresses a database of this instance.
    static std::string remote(const std::filesystem::path& path);

    // A name in the scratch directory that no earlier test of any process used.
    std::filesystem::path freshPath(std::string_view stem, std::string_view extension = ".fdb");

    // A database with three tables (CLIENTES, PEDIDOS, PRODUTOS), rows and indexes; made by the
    // server, so the server's account owns it.
    void createHealthyDatabase(const std::filesystem::path& path, const fbdamage::SampleLayout& layout = {});
    static RowCounts healthyRowCounts();
    // A healthy database of `rows` rows of about a page each (fbdamage::createLargeDatabase).
    void createLargeDatabase(const std::filesystem::path& path, long long rows);

    // A healthy database with the given damage; returns the damaged page numbers.
    std::vector<std::uint32_t> createDamagedDatabase(const std::filesystem::path& path, fbdamage::Kind kind,
                                                     unsigned pages = 2);

    // Copies a database file and hands the copy to the server's account.
    void copyDatabase(const std::filesystem::path& from, const std::filesystem::path& to) const;
    // Gives a file made by the test to the server's account, readable and writable by it.
    void handToServer(const std::filesystem::path& path) const;
    // Takes a file from the server's account: owned by root (when the test runs as root), mode
    // 000, so the server may not open it.
    void takeFromServer(const std::filesystem::path& path) const;

    // Runs the server's tools against this instance, as SYSDBA.
    CommandResult isql(const std::filesystem::path& database, const std::string& script) const;
    CommandResult gfix(const std::vector<std::string>& switches, const std::filesystem::path& database) const;
    CommandResult gbakBackup(const std::filesystem::path& database, const std::filesystem::path& backup) const;
    CommandResult gbakRestore(const std::filesystem::path& backup, const std::filesystem::path& database) const;
    CommandResult validate(const std::filesystem::path& database) const;  // gfix -v -full

    // The rows of a select, column name to the value isql shows (OCTETS as hex, NULL as "<null>");
    // throws std::runtime_error when isql fails.
    using Row = IsqlRow;
    std::vector<Row> selectRows(const std::filesystem::path& database, const std::string& select) const;

    // Reads the text columns of CLIENTES of a Portuguese sample as bytes and compares each with
    // the bytes the sample wrote (Latin-1, the same in WIN1252 and ISO8859_1 for its letters).
    struct TextCheck {
        long long rows = 0;                   // rows read
        std::vector<std::string> mismatches;  // "id column: read X, wrote Y"
    };
    TextCheck checkPortugueseText(const std::filesystem::path& database) const;

    // Rows per user table; throws std::runtime_error when the database cannot be counted.
    RowCounts countRows(const std::filesystem::path& database) const;

    // The server's own repair of a copy of `damaged`.
    ReferenceRepair referenceRepair(const std::filesystem::path& damaged);

    // Removes the files that freshPath handed out (the server may still hold some open; on this
    // platform that does not stop the removal).
    void removeFreshFiles();

private:
    PrivateServer();
    CommandResult script(const std::string& command) const;

    std::filesystem::path script_;
    std::filesystem::path home_;
    std::filesystem::path scratch_;
    std::string instanceName_;
    std::string user_ = "SYSDBA";
    std::string password_;
    int port_ = 0;
    unsigned counter_ = 0;
    std::vector<std::filesystem::path> handedOut_;
};

// Whether the test command promised a server (TOVANEL_TEST_SERVER=1).
bool serverWasProvided();

// Base fixture: fails (or skips, see above) when the instance does not answer, and removes the
// test's fresh files afterwards.
class RealServerTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    PrivateServer& server() { return PrivateServer::instance(); }
};

}  // namespace testserver
