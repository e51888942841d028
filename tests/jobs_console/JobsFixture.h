#pragma once
// The main window's logic over the fake UI port and the fake client library, with a scratch
// directory holding the database file the inputs name.

#include <gtest/gtest.h>
#include <ibase.h>
#include <unistd.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "ConsoleTexts.h"
#include "FakeClient.h"
#include "FakeUiPort.h"
#include "IBErrors.h"
#include "UFrmPrincipal.h"
#include "WindowChecks.h"

namespace tovanel::testing {

namespace fs = std::filesystem;

// Client error codes the scripts use, with the texts the fake gives them.
constexpr ISC_STATUS kNetworkError = isc_network_error;
constexpr ISC_STATUS kIoError = isc_io_error;
constexpr ISC_STATUS kLoginError = isc_login;
constexpr ISC_STATUS kOtherError = isc_bad_db_format;

inline std::string Length16(std::size_t n) {
    return fakeclient::Bytes({static_cast<int>(n & 0xFF), static_cast<int>((n >> 8) & 0xFF)});
}

// One answer of a line query: item 62, the 16-bit length, the text, the end marker.
inline fakeclient::Reply LineAnswer(const std::string& text) {
    return fakeclient::Output(std::string(1, static_cast<char>(isc_info_svc_line)) + Length16(text.size()) +
                              text + static_cast<char>(isc_info_end));
}

// Queues the lines of one action's output, then its end.
inline void ScriptOutput(const std::vector<std::string>& lines) {
    for (const std::string& line : lines) fakeclient::Push("isc_service_query", LineAnswer(line));
    fakeclient::Push("isc_service_query", LineAnswer(""));
}

// The server's log as the log service hands it over: one to-EOF answer with the whole text.
inline fakeclient::Reply LogAnswer(const std::string& text) {
    return fakeclient::Output(std::string(1, static_cast<char>(isc_info_svc_to_eof)) + Length16(text.size()) + text +
                              static_cast<char>(isc_info_end));
}

// A run of `database` in the server's log, stamped a minute from now so that it lies after the
// job's start: "Validation started", the messages, then `finish`.
inline std::string RunInLog(const std::string& database, const std::vector<std::string>& messages,
                            const std::string& finish) {
    const std::time_t later = std::time(nullptr) + 60;
    std::tm local{};
    localtime_r(&later, &local);
    char stamp[64];
    std::strftime(stamp, sizeof stamp, "%a %b %e %H:%M:%S %Y", &local);
    std::vector<std::string> all = {"Validation started"};
    all.insert(all.end(), messages.begin(), messages.end());
    all.push_back(finish);
    std::string log;
    for (const std::string& message : all)
        log += std::string("\nvm\t") + stamp + "\n\tDatabase: " + database + "\n\t" + message + "\n\n";
    return log;
}

inline std::vector<std::string> Lines(std::initializer_list<std::vector<std::string>> parts) {
    std::vector<std::string> all;
    for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

inline std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class JobsTest : public ::testing::Test {
protected:
    void SetUp() override {
        form = std::make_unique<TFrmPrincipal>(port);  // may load the client library: its calls are not the jobs'
        fakeclient::Reset();
        fakeclient::SetMessage(kNetworkError, "Unable to complete network request to host \"@1\"");
        fakeclient::SetMessage(kIoError, "I/O error during \"@1\" operation for file \"@2\"");
        fakeclient::SetMessage(kLoginError,
                               "Your user name and password are not defined. Ask your database "
                               "administrator to set up a Firebird login.");
        fakeclient::SetMessage(kOtherError, "file @1 is not a valid database");
        char pattern[] = "/tmp/tovanel-jobs-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir = pattern;
        source = MakeFile("banco.fdb");
        form->FormCreate();
        // The fake scripts the validation's service; the read check that follows it has tests of
        // its own (ReadCheckTest), and here the verification is the validation alone, as with
        // tovanel-cli verify --quick.
        form->SetLeituraCompleta(false);
        port.databasePath = source;
        port.calls.clear();
    }
    void TearDown() override {
        form.reset();
        fakeclient::Reset();
        fs::remove_all(dir);
    }

    // A new window over a new directory, for one row of a table of cases.
    void Fresh() {
        TearDown();
        port = FakeUiPort();
        SetUp();
    }

    std::string MakeFile(const std::string& name, const std::string& bytes = "database bytes") {
        const fs::path file = dir / name;
        fs::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << bytes;
        return file.string();
    }

    // The client calls made so far, leaving out the message lookups of failures.
    static std::vector<std::string> ClientCalls() {
        return fakeclient::CallNames({"isc_interprete", "fb_interpret", "isc_sqlcode", "isc_vax_integer"});
    }
    static std::vector<std::string> ServiceCalls() {
        std::vector<std::string> names;
        for (const auto& call : fakeclient::Calls())
            if (call.function.starts_with("isc_service_")) names.push_back(call.function);
        return names;
    }
    // Whether the window is back to idle: inputs and menu enabled, normal cursor, no job.
    void ExpectIdle() const { ExpectWindowIdle(port, *form); }
    // Runs a command as the window does: through the failure guard.
    void Run(void (TFrmPrincipal::*command)()) { RunAsWindow(*form, command); }

    // The three job commands, the open command and a close request, as clicks during a running
    // job would bring them; whether every one was refused without a trace (no box, no dialog, no
    // client call, no log line, the close refused).
    bool OtherCommandsRefused() {
        const std::size_t boxes = port.messageBoxes.size();
        const std::size_t clientCalls = fakeclient::Calls().size();
        const std::vector<std::string> log = port.log;
        const int openDialogs = port.openDialogsShown;
        Run(&TFrmPrincipal::ActnTestaConexaoExecute);
        Run(&TFrmPrincipal::ActnVerificarBancoExecute);
        Run(&TFrmPrincipal::ActnReparabancoExecute);
        Run(&TFrmPrincipal::ActnAbrirBancoExecute);
        bool canClose = true;
        form->FormCloseQuery(canClose);
        EXPECT_EQ(port.messageBoxes.size(), boxes);
        EXPECT_EQ(fakeclient::Calls().size(), clientCalls) << "no second call on the busy handles";
        EXPECT_EQ(port.log, log);
        EXPECT_EQ(port.openDialogsShown, openDialogs);
        EXPECT_FALSE(canClose);
        return !canClose && port.messageBoxes.size() == boxes && fakeclient::Calls().size() == clientCalls &&
               port.log == log && port.openDialogsShown == openDialogs;
    }

    fs::path dir;
    std::string source;
    FakeUiPort port;
    std::unique_ptr<TFrmPrincipal> form;
};

}  // namespace tovanel::testing
