// The first try on a machine: scripts/try-setup.sh and scripts/try.sh, run for real. Each test
// gives them a Firebird root, instance names and ports of its own, so they never meet the test
// command's own instance nor the machine's server.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "FakeUiPort.h"
#include "SampleDatabase.h"
#include "Subprocess.h"
#include "UFrmPrincipal.h"

namespace {

namespace fs = std::filesystem;
using testserver::CommandResult;
using testserver::runCommand;
using Vars = std::map<std::string, std::string>;

const fs::path kSource = TOVANEL_SOURCE_DIR;
const fs::path kSetup = kSource / "scripts" / "try-setup.sh";
const fs::path kTry = kSource / "scripts" / "try.sh";
const fs::path kFbServer = kSource / "tests" / "server" / "fbserver.sh";
const std::string kPassword = "ravenpike";

constexpr int kInstancePort = 3091;  // the instance a set-up starts, or the server that already answers
constexpr int kOtherPort = 3092;     // where a set-up that must start nothing would have started one
constexpr int kNobodyPort = 3093;    // nothing listens here: "no server answers on this machine"

bool listening(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool connected = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return connected;
}

// Runs a command with exactly these variables added, and none of the caller's Firebird ones.
CommandResult runWith(const Vars& vars, const std::vector<std::string>& command) {
    std::vector<std::string> argv{"env", "-u", "FIREBIRD", "-u", "ISC_USER", "-u", "ISC_PASSWORD"};
    for (const auto& [key, value] : vars) argv.push_back(key + "=" + value);
    argv.insert(argv.end(), command.begin(), command.end());
    return runCommand(argv);
}

// The set-up's KEY=VALUE lines, picked out of everything it printed.
Vars reportedKeys(const std::string& output) {
    Vars keys;
    std::istringstream lines(output);
    std::string line;
    while (std::getline(lines, line)) {
        const auto eq = line.find('=');
        if (eq == std::string::npos) continue;
        const std::string key = line.substr(0, eq);
        if (key == "FIREBIRD" || key.rfind("TOVANEL_", 0) == 0) keys[key] = line.substr(eq + 1);
    }
    return keys;
}

std::string textOf(const fs::path& file) {
    std::ifstream in(file);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// One private instance as fbserver.sh knows it.
struct Instance {
    fs::path root;
    std::string name;
    int port;

    fs::path home() const { return root / name; }
    Vars vars() const {
        return {{"TOVANEL_FB_ROOT", root.string()}, {"TOVANEL_FB_INSTANCE", name},
                {"TOVANEL_FB_PORT", std::to_string(port)}};
    }
    CommandResult script(const std::string& command) const { return runWith(vars(), {kFbServer.string(), command}); }
    // The server's pid, or 0 when it does not run.
    long pid() const {
        const CommandResult status = script("status");
        std::istringstream words(status.output);
        std::string running, pidWord;
        long pid = 0;
        words >> running >> pidWord >> pid;
        return status.ok() && running == "running" ? pid : 0;
    }
};

// Every file and directory below a directory, by path relative to it.
std::set<std::string> treeOf(const fs::path& directory) {
    std::set<std::string> entries;
    for (const auto& entry : fs::recursive_directory_iterator(directory))
        entries.insert(fs::relative(entry.path(), directory).string());
    return entries;
}

class TrySetup : public ::testing::Test {
protected:
    void SetUp() override {
        for (int port : {kInstancePort, kOtherPort, kNobodyPort})
            ASSERT_FALSE(listening(port)) << "port " << port << " is taken; these tests need it free (a left-over "
                                          << "instance of an earlier run lives under /tmp/tovanel-tryit-*: "
                                          << "TOVANEL_FB_ROOT=<that>/fb tests/server/fbserver.sh stop-all)";
        const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count() % 1000000007;
        root_ = fs::temp_directory_path() / ("tovanel-tryit-" + std::to_string(::getpid()) + "-" +
                                             std::to_string(stamp));
        fs::create_directories(root_);
        fs::permissions(root_, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                   fs::perms::others_read | fs::perms::others_exec);
        own_.root = root_ / "fb";
        other_.root = root_ / "fb-other";
        sampleDir_ = root_ / "sample";
    }

    void TearDown() override {
        for (const Instance* instance : {&own_, &other_}) instance->script("stop");
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }

    // The set-up as a newcomer's machine runs it, but on this test's root, names and ports.
    Vars setupVars(const Instance& instance, int probePort, const fs::path& sampleDir) const {
        Vars vars = instance.vars();
        vars["TOVANEL_TRY_PROBE_PORT"] = std::to_string(probePort);
        vars["TOVANEL_TRY_DIR"] = sampleDir.string();
        vars["TOVANEL_FBDAMAGE"] = TOVANEL_FBDAMAGE_EXE;
        return vars;
    }

    CommandResult runSetup(const Instance& instance, int probePort, const fs::path& sampleDir) const {
        return runWith(setupVars(instance, probePort, sampleDir), {kSetup.string()});
    }

    CommandResult isql(const fs::path& database, const std::string& sql) const {
        return runCommand({"env", "FIREBIRD=" + own_.home().string(), "isql-fb", "-q", "-user", "SYSDBA",
                           "-password", kPassword, "localhost:" + database.string()},
                          sql);
    }

    long long rows(const fs::path& database, const std::string& table) const {
        const CommandResult result = isql(database, "set list on; select count(*) as n from " + table + ";");
        std::istringstream words(result.output);
        std::string key;
        long long n = -1;
        words >> key >> n;
        return key == "N" ? n : -1;
    }

    fs::path root_;
    fs::path sampleDir_;
    Instance own_{{}, "tryit", kInstancePort};        // started by a set-up, or the answering server
    Instance other_{{}, "tryit-other", kOtherPort};  // must never come to exist
};

std::string boxTexts(const tovanel::testing::FakeUiPort& ui) {
    std::string texts;
    for (const auto& box : ui.messageBoxes) texts += "[" + box.title + "] " + box.text + "\n";
    return texts;
}

int lineWith(const std::vector<std::string>& log, const std::string& part) {
    for (std::size_t i = 0; i < log.size(); ++i)
        if (contains(log[i], part)) return static_cast<int>(i);
    return -1;
}

TEST_F(TrySetup, WithNoServerItStartsAnInstanceWhoseSampleTestsVerifiesAndRepairs) {
    const CommandResult setup = runSetup(own_, kNobodyPort, sampleDir_);
    ASSERT_TRUE(setup.ok()) << setup.output;
    const Vars keys = reportedKeys(setup.output);
    EXPECT_EQ(keys.at("TOVANEL_TRY_SERVER"), "private");
    EXPECT_EQ(keys.at("TOVANEL_TRY_STARTED"), "1");
    EXPECT_EQ(keys.at("FIREBIRD"), own_.home().string());
    EXPECT_EQ(keys.at("TOVANEL_FB_PASSWORD"), kPassword) << "the window's default credentials must work";
    const fs::path sample = keys.at("TOVANEL_TRY_SAMPLE");
    EXPECT_EQ(sample.parent_path(), sampleDir_);
    ASSERT_TRUE(fs::is_regular_file(sample));
    EXPECT_NE(own_.pid(), 0) << "the instance runs";
    EXPECT_TRUE(listening(kInstancePort));

    // The console, through the client library, reaches that instance only through FIREBIRD.
    ::setenv("FIREBIRD", keys.at("FIREBIRD").c_str(), 1);
    tovanel::testing::FakeUiPort ui;
    ui.executablePath = (root_ / "bin" / "tovanel").string();
    tovanel::TFrmPrincipal frm(ui);
    frm.FormCreate();
    ui.databasePath = sample.string();  // the default user and password stay as the window fills them

    ASSERT_TRUE(frm.RunHandler([&] { frm.ActnTestaConexaoExecute(); }));
    EXPECT_EQ(ui.log, (std::vector<std::string>{"Aguarde... Verificando conexão", "Banco de dados conectado com sucesso!"}));
    EXPECT_TRUE(ui.messageBoxes.empty()) << boxTexts(ui);

    ui.QueueAnswer(tovanel::kButtonYes);  // start the verification
    ui.QueueAnswer(tovanel::kButtonNo);   // not the repair it then offers
    ASSERT_TRUE(frm.RunHandler([&] { frm.ActnVerificarBancoExecute(); }));
    EXPECT_TRUE(frm.EncontrouErro) << ui.LogText();
    EXPECT_NE(lineWith(ui.log, "Os seguintes erros foram encontrados:"), -1) << ui.LogText();
    // The summary's count lines name the sample's two kinds of damage; the run's problems from
    // the server's log follow after an empty line.
    const int summary = lineWith(ui.log, "Summary of validation errors");
    ASSERT_NE(summary, -1) << ui.LogText();
    for (std::size_t i = static_cast<std::size_t>(summary) + 1; i < ui.log.size() && !ui.log[i].empty(); ++i) {
        const std::string& line = ui.log[i];
        if (line == "-") continue;
        EXPECT_TRUE(contains(line, "Number of record level errors") || contains(line, "Number of index page errors"))
            << line;
    }
    ASSERT_EQ(ui.messageBoxes.size(), 2u) << boxTexts(ui);
    EXPECT_TRUE(contains(ui.messageBoxes[1].text, "Deseja iniciar a reparação agora?"));

    const fs::path repaired = sampleDir_ / "SAMPLE_NOVO.FDB";
    ui.QueueAnswer(tovanel::kButtonYes);
    ui.QueueSaveDialog(repaired.string());
    ASSERT_TRUE(frm.RunHandler([&] { frm.ActnReparabancoExecute(); }));
    ASSERT_FALSE(ui.log.empty());
    EXPECT_EQ(ui.log.back(), "Processo concluido!") << ui.LogText();
    EXPECT_EQ(ui.messageBoxes.size(), 3u) << "no error box:\n" << boxTexts(ui);
    ASSERT_TRUE(fs::is_regular_file(repaired));
    for (const auto& entry : fs::directory_iterator(sampleDir_))
        EXPECT_NE(entry.path().extension(), ".GBK") << "temporary backup left: " << entry.path();

    // The new file is sound and holds what the damage left of the sample's rows.
    const CommandResult check = runCommand({"env", "FIREBIRD=" + own_.home().string(), "gfix", "-v", "-full",
                                            "localhost:" + repaired.string(), "-user", "SYSDBA", "-password",
                                            kPassword});
    EXPECT_TRUE(check.ok() && check.output.empty()) << check.output;
    long long before = 0;
    long long after = 0;
    for (const auto& [table, count] : fbdamage::sampleRowCounts()) {
        const long long left = rows(repaired, table);
        EXPECT_GT(left, 0) << table;
        EXPECT_LE(left, count) << table;
        before += count;
        after += left;
    }
    EXPECT_LT(after, before) << "damaged records cost rows";

    // Like our users' databases, the sample holds accented WIN1252 and ISO8859_1 text and Latin-1
    // bytes in a NONE column; its damage is in the orders, so every client comes through the repair
    // with that text byte for byte.
    const CommandResult text = isql(repaired, std::string("set list on;\n") + fbdamage::kPortugueseTextSelect);
    ASSERT_TRUE(text.ok()) << text.output;
    const auto clientes = testserver::parseIsqlListRows(text.output);
    EXPECT_EQ(static_cast<long long>(clientes.size()), fbdamage::sampleRowCounts().at("CLIENTES"));
    const auto mismatches = fbdamage::portugueseTextMismatches(clientes);
    EXPECT_TRUE(mismatches.empty()) << mismatches.size() << " differ, first: " << mismatches[0];
}

TEST_F(TrySetup, WithAServerAlreadyAnsweringItStartsNothingAndCreatesNothing) {
    ASSERT_TRUE(own_.script("start").ok());
    const long pidBefore = own_.pid();
    ASSERT_NE(pidBefore, 0);
    const auto treeBefore = treeOf(own_.home() / "scratch");

    const CommandResult setup = runSetup(other_, kInstancePort, sampleDir_);
    ASSERT_TRUE(setup.ok()) << setup.output;
    const Vars keys = reportedKeys(setup.output);
    EXPECT_EQ(keys, (Vars{{"TOVANEL_TRY_SERVER", "existing"}, {"TOVANEL_TRY_STARTED", "0"}}));
    EXPECT_FALSE(fs::exists(other_.root)) << "no instance directory";
    EXPECT_FALSE(fs::exists(sampleDir_)) << "no sample directory";
    EXPECT_FALSE(listening(kOtherPort)) << "no server started";
    EXPECT_EQ(own_.pid(), pidBefore) << "the answering server is left running as it was";
    EXPECT_EQ(treeOf(own_.home() / "scratch"), treeBefore);
}

TEST_F(TrySetup, ASecondSetUpWhileItsInstanceRunsLeavesTheInstanceAndTheFirstSampleAlone) {
    const CommandResult first = runSetup(own_, kNobodyPort, sampleDir_);
    ASSERT_TRUE(first.ok()) << first.output;
    const fs::path firstSample = reportedKeys(first.output).at("TOVANEL_TRY_SAMPLE");
    const auto firstWritten = fs::last_write_time(firstSample);
    const long pid = own_.pid();
    ASSERT_NE(pid, 0);

    const CommandResult second = runSetup(own_, kNobodyPort, sampleDir_);
    ASSERT_TRUE(second.ok()) << second.output;
    const Vars keys = reportedKeys(second.output);
    EXPECT_EQ(keys.at("TOVANEL_TRY_STARTED"), "0") << "the caller must not stop an instance it did not start";
    const fs::path secondSample = keys.at("TOVANEL_TRY_SAMPLE");
    EXPECT_NE(secondSample, firstSample);
    EXPECT_TRUE(fs::is_regular_file(secondSample));
    EXPECT_EQ(fs::last_write_time(firstSample), firstWritten) << "the first sample stays as it was";
    EXPECT_EQ(own_.pid(), pid);
}

// Something that accepts connections on the port but is no database server.
class StrangeListener {
public:
    enum class Manner { HangUp, SpeakHttp, KeepSilent };

    StrangeListener(int port, Manner manner) : manner_(manner) {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const int yes = 1;
        ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<std::uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bound_ = ::bind(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 && ::listen(fd_, 8) == 0;
        thread_ = std::thread([this] { serve(); });
    }
    ~StrangeListener() {
        ::shutdown(fd_, SHUT_RDWR);
        thread_.join();
        ::close(fd_);
        for (int client : held_) ::close(client);
    }
    StrangeListener(const StrangeListener&) = delete;
    StrangeListener& operator=(const StrangeListener&) = delete;
    bool bound() const { return bound_; }

private:
    void serve() {
        static const std::string http = "HTTP/1.0 400 Bad Request\r\nContent-Length: 0\r\n\r\n";
        for (;;) {
            const int client = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
            if (client < 0) return;
            if (manner_ == Manner::KeepSilent) {
                held_.push_back(client);
                continue;
            }
            if (manner_ == Manner::SpeakHttp) (void)!::write(client, http.data(), http.size());
            ::close(client);
        }
    }
    Manner manner_;
    int fd_ = -1;
    bool bound_ = false;
    std::vector<int> held_;
    std::thread thread_;
};

TEST_F(TrySetup, OnlyARealFirebirdServerCountsAsAnswering) {
    const auto probe = [](int port) {
        return runWith({{"TOVANEL_TRY_PROBE_TIMEOUT", "3"}}, {kSetup.string(), "probe", std::to_string(port)});
    };
    const auto answers = [&](int port) {
        const CommandResult result = probe(port);
        EXPECT_TRUE(result.exitCode == 0 || result.exitCode == 1) << result.output;
        return result.exitCode == 0;
    };

    EXPECT_FALSE(answers(kNobodyPort)) << "nothing listening";
    using Manner = StrangeListener::Manner;
    const std::pair<Manner, const char*> strangers[] = {
        {Manner::HangUp, "a listener that hangs up at once"},
        {Manner::SpeakHttp, "a listener that speaks another protocol"},
        {Manner::KeepSilent, "a listener that never says a word"},
    };
    for (const auto& [manner, what] : strangers) {
        const StrangeListener stranger(kNobodyPort, manner);
        ASSERT_TRUE(stranger.bound()) << what;
        EXPECT_FALSE(answers(kNobodyPort)) << what;
    }
    ASSERT_TRUE(own_.script("start").ok());
    EXPECT_TRUE(answers(kInstancePort)) << "a Firebird server, although it refuses the probe's login";
}

TEST_F(TrySetup, ASetUpThatFailsStopsTheInstanceItStarted) {
    Vars vars = setupVars(own_, kNobodyPort, sampleDir_);
    vars["TOVANEL_FBDAMAGE"] = "/bin/false";  // the damage step fails after the instance started
    const CommandResult setup = runWith(vars, {kSetup.string()});
    EXPECT_NE(setup.exitCode, 0) << setup.output;
    EXPECT_EQ(own_.pid(), 0) << setup.output;
    EXPECT_FALSE(listening(kInstancePort));
}

// try.sh itself, with a stand-in for the window that records what it was given.
class TryScript : public TrySetup {
protected:
    fs::path window() {
        const fs::path script = root_ / "window.sh";
        std::ofstream(script) << "#!/bin/sh\n"
                                 "{ echo \"FIREBIRD=${FIREBIRD-unset}\"\n"
                                 "  if fbsvcmgr localhost:service_mgr -user SYSDBA -password " << kPassword
                              << " -info_server_version >/dev/null 2>&1\n"
                                 "  then echo reached=yes; else echo reached=no; fi\n"
                                 "} >\"$WINDOW_RECORD\"\n"
                                 "exit \"${WINDOW_EXIT:-0}\"\n";
        fs::permissions(script, fs::perms::owner_all);
        return script;
    }
    CommandResult runTry(const Instance& instance, int probePort, int windowExit) {
        fs::remove(record());
        Vars vars = setupVars(instance, probePort, sampleDir_);
        vars["TOVANEL_TRY_NO_BUILD"] = "1";
        vars["TOVANEL_TRY_WINDOW"] = window().string();
        vars["WINDOW_RECORD"] = record().string();
        vars["WINDOW_EXIT"] = std::to_string(windowExit);
        return runWith(vars, {kTry.string()});
    }
    fs::path record() const { return root_ / "window.record"; }
};

TEST_F(TryScript, OpensTheWindowOnTheInstanceItStartedAndStopsItWhenTheWindowCloses) {
    for (const int windowExit : {0, 3}) {
        SCOPED_TRACE("window exit status " + std::to_string(windowExit));
        const CommandResult run = runTry(own_, kNobodyPort, windowExit);
        EXPECT_EQ(run.exitCode, windowExit) << run.output;
        EXPECT_EQ(textOf(record()), "FIREBIRD=" + own_.home().string() + "\nreached=yes\n");
        EXPECT_TRUE(contains(run.output, (sampleDir_ / "SAMPLE.FDB").string())) << run.output;
        EXPECT_TRUE(contains(run.output, "SYSDBA / " + kPassword)) << run.output;
        EXPECT_EQ(own_.pid(), 0) << "stopped when the window closed";
        EXPECT_FALSE(listening(kInstancePort));
    }
}

TEST_F(TryScript, OpensTheWindowOnAnAnsweringServerAndLeavesItRunning) {
    ASSERT_TRUE(own_.script("start").ok());
    const long pid = own_.pid();
    const CommandResult run = runTry(other_, kInstancePort, 0);
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_TRUE(textOf(record()).starts_with("FIREBIRD=unset\n")) << "no environment of ours";
    EXPECT_EQ(own_.pid(), pid);
    EXPECT_FALSE(fs::exists(other_.root));
    EXPECT_FALSE(fs::exists(sampleDir_));
}

}  // namespace
