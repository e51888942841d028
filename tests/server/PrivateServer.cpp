#include "PrivateServer.h"

#include "SampleDatabase.h"

#include <arpa/inet.h>
#include <grp.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <sstream>
#include <stdexcept>

#ifndef TOVANEL_FBSERVER_SCRIPT
#error "TOVANEL_FBSERVER_SCRIPT must name tests/server/fbserver.sh"
#endif

namespace testserver {
namespace {

std::map<std::string, std::string> parseEnvLines(const std::string& text) {
    std::map<std::string, std::string> values;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        const auto eq = line.find('=');
        if (eq != std::string::npos && eq > 0) values[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return values;
}

std::string required(const std::map<std::string, std::string>& values, const std::string& key) {
    const auto it = values.find(key);
    if (it == values.end() || it->second.empty()) throw std::runtime_error("fbserver.sh env gave no " + key);
    return it->second;
}

void check(const std::vector<std::string>& argv, const CommandResult& result) {
    if (!result.ok()) throw std::runtime_error(describe(argv, result));
}

std::string trim(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return {};
    const auto last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

// One row per user table: its name and its row count.
constexpr std::string_view kCountScript =
    "set list on;\n"
    "set term ^;\n"
    "execute block returns (table_name varchar(63), table_rows bigint) as begin\n"
    "  for select trim(rdb$relation_name) from rdb$relations\n"
    "      where coalesce(rdb$system_flag, 0) = 0 and rdb$view_blr is null\n"
    "      order by rdb$relation_name into :table_name do begin\n"
    "    execute statement 'select count(*) from \"' || table_name || '\"' into :table_rows;\n"
    "    suspend;\n"
    "  end\n"
    "end^\n"
    "set term ;^\n";

RowCounts parseCounts(const std::string& output) {
    RowCounts counts;
    std::istringstream lines(output);
    std::string line;
    std::string table;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::string key;
        std::string value;
        words >> key >> value;
        if (key == "TABLE_NAME") table = value;
        else if (key == "TABLE_ROWS" && !table.empty()) counts[table] = std::stoll(value);
    }
    return counts;
}

}  // namespace

PrivateServer& PrivateServer::instance() {
    static PrivateServer server;
    return server;
}

PrivateServer::PrivateServer() : script_(TOVANEL_FBSERVER_SCRIPT) {
    const std::vector<std::string> argv{script_.string(), "env"};
    const CommandResult env = runCommand(argv);
    check(argv, env);
    const auto values = parseEnvLines(env.output);
    home_ = required(values, "FIREBIRD");
    scratch_ = required(values, "TOVANEL_FB_SCRATCH");
    instanceName_ = required(values, "TOVANEL_FB_INSTANCE");
    password_ = required(values, "TOVANEL_FB_PASSWORD");
    port_ = std::stoi(required(values, "TOVANEL_FB_PORT"));
    // The client library reads $FIREBIRD/firebird.conf (RemoteServicePort) on first use.
    for (const auto& [key, value] : values) ::setenv(key.c_str(), value.c_str(), 1);
}

bool PrivateServer::reachable() const {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port_));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool connected = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return connected;
}

CommandResult PrivateServer::script(const std::string& command) const {
    const std::vector<std::string> argv{script_.string(), command};
    const CommandResult result = runCommand(argv);
    check(argv, result);
    return result;
}

void PrivateServer::start() { script("start"); }
void PrivateServer::stop() { script("stop"); }
void PrivateServer::kill() { script("kill"); }
void PrivateServer::restart() { script("restart"); }

std::string PrivateServer::remote(const std::filesystem::path& path) { return "localhost:" + path.string(); }

std::filesystem::path PrivateServer::freshPath(std::string_view stem, std::string_view extension) {
    // The pid keeps parallel test processes apart, the counter the calls of one process, and the
    // time earlier runs: the server may still hold files of an earlier run open.
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    std::filesystem::path path;
    do {
        path = scratch_ / (std::string(stem) + "_" + std::to_string(::getpid()) + "_" + std::to_string(++counter_) +
                           "_" + std::to_string(stamp % 1000000007) + std::string(extension));
    } while (std::filesystem::exists(path));
    handedOut_.push_back(path);
    return path;
}

void PrivateServer::createHealthyDatabase(const std::filesystem::path& path, const fbdamage::SampleLayout& layout) {
    fbdamage::createSampleDatabase(path, user_, password_, layout);
}

void PrivateServer::createLargeDatabase(const std::filesystem::path& path, long long rows) {
    fbdamage::createLargeDatabase(path, user_, password_, rows);
}

RowCounts PrivateServer::healthyRowCounts() {
    RowCounts counts;
    for (const auto& [table, rows] : fbdamage::sampleRowCounts()) counts[table] = rows;
    return counts;
}

std::vector<std::uint32_t> PrivateServer::createDamagedDatabase(const std::filesystem::path& path,
                                                                fbdamage::Kind kind, unsigned pages) {
    // Made under another name and copied: the server lets go of a file when its last attachment
    // ends, but the copy is sure to be a file it has never opened.
    const auto healthy = freshPath(path.stem().string() + "_src");
    createHealthyDatabase(healthy);
    copyDatabase(healthy, path);
    fbdamage::DamageOptions options;
    options.kind = kind;
    options.pages = pages;
    return fbdamage::damage(path, options);
}

