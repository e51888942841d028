// Linux implementation: every numeric directory under /proc is a process; its name is the
// kernel's comm entry, or, when that cannot be read, the last component of the exe link.

#include "ProcessList.h"

#include <algorithm>
#include <array>
#include <fstream>
#include <optional>
#include <sstream>
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

// Calls `visit` with the directory of each process that has one of the names, until it answers
// false. A failed step ends the walk; what was not seen reads as not running.
template <class Visit>
void ForEachProcessNamed(std::span<const std::string> exeNames, const fs::path& procRoot, Visit visit) {
    std::error_code ec;
    fs::directory_iterator it(procRoot, ec);
    if (ec) return;
    for (const fs::directory_iterator end; it != end; it.increment(ec)) {
        const std::string entry = it->path().filename().string();
        if (!IsProcessDirectoryName(entry)) continue;
        std::string name;
        if (ProcessName(it->path(), name) && NameIsOneOf(name, exeNames) && !visit(it->path())) return;
    }
}

// The "Uid:" line holds the real, effective, saved and file-system ids; files are opened with
// the last. (The directory's owner is not used: it stops following the ids once a process is
// no longer dumpable.)
std::optional<unsigned> FileSystemUid(const fs::path& processDir) {
    std::ifstream in(processDir / "status");
    for (std::string line; std::getline(in, line);) {
        if (!line.starts_with("Uid:")) continue;
        std::istringstream ids(line.substr(4));
        unsigned id[4];
        if (ids >> id[0] >> id[1] >> id[2] >> id[3]) return id[3];
        return std::nullopt;
    }
    return std::nullopt;
}

}  // namespace

bool AnyProcessNamed(std::span<const std::string> exeNames, const fs::path& procRoot) {
    bool found = false;
    ForEachProcessNamed(exeNames, procRoot, [&](const fs::path&) {
        found = true;
        return false;
    });
    return found;
}

std::vector<unsigned> OwnersOfProcessesNamed(std::span<const std::string> exeNames,
                                             const fs::path& procRoot) {
    std::vector<unsigned> owners;
    ForEachProcessNamed(exeNames, procRoot, [&](const fs::path& processDir) {
        const std::optional<unsigned> uid = FileSystemUid(processDir);
        if (uid && std::find(owners.begin(), owners.end(), *uid) == owners.end()) owners.push_back(*uid);
        return true;
    });
    std::sort(owners.begin(), owners.end());
    return owners;
}

}  // namespace tovanel
