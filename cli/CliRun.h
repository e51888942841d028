#pragma once
// One run of the terminal front end: the command line in, the exit status out. The window's own
// logic does the work; this only feeds it the inputs and answers, and reads what happened.

#include <optional>
#include <span>
#include <string>

#include "CliOptions.h"
#include "TerminalUiPort.h"
#include "UFrmPrincipal.h"

namespace tovanel::cli {

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitErrorsFound = 1;  // verify found errors and no repair ran
inline constexpr int kExitFailure = 2;      // a failure, bad usage, or nothing done

// The exit status for a command's run: how its job ended, and what the terminal had to show
// (an error box, a question nobody could answer).
int ExitStatus(Command command, const Outcome& shown, JobOutcome job);

// A rescue's exit status comes from the job's outcome: 0 when the new database was made (even
// with rows lost: the report says so), 2 otherwise. The report is written as JSON when asked.
int RescueExitStatus(const std::optional<RescueReport>& report, const std::optional<std::string>& reportFile,
                     const TerminalIo& io);

// args excludes the program name; `workingDirectory` makes a relative --output absolute.
int RunCli(std::span<const std::string> args, const EnvLookup& env, TerminalIo io,
           const std::string& workingDirectory);

}  // namespace tovanel::cli
