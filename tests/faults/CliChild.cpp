#include "CliChild.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>

extern char** environ;

#ifndef TOVANEL_CLI_BINARY
#error "TOVANEL_CLI_BINARY must name the built tovanel-cli"
#endif

namespace faults {

CliChild::CliChild(const std::vector<std::string>& args, const std::vector<std::string>& extraEnv)
{
    int out[2];
    int err[2];
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe");
    // Everything the child needs is built before the fork.
    std::vector<std::string> argStore{TOVANEL_CLI_BINARY};
    argStore.insert(argStore.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : argStore)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> envStore;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry = *e;
        if (!entry.starts_with("ISC_USER=") && !entry.starts_with("ISC_PASSWORD="))
            envStore.push_back(entry);
    }
    envStore.insert(envStore.end(), extraEnv.begin(), extraEnv.end());
    std::vector<char*> envp;
    for (std::string& e : envStore)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    pid_ = ::fork();
    if (pid_ < 0)
        throw std::runtime_error("fork");
    if (pid_ == 0) {
        const int null = ::open("/dev/null", O_RDONLY);
        ::dup2(null, 0);
        ::dup2(out[1], 1);
        ::dup2(err[1], 2);
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    ::close(out[1]);
    ::close(err[1]);
    out_ = out[0];
    err_ = err[0];
}

CliChild::~CliChild()
{
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        ::kill(pid_, SIGCONT);
        ::waitpid(pid_, nullptr, 0);
    }
    if (out_ >= 0)
        ::close(out_);
    if (err_ >= 0)
        ::close(err_);
}

bool CliChild::Pump(int timeoutMs)
{
    pollfd fds[2] = {{out_, POLLIN, 0}, {err_, POLLIN, 0}};
    if (out_ < 0 && err_ < 0)
        return false;
    if (::poll(fds, 2, timeoutMs) <= 0)
        return true;
    char buffer[4096];
    int* fd[2] = {&out_, &err_};
    std::string* into[2] = {&end_.out, &end_.err};
    for (int i = 0; i < 2; ++i) {
        if (*fd[i] < 0 || (fds[i].revents & (POLLIN | POLLHUP)) == 0)
            continue;
        const ssize_t n = ::read(*fd[i], buffer, sizeof buffer);
        if (n > 0) {
            into[i]->append(buffer, static_cast<std::size_t>(n));
        } else {
            ::close(*fd[i]);
            *fd[i] = -1;
        }
    }
    return out_ >= 0 || err_ >= 0;
}

bool CliChild::WaitForOutput(const std::string& text, std::chrono::seconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (end_.out.find(text) == std::string::npos) {
        if (std::chrono::steady_clock::now() > deadline || !Pump(100))
            return end_.out.find(text) != std::string::npos;
    }
    return true;
}

void CliChild::Pause()
{
    ::kill(pid_, SIGSTOP);
}

void CliChild::Resume()
{
    ::kill(pid_, SIGCONT);
}

CliEnd CliChild::Finish(std::chrono::seconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (Pump(100)) {
        if (std::chrono::steady_clock::now() > deadline) {
            end_.timedOut = true;
            ::kill(pid_, SIGKILL);
            break;
        }
    }
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    end_.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return end_;
}

}  // namespace faults
