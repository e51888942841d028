#pragma once
// File-system operations the console needs, for every front end. This is the platform-specific
// part of them; this build uses POSIX calls. Paths are UTF-8 text, used exactly as given.

#include <string>

namespace tovanel {

// True for an existing regular file, also one that another process holds open or locked;
// symbolic links are followed. False for a directory, a device, a dangling link, a path that
// cannot be resolved, and a path with an embedded NUL (which the system would cut short and so
// test another file).
bool RegularFileExists(const std::string& path);

// Deletes a file; false when that failed. Never raises.
bool RemoveFileQuietly(const std::string& path) noexcept;

// Full path of the running program's executable file; empty when it cannot be found.
std::string RunningExecutablePath();

// The directory part of a path, ending with the separator ("" when the path has none).
std::string DirectoryWithSeparator(const std::string& path);

}  // namespace tovanel
