#pragma once
// Who the local Firebird server runs as: the account whose rights decide which database files
// the server may open. Read from the process list, so only a server on this machine is seen.

#include <filesystem>
#include <string>
#include <vector>

namespace tovanel {

// The user names of the running server processes, each once; empty when none runs or none
// can be read.
std::vector<std::string> ServerAccountNames(const std::filesystem::path& procRoot = "/proc");

// The account's name, or the id in decimal when the system knows no name for it.
std::string UserName(unsigned uid);

}  // namespace tovanel
