#include "PlatformFiles.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <vector>

namespace tovanel {

namespace {

bool HasEmbeddedNul(const std::string& path) {
    return path.find('\0') != std::string::npos;
}

}  // namespace

bool RegularFileExists(const std::string& path) {
    if (path.empty() || HasEmbeddedNul(path)) return false;
    struct stat info {};
    // stat follows symbolic links and does not care whether anyone holds the file open or locked.
    if (::stat(path.c_str(), &info) != 0) return false;
    return S_ISREG(info.st_mode);
}

bool RemoveFileQuietly(const std::string& path) noexcept {
    if (path.empty() || HasEmbeddedNul(path)) return false;
    return ::unlink(path.c_str()) == 0;
}

std::string RunningExecutablePath() {
    std::vector<char> buffer(4096);
    for (;;) {
        const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (length < 0) return {};
        if (static_cast<std::size_t>(length) < buffer.size())
            return std::string(buffer.data(), static_cast<std::size_t>(length));
        buffer.resize(buffer.size() * 2);  // the name may have been cut: try a larger buffer
    }
}

std::string DirectoryWithSeparator(const std::string& path) {
    const auto separator = path.find_last_of('/');
    if (separator == std::string::npos) return {};
    return path.substr(0, separator + 1);
}

}  // namespace tovanel
