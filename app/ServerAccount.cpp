// Linux implementation: the ids from /proc, the names from the user database.

#include "ServerAccount.h"

#include <pwd.h>
#include <unistd.h>

#include <vector>

#include "ProcessList.h"

namespace tovanel {

std::string UserName(unsigned uid) {
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(static_cast<uid_t>(uid), &entry, buffer.data(), buffer.size(), &found) == 0 &&
        found != nullptr && found->pw_name != nullptr && found->pw_name[0] != '\0')
        return found->pw_name;
    return std::to_string(uid);
}

std::vector<std::string> ServerAccountNames(const std::filesystem::path& procRoot) {
    std::vector<std::string> names;
    for (unsigned uid : OwnersOfProcessesNamed(FirebirdServerExecutables(), procRoot))
        names.push_back(UserName(uid));
    return names;
}

}  // namespace tovanel
