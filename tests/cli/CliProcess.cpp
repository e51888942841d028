#include "CliProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <chrono>
#include <sstream>
#include <stdexcept>

#ifndef TOVANEL_CLI_BINARY
#error "TOVANEL_CLI_BINARY must name the built tovanel-cli"
#endif

extern char** environ;

namespace clitest {
namespace {

// Only a guard against a hung child, so that a broken build fails instead of blocking the run.
constexpr auto kHangGuard = std::chrono::minutes(10);

void closeQuietly(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

void failIf(bool failed, const char* what) {
    if (failed) throw std::runtime_error(std::string(what) + ": " + std::strerror(errno));
}

std::vector<std::string> childEnvironment(const CliLaunch& launch) {
    std::map<std::string, std::string> values;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text(*entry);
        const auto eq = text.find('=');
        if (eq != std::string::npos) values[text.substr(0, eq)] = text.substr(eq + 1);
    }
    values.erase("ISC_USER");
    values.erase("ISC_PASSWORD");
    for (const auto& [name, value] : launch.env) {
        if (value) values[name] = *value;
        else values.erase(name);
    }
    std::vector<std::string> env;
    for (const auto& [name, value] : values) env.push_back(name + "=" + value);
    return env;
}

std::vector<char*> pointers(std::vector<std::string>& texts) {
    std::vector<char*> result;
    for (auto& text : texts) result.push_back(text.data());
    result.push_back(nullptr);
    return result;
}

}  // namespace

std::string cliBinary() {
    return TOVANEL_CLI_BINARY;
}

CliProcess::CliProcess(const CliLaunch& launch) {
    std::vector<std::string> argv = launch.wrapper;
    argv.push_back(cliBinary());
    argv.insert(argv.end(), launch.args.begin(), launch.args.end());
    std::vector<std::string> env = childEnvironment(launch);
    std::vector<char*> argvPointers = pointers(argv);
    std::vector<char*> envPointers = pointers(env);
    const std::string directory = launch.workingDirectory.string();

    int outPipe[2];
    int errPipe[2];
    failIf(::pipe2(outPipe, O_CLOEXEC) != 0, "pipe");
    failIf(::pipe2(errPipe, O_CLOEXEC) != 0, "pipe");
    int input = -1;
    int inputWriter = -1;
    if (launch.terminal) {
        termios settings{};
        ::cfmakeraw(&settings);
        settings.c_iflag = ICRNL;
        settings.c_lflag = ICANON;  // line by line, as a person types; no echo to collect
        settings.c_oflag = 0;
        settings.c_cflag = CS8 | CREAD;
        failIf(::openpty(&terminal_, &input, nullptr, &settings, nullptr) != 0, "openpty");
        ::fcntl(terminal_, F_SETFD, FD_CLOEXEC);
        ::fcntl(input, F_SETFD, FD_CLOEXEC);
    } else if (launch.pipedInput) {
        int inPipe[2];
        failIf(::pipe2(inPipe, O_CLOEXEC) != 0, "pipe");
        input = inPipe[0];
        inputWriter = inPipe[1];
    } else {
        input = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        failIf(input < 0, "/dev/null");
    }

    pid_ = ::fork();
    failIf(pid_ < 0, "fork");
    if (pid_ == 0) {
        ::dup2(input, STDIN_FILENO);
        ::dup2(outPipe[1], STDOUT_FILENO);
        ::dup2(errPipe[1], STDERR_FILENO);
        if (!directory.empty() && ::chdir(directory.c_str()) != 0) ::_exit(126);
        ::execvpe(argvPointers[0], argvPointers.data(), envPointers.data());
        ::_exit(127);
    }
    ::close(input);
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    out_ = outPipe[0];
    err_ = errPipe[0];
    if (inputWriter >= 0) {
        // Small enough for the pipe's buffer; the child may never read it.
        const ssize_t written = ::write(inputWriter, launch.pipedInput->data(), launch.pipedInput->size());
        failIf(written != static_cast<ssize_t>(launch.pipedInput->size()), "write to the child's input");
        ::close(inputWriter);
    }
}

CliProcess::~CliProcess() {
    if (pid_ > 0 && !ended_) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    closeQuietly(out_);
    closeQuietly(err_);
    closeQuietly(terminal_);
}

void CliProcess::type(const std::string& text) {
    if (terminal_ < 0) throw std::logic_error("the child has no terminal to type on");
    const ssize_t written = ::write(terminal_, text.data(), text.size());
    failIf(written != static_cast<ssize_t>(text.size()), "typing on the child's terminal");
}

bool CliProcess::pump() {
    pollfd fds[2] = {{out_, POLLIN, 0}, {err_, POLLIN, 0}};
    std::string* sinks[2] = {&result_.out, &result_.err};
    int* owners[2] = {&out_, &err_};
    if (out_ < 0 && err_ < 0) return false;
    const int ready = ::poll(fds, 2, 1000);
    if (ready < 0 && errno != EINTR) failIf(true, "poll");
    for (int i = 0; i < 2; ++i) {
        if (*owners[i] < 0 || fds[i].revents == 0) continue;
        char buffer[4096];
        const ssize_t got = ::read(*owners[i], buffer, sizeof buffer);
        if (got > 0) sinks[i]->append(buffer, static_cast<std::size_t>(got));
        else if (got == 0 || errno != EINTR) closeQuietly(*owners[i]);
    }
    return out_ >= 0 || err_ >= 0;
}

bool CliProcess::waitFor(const std::string& collected, const std::string& text) {
    const auto deadline = std::chrono::steady_clock::now() + kHangGuard;
    while (collected.find(text) == std::string::npos) {
        if (!pump() || std::chrono::steady_clock::now() > deadline) return false;
    }
    return true;
}

bool CliProcess::waitForError(const std::string& text) {
    return waitFor(result_.err, text);
}

bool CliProcess::waitForOutput(const std::string& text) {
    return waitFor(result_.out, text);
}

void CliProcess::sendSignal(int signal) {
    if (ended_) throw std::logic_error("the child has ended: no signal can reach it");
    failIf(::kill(pid_, signal) != 0, "kill");
}

bool CliProcess::running() {
    if (ended_) return false;
    const pid_t done = ::waitpid(pid_, &status_, WNOHANG);
    if (done == pid_) ended_ = true;
    return !ended_;
}

CliResult CliProcess::finish() {
    const auto deadline = std::chrono::steady_clock::now() + kHangGuard;
    while (pump()) {
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(pid_, SIGKILL);
            result_.err += "\n[the test killed tovanel-cli: it did not end]";
            break;
        }
    }
    if (!ended_) {
        ::waitpid(pid_, &status_, 0);
        ended_ = true;
    }
    result_.exitCode = WIFEXITED(status_) ? WEXITSTATUS(status_) : -1;
    return result_;
}

std::uint64_t fileHash(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::uint64_t hash = 14695981039346656037ull;
    char buffer[1 << 16];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
        for (std::streamsize i = 0; i < in.gcount(); ++i) {
            hash ^= static_cast<unsigned char>(buffer[i]);
            hash *= 1099511628211ull;
        }
    }
    return hash;
}

CliResult runCli(const CliLaunch& launch) {
    CliProcess process(launch);
    return process.finish();
}

std::string describe(const CliLaunch& launch, const CliResult& result) {
    std::ostringstream text;
    text << "tovanel-cli";
    for (const auto& arg : launch.args) text << " '" << arg << "'";
    text << "\nexit status " << result.exitCode << "\n--- stdout ---\n"
         << result.out << "--- stderr ---\n"
         << result.err << "---";
    return text.str();
}

}  // namespace clitest