void PrivateServer::copyDatabase(const std::filesystem::path& from, const std::filesystem::path& to) const {
    std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing);
    handToServer(to);
}

// The scratch directory belongs to the server's account.
void PrivateServer::handToServer(const std::filesystem::path& path) const {
    struct stat owner {};
    if (::stat(scratch_.c_str(), &owner) == 0 && ::geteuid() == 0) {
        if (::chown(path.c_str(), owner.st_uid, owner.st_gid) != 0)
            throw std::runtime_error("cannot hand " + path.string() + " to the server's account");
    }
    ::chmod(path.c_str(), 0660);
}

void PrivateServer::takeFromServer(const std::filesystem::path& path) const {
    if (::geteuid() == 0 && ::chown(path.c_str(), 0, 0) != 0)
        throw std::runtime_error("cannot give " + path.string() + " to root");
    if (::chmod(path.c_str(), 0) != 0) throw std::runtime_error("cannot take every right on " + path.string());
}

CommandResult PrivateServer::isql(const std::filesystem::path& database, const std::string& sql) const {
    return runCommand({"isql-fb", "-q", "-b", "-user", user_, "-password", password_, remote(database)}, sql);
}

CommandResult PrivateServer::gfix(const std::vector<std::string>& switches,
                                  const std::filesystem::path& database) const {
    std::vector<std::string> argv{"gfix"};
    argv.insert(argv.end(), switches.begin(), switches.end());
    argv.insert(argv.end(), {remote(database), "-user", user_, "-password", password_});
    return runCommand(argv);
}

// Through the service manager, as the program does: the server itself writes the backup.
CommandResult PrivateServer::gbakBackup(const std::filesystem::path& database,
                                        const std::filesystem::path& backup) const {
    return runCommand({"gbak", "-b", "-se", "localhost:service_mgr", database.string(), backup.string(), "-user",
                       user_, "-password", password_});
}

CommandResult PrivateServer::gbakRestore(const std::filesystem::path& backup,
                                         const std::filesystem::path& database) const {
    return runCommand({"gbak", "-c", "-rep", "-p", "4096", "-se", "localhost:service_mgr", backup.string(),
                       database.string(), "-user", user_, "-password", password_});
}

CommandResult PrivateServer::validate(const std::filesystem::path& database) const {
    return gfix({"-v", "-full"}, database);
}

std::vector<PrivateServer::Row> PrivateServer::selectRows(const std::filesystem::path& database,
                                                          const std::string& select) const {
    const CommandResult result = isql(database, "set list on;\n" + select + "\n");
    if (!result.ok()) throw std::runtime_error("selecting from " + database.string() + ":\n" + result.output);
    return parseIsqlListRows(result.output);
}

PrivateServer::TextCheck PrivateServer::checkPortugueseText(const std::filesystem::path& database) const {
    const std::vector<Row> rows = selectRows(database, fbdamage::kPortugueseTextSelect);
    return {static_cast<long long>(rows.size()), fbdamage::portugueseTextMismatches(rows)};
}

RowCounts PrivateServer::countRows(const std::filesystem::path& database) const {
    const CommandResult result = isql(database, std::string(kCountScript));
    if (!result.ok()) throw std::runtime_error("counting rows of " + database.string() + ":\n" + result.output);
    return parseCounts(result.output);
}

ReferenceRepair PrivateServer::referenceRepair(const std::filesystem::path& damaged) {
    ReferenceRepair repair;
    repair.mendedCopy = freshPath(damaged.stem().string() + "_ref");
    repair.backup = freshPath(damaged.stem().string() + "_ref", ".gbk");
    repair.restored = freshPath(damaged.stem().string() + "_ref_new");
    copyDatabase(damaged, repair.mendedCopy);

    // The sweep may fail on a damaged file; the repair goes on regardless, as the program's does.
    repair.log += gfix({"-sweep"}, repair.mendedCopy).output;
    repair.log += gfix({"-mend", "-full", "-ignore"}, repair.mendedCopy).output;
    const CommandResult backup = gbakBackup(repair.mendedCopy, repair.backup);
    repair.log += backup.output;
    if (!backup.ok()) throw std::runtime_error("reference backup failed:\n" + repair.log);
    const CommandResult restore = gbakRestore(repair.backup, repair.restored);
    repair.log += restore.output;
    if (!restore.ok()) throw std::runtime_error("reference restore failed:\n" + repair.log);
    repair.counts = countRows(repair.restored);
    return repair;
}

void PrivateServer::removeFreshFiles() {
    if (const char* keep = std::getenv("TOVANEL_KEEP_TEST_FILES"); keep && std::string(keep) == "1") return;
    for (const auto& path : handedOut_) {
        std::error_code ignored;
        std::filesystem::remove(path, ignored);
    }
    handedOut_.clear();
}

bool serverWasProvided() {
    const char* provided = std::getenv("TOVANEL_TEST_SERVER");
    return provided != nullptr && trim(provided) == "1";
}

void RealServerTest::SetUp() {
    if (server().reachable()) return;
    if (serverWasProvided())
        GTEST_FAIL() << "the private Firebird instance '" << server().instanceName() << "' does not answer on port "
                     << server().port() << " although TOVANEL_TEST_SERVER=1";
    GTEST_SKIP() << "no private Firebird instance (run scripts/test.sh, or tests/server/fbserver.sh start)";
}

void RealServerTest::TearDown() { server().removeFreshFiles(); }

}  // namespace testserver
