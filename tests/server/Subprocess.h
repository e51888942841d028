// Runs a program (no shell) with optional standard input, collecting standard output and error.
#pragma once

#include <map>
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

// The rows isql prints in list mode ("set list on"): column name to value as isql shows it (OCTETS
// as hex, NULL as "<null>"), one "NAME   value" line per column, a blank line between rows.
using IsqlRow = std::map<std::string, std::string>;
std::vector<IsqlRow> parseIsqlListRows(const std::string& output);

}  // namespace testserver
