// Linux implementation: every numeric directory under /proc is a process; its name is the
// kernel's comm entry, or, when that cannot be read, the last component of the exe link.

#include "ProcessList.h"

#include <algorithm>
#include <array>
#include <fstream>
#include <system_error>

#include "AsciiCase.h"

namespace tovanel {
namespace fs = std::filesystem;

std::span<const std::string> FirebirdServerExecutables() {
    static const std::array<std::string, 4> names{"firebird", "fbserver", "fb_smp_server",
                                                  "fb_inet_server"};
    return names;
}

namespace {

bool IsProcessDirectoryName(const std::string& name) {
    return !name.empty() &&
           std::all_of(name.begin(), name.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The kernel ends comm with a line feed; a name never contains one.
bool ReadComm(const fs::path& processDir, std::string& name) {
    std::ifstream in(processDir / "comm");
    if (!in || !std::getline(in, name)) return false;
    return true;
}

bool ReadExeBaseName(const fs::path& processDir, std::string& name) {
    std::error_code ec;
    const fs::path target = fs::read_symlink(processDir / "exe", ec);
    if (ec) return false;
    name = target.filename().string();
    return !name.empty();
}

bool ProcessName(const fs::path& processDir, std::string& name) {
    return ReadComm(processDir, name) || ReadExeBaseName(processDir, name);
}

bool NameIsOneOf(const std::string& name, std::span<const std::string> exeNames) {
    return std::any_of(exeNames.begin(), exeNames.end(),
                       [&](const std::string& wanted) { return AsciiEqualNoCase(name, wanted); });
}

}  // namespace

bool AnyProcessNamed(std::span<const std::string> exeNames, const fs::path& procRoot) {
    std::error_code ec;
    fs::directory_iterator it(procRoot, ec);
    if (ec) return false;
    // A failed step ends the iterator; what was not seen reads as not running.
    for (const fs::directory_iterator end; it != end; it.increment(ec)) {
        const std::string entry = it->path().filename().string();
        if (!IsProcessDirectoryName(entry)) continue;
        std::string name;
        if (ProcessName(it->path(), name) && NameIsOneOf(name, exeNames)) return true;
    }
    return false;
}

}  // namespace tovanel
