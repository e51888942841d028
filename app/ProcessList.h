#pragma once
// The local machine's process list, as the status monitor needs it. This is the one
// platform-specific piece of the monitor; this build reads Linux's /proc.

#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace tovanel {

// The server executables searched for on this platform, in the order the monitor asks for them.
std::span<const std::string> FirebirdServerExecutables();

// True when a running process has one of the given executable names (whole name, ASCII letters
// compared without case). One walk over the process list answers for all names. A process list
// that cannot be read answers false.
bool AnyProcessNamed(std::span<const std::string> exeNames,
                     const std::filesystem::path& procRoot = "/proc");

// The user ids that the processes with one of the names open files as, each once, in ascending
// order; a process whose ids cannot be read is left out.
std::vector<unsigned> OwnersOfProcessesNamed(std::span<const std::string> exeNames,
                                             const std::filesystem::path& procRoot = "/proc");

}  // namespace tovanel
