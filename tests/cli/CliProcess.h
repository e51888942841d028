// Runs the built tovanel-cli as a child process: standard output and standard error collected
// apart, standard input from /dev/null, from a pipe with given text, or from a pseudo-terminal
// that the test types into.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace clitest {

struct CliResult {
    int exitCode = -1;  // -1 when the program ended by a signal
    std::string out;
    std::string err;
};

struct CliLaunch {
    std::vector<std::string> args;  // after the program name
    // Changes to this process's environment for the child; nullopt removes a variable.
    // ISC_USER and ISC_PASSWORD are removed unless set here.
    std::map<std::string, std::optional<std::string>> env;
    bool terminal = false;                 // standard input is a pseudo-terminal
    std::optional<std::string> pipedInput; // standard input is a pipe holding this text
    std::filesystem::path workingDirectory;
    std::vector<std::string> wrapper;      // runs the program under this command (e.g. unshare)
};

// The binary under test.
std::string cliBinary();

class CliProcess {
public:
    explicit CliProcess(const CliLaunch& launch);
    ~CliProcess();
    CliProcess(const CliProcess&) = delete;
    CliProcess& operator=(const CliProcess&) = delete;

    // Types on the terminal (launch.terminal must be set).
    void type(const std::string& text);
    // Collects output until standard error holds `text`, or the program has closed its outputs.
    // True when found.
    bool waitForError(const std::string& text);
    // The same for standard output.
    bool waitForOutput(const std::string& text);
    // Sends the program a signal (it must not have ended yet).
    void sendSignal(int signal);
    // What was collected so far.
    const CliResult& collected() const { return result_; }
    // Whether the program has not ended yet.
    bool running();
    // Collects everything until the program ends.
    CliResult finish();

private:
    bool pump();  // one round of reading; false once both outputs are closed
    bool waitFor(const std::string& collected, const std::string& text);

    pid_t pid_ = -1;
    int out_ = -1;
    int err_ = -1;
    int terminal_ = -1;
    bool ended_ = false;
    int status_ = 0;
    CliResult result_;
};

CliResult runCli(const CliLaunch& launch);

// A cheap fingerprint of a large file's bytes (FNV-1a, 64 bits), to prove it unchanged.
std::uint64_t fileHash(const std::filesystem::path& path);

// For failure messages.
std::string describe(const CliLaunch& launch, const CliResult& result);

}  // namespace clitest
