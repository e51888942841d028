// Runs a program (no shell) with optional standard input, collecting standard output and error.
#pragma once

#include <string>
#include <vector>

namespace testserver {

struct CommandResult {
    int exitCode = -1;   // -1 when the program could not run or ended by a signal
    std::string output;  // standard output and standard error, interleaved as written
    bool ok() const { return exitCode == 0; }
};

CommandResult runCommand(const std::vector<std::string>& argv, const std::string& input = {});

// For failure messages: the command line, its exit code and its output.
std::string describe(const std::vector<std::string>& argv, const CommandResult& result);

}  // namespace testserver
