// tovanel-cli as a child process that a fault test can pause, watch and time out: standard
// output read line by line as it comes, standard error collected, standard input /dev/null.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace faults {

struct CliEnd {
    int exitCode = -1;   // -1: ended by a signal, or did not end in time (then killed)
    bool timedOut = false;
    std::string out;
    std::string err;
};

class CliChild {
public:
    // args after the program name; extraEnv as NAME=VALUE, added to this process's environment.
    CliChild(const std::vector<std::string>& args, const std::vector<std::string>& extraEnv);
    ~CliChild();
    CliChild(const CliChild&) = delete;
    CliChild& operator=(const CliChild&) = delete;

    // Reads standard output until it holds text; false when the program closed its output first
    // or the time ran out.
    bool WaitForOutput(const std::string& text, std::chrono::seconds limit);
    void Pause();   // SIGSTOP
    void Resume();  // SIGCONT
    // Everything until the program ends; killed (and timedOut set) after limit.
    CliEnd Finish(std::chrono::seconds limit);

private:
    bool Pump(int timeoutMs);

    pid_t pid_ = -1;
    int out_ = -1;
    int err_ = -1;
    CliEnd end_;
};

}  // namespace faults
