// The private instance and the fixture, proved against the real server: it answers on its own
// loopback port, healthy databases validate clean, every damage kind is reported by the server's
// validation, and the server's own repair recovers rows.
#include "PrivateServer.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <numeric>
#include <sstream>

namespace {

using fbdamage::Kind;
using testserver::PrivateServer;
using testserver::RowCounts;

long long total(const RowCounts& counts) {
    return std::accumulate(counts.begin(), counts.end(), 0LL, [](long long s, const auto& e) { return s + e.second; });
}

// Listening TCP sockets on a port, as local addresses in /proc/net/tcp form ("0100007F" is
// 127.0.0.1). IPv6 sockets would show up in /proc/net/tcp6.
std::vector<std::string> listeners(int port, const char* table) {
    std::ifstream in(table);
    std::vector<std::string> found;
    std::string line;
    std::getline(in, line);
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string slot, local, remote, state;
        words >> slot >> local >> remote >> state;
        const auto colon = local.find(':');
        if (state == "0A" && colon != std::string::npos &&
            std::stoi(local.substr(colon + 1), nullptr, 16) == port)
            found.push_back(local.substr(0, colon));
    }
    return found;
}

class PrivateInstance : public testserver::RealServerTest {};

TEST_F(PrivateInstance, ListensOnItsOwnPortOnLoopbackOnly) {
    EXPECT_EQ(listeners(server().port(), "/proc/net/tcp"), std::vector<std::string>{"0100007F"});
    EXPECT_TRUE(listeners(server().port(), "/proc/net/tcp6").empty());
}

TEST_F(PrivateInstance, HasARealIntlDirectoryHoldingTheCharacterSetModule) {
    namespace fs = std::filesystem;
    const fs::path intl = server().home() / "intl";
    EXPECT_FALSE(fs::is_symlink(intl)) << "through a link the server cannot find the module again";
    EXPECT_TRUE(fs::is_directory(intl));
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(intl / "libfbintl.so")));
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(intl / "fbintl.conf")));
}

TEST_F(PrivateInstance, StartSaysPlainlyWhenTheCharacterSetModuleIsMissing) {
    namespace fs = std::filesystem;
    const fs::path root = server().scratch() / ("sem-intl-" + std::to_string(::getpid()));
    const fs::path system = root / "system";
    fs::create_directories(system);
    const auto result = testserver::runCommand(
        {"env", "TOVANEL_FB_ROOT=" + root.string(), "TOVANEL_FB_INSTANCE=sem_intl", "TOVANEL_FB_PORT=3060",
         "TOVANEL_FB_SYSTEM_DIR=" + system.string(), TOVANEL_FBSERVER_SCRIPT_PATH, "start"});
    fs::remove_all(root);
    EXPECT_FALSE(result.ok());
    EXPECT_NE(result.output.find("character sets would be missing"), std::string::npos) << result.output;
}

TEST_F(PrivateInstance, KeepsTheTextOfEveryCharacterSetByteForByte) {
    const auto db = server().freshPath("latin1");
    server().createHealthyDatabase(db, {.characterSet = "WIN1252", .pageSize = 4096, .portugueseText = true});
    const auto columns = server().selectRows(
        db, "select trim(rf.rdb$field_name) as col, trim(cs.rdb$character_set_name) as cs"
            " from rdb$relation_fields rf join rdb$fields f on f.rdb$field_name = rf.rdb$field_source"
            " join rdb$character_sets cs on cs.rdb$character_set_id = f.rdb$character_set_id"
            " where rf.rdb$relation_name = 'CLIENTES' order by rf.rdb$field_position;");
    std::vector<std::string> charsets;
    for (const auto& row : columns) charsets.push_back(row.at("COL") + " " + row.at("CS"));
    EXPECT_EQ(charsets, (std::vector<std::string>{"NOME WIN1252", "CIDADE WIN1252", "BAIRRO ISO8859_1",
                                                  "LEGADO NONE"}));

    const auto check = server().checkPortugueseText(db);
    EXPECT_EQ(check.rows, PrivateServer::healthyRowCounts().at("CLIENTES"));
    EXPECT_TRUE(check.mismatches.empty()) << check.mismatches.size() << " differ, first: " << check.mismatches[0];
}

// The fixture makes the layout asked for: the server reads back that page size and that default
// character set, for more than one of each.
TEST_F(PrivateInstance, MakesDatabasesInTheCharacterSetAndPageSizeAsked) {
    const struct {
        const char* characterSet;
        unsigned pageSize;
    } layouts[] = {{"WIN1252", 8192}, {"ISO8859_1", 16384}, {"UTF8", 4096}};
    for (const auto& layout : layouts) {
        SCOPED_TRACE(std::string(layout.characterSet) + " " + std::to_string(layout.pageSize));
        const auto db = server().freshPath("layout");
        server().createHealthyDatabase(db, {.characterSet = layout.characterSet, .pageSize = layout.pageSize});
        const auto rows = server().selectRows(
            db, "select m.mon$page_size as page_size, trim(d.rdb$character_set_name) as cs"
                " from mon$database m cross join rdb$database d;");
        ASSERT_EQ(rows.size(), 1u);
        EXPECT_EQ(rows[0].at("PAGE_SIZE"), std::to_string(layout.pageSize));
        EXPECT_EQ(rows[0].at("CS"), layout.characterSet);
    }
}

