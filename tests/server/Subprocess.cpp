#include "Subprocess.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <sstream>
#include <stdexcept>

namespace testserver {
namespace {

class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() { reset(); }
    int get() const { return fd_; }
    void reset() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_;
};

// Standard input comes from an anonymous file, so a large script never blocks on a full pipe
// while we are not yet reading the output.
int inputFile(const std::string& input) {
    const int fd = ::memfd_create("stdin", MFD_CLOEXEC);
    if (fd < 0) throw std::runtime_error("memfd_create failed");
    std::size_t written = 0;
    while (written < input.size()) {
        const ssize_t n = ::write(fd, input.data() + written, input.size() - written);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        written += static_cast<std::size_t>(n);
    }
    ::lseek(fd, 0, SEEK_SET);
    return fd;
}

}  // namespace

CommandResult runCommand(const std::vector<std::string>& argv, const std::string& input) {
    CommandResult result;
    if (argv.empty()) return result;
    const Fd in(inputFile(input));
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    Fd readEnd(pipeFds[0]);
    Fd writeEnd(pipeFds[1]);

    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);

    const pid_t pid = ::fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        ::dup2(in.get(), STDIN_FILENO);
        ::dup2(writeEnd.get(), STDOUT_FILENO);
        ::dup2(writeEnd.get(), STDERR_FILENO);
        ::execvp(args[0], args.data());
        ::_exit(127);
    }
    writeEnd.reset();
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(readEnd.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        result.output.append(buffer, static_cast<std::size_t>(n));
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
    return result;
}

std::string describe(const std::vector<std::string>& argv, const CommandResult& result) {
    std::string text;
    for (const std::string& a : argv) text += a + ' ';
    text += "-> exit " + std::to_string(result.exitCode) + "\n" + result.output;
    return text;
}

std::vector<IsqlRow> parseIsqlListRows(const std::string& output) {
    const auto trim = [](const std::string& text) {
        const auto first = text.find_first_not_of(" \t\r\n");
        if (first == std::string::npos) return std::string();
        return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
    };
    std::vector<IsqlRow> rows;
    IsqlRow row;
    std::istringstream lines(output);
    std::string line;
    while (std::getline(lines, line)) {
        if (trim(line).empty()) {
            if (!row.empty()) rows.push_back(std::move(row));
            row.clear();
            continue;
        }
        const auto gap = line.find(' ');
        row[line.substr(0, gap)] = gap == std::string::npos ? std::string() : trim(line.substr(gap));
    }
    if (!row.empty()) rows.push_back(std::move(row));
    return rows;
}

}  // namespace testserver