TEST_F(PrivateInstance, ClientsReachItAsLocalhostThroughTheirFirebirdDirectory) {
    const auto db = server().freshPath("reach");
    server().createHealthyDatabase(db);
    const auto answer = server().isql(db, "set list on; select mon$remote_protocol as proto, "
                                          "rdb$get_context('SYSTEM', 'ENGINE_VERSION') as engine "
                                          "from mon$attachments, rdb$database "
                                          "where mon$attachment_id = current_connection;");
    ASSERT_TRUE(answer.ok()) << answer.output;
    EXPECT_NE(answer.output.find("TCPv4"), std::string::npos) << answer.output;
    EXPECT_NE(answer.output.find("3.0."), std::string::npos) << answer.output;

    // The same client without the instance's directory looks on the standard port, where nothing
    // of ours listens.
    const auto elsewhere = testserver::runCommand(
        {"env", "FIREBIRD=" + server().scratch().string() + "/no-such-dir", "isql-fb", "-q", "-user", "SYSDBA",
         "-password", server().password(), PrivateServer::remote(db)},
        "select 1 from rdb$database;");
    EXPECT_EQ(elsewhere.output.find("TCPv4"), std::string::npos);
    EXPECT_NE(elsewhere.output.find("Unable to complete network request"), std::string::npos) << elsewhere.output;
}

TEST_F(PrivateInstance, ServiceManagerAnswersAsLocalhostServiceMgr) {
    const auto db = server().freshPath("svc");
    const auto backup = server().freshPath("svc", ".gbk");
    server().createHealthyDatabase(db);
    const auto result = server().gbakBackup(db, backup);
    EXPECT_TRUE(result.ok()) << result.output;
    EXPECT_GT(std::filesystem::file_size(backup), 0u);
}

TEST_F(PrivateInstance, SysdbaHasTheProgramsDefaultPasswordAndNoOther) {
    const auto db = server().freshPath("login");
    server().createHealthyDatabase(db);
    EXPECT_TRUE(server().isql(db, "select 1 from rdb$database;").ok());
    const auto wrong = testserver::runCommand(
        {"isql-fb", "-q", "-user", "SYSDBA", "-password", "masterkey", PrivateServer::remote(db)},
        "select 1 from rdb$database;");
    EXPECT_NE(wrong.output.find("Your user name and password are not defined"), std::string::npos) << wrong.output;
}

TEST_F(PrivateInstance, HealthyDatabaseHasItsRowsAndValidatesClean) {
    const auto db = server().freshPath("healthy");
    server().createHealthyDatabase(db);
    EXPECT_EQ(server().countRows(db), PrivateServer::healthyRowCounts());
    const auto check = server().validate(db);
    EXPECT_TRUE(check.ok()) << check.output;
    EXPECT_EQ(check.output, "");
}

struct DamageCase {
    Kind kind;
    const char* reportLine;   // the line the server's validation must print
    bool losesRows;           // whether the server's repair can lose rows
};

const DamageCase kDamageCases[] = {
    {Kind::Records, "Number of record level errors", true},
    {Kind::BTree, "Number of index page errors", false},
    {Kind::Count, "Number of data page errors", true},
    {Kind::ZeroPage, "Number of data page errors", true},
};

class DamagedDatabase : public testserver::RealServerTest, public ::testing::WithParamInterface<DamageCase> {};

TEST_P(DamagedDatabase, ValidationReportsTheDamage) {
    const auto db = server().freshPath(std::string("damaged_") + std::string(kindName(GetParam().kind)));
    const auto pages = server().createDamagedDatabase(db, GetParam().kind);
    EXPECT_EQ(pages.size(), 2u);
    const auto check = server().validate(db);
    EXPECT_NE(check.output.find("Summary of validation errors"), std::string::npos) << check.output;
    EXPECT_NE(check.output.find(GetParam().reportLine), std::string::npos) << check.output;
}

TEST_P(DamagedDatabase, ServersOwnRepairRecoversTheRowsItCan) {
    const auto db = server().freshPath(std::string("repair_") + std::string(kindName(GetParam().kind)));
    server().createDamagedDatabase(db, GetParam().kind);
    const auto repair = server().referenceRepair(db);
    const RowCounts healthy = PrivateServer::healthyRowCounts();
    ASSERT_EQ(repair.counts.size(), healthy.size()) << repair.log;
    for (const auto& [table, rows] : healthy) {
        EXPECT_LE(repair.counts.at(table), rows) << table;
        EXPECT_GT(repair.counts.at(table), 0) << table;
    }
    if (GetParam().losesRows)
        EXPECT_LT(total(repair.counts), total(healthy)) << "damaged data pages must cost rows";
    else
        EXPECT_EQ(repair.counts, healthy) << "index damage costs no rows";
    EXPECT_TRUE(server().validate(repair.restored).output.empty()) << "the restored database is sound";
}

INSTANTIATE_TEST_SUITE_P(EveryKind, DamagedDatabase, ::testing::ValuesIn(kDamageCases),
                         [](const auto& info) { return std::string(kindName(info.param.kind)); });

TEST_F(PrivateInstance, FreshPathsNeverRepeat) {
    std::set<std::filesystem::path> seen;
    for (int i = 0; i < 50; ++i) EXPECT_TRUE(seen.insert(server().freshPath("same")).second);
}

}  // namespace
