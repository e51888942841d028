#include "RescueWorkingCopy.h"

#include <cstdlib>
#include <mutex>
#include <optional>
#include <set>
#include <system_error>

#include "PlatformFiles.h"
#include "RepairNames.h"

namespace tovanel {
namespace {

std::string Megabytes(std::uint64_t bytes) {
    return std::to_string((bytes + (1u << 20) - 1) >> 20);
}

[[noreturn]] void Refuse(const char* format, std::initializer_list<TErrorArg> args) {
    throw ERescueError(FormatErrorText(format, std::span<const TErrorArg>(args.begin(), args.size())));
}

std::string Reason(const std::system_error& failure) {
    return failure.code().message();
}

void CheckRoom(const std::string& directory, std::uint64_t needed) {
    const std::uint64_t free = FreeBytesInDirectory(directory);
    if (free < needed) Refuse(kRescueNoSpace, {directory, Megabytes(needed), Megabytes(free)});
}

// Every file a rescue of this process has begun and would remove if it failed.
struct UnfinishedFiles {
    std::mutex mutex;
    std::multiset<std::string> paths;

    // Never destroyed: a thread that ends the process may still use it while the process exits.
    static UnfinishedFiles& Of() {
        union Never {
            UnfinishedFiles files;
            Never() : files() {}
            ~Never() {}
        };
        static Never never;
        return never.files;
    }
    void Add(const std::string& path) {
        std::lock_guard lock(mutex);
        paths.insert(path);
    }
    void Forget(const std::string& path) noexcept {
        std::lock_guard lock(mutex);
        if (const auto found = paths.find(path); found != paths.end()) paths.erase(found);
    }
};

bool RemovedOrGone(const std::string& path) noexcept {
    return RemoveFileQuietly(path) || !RegularFileExists(path);
}

}  // namespace

bool AnyRescueUnfinished() noexcept {
    UnfinishedFiles& files = UnfinishedFiles::Of();
    std::lock_guard lock(files.mutex);
    return !files.paths.empty();
}

void EndProcessRemovingRescueFiles(int status) noexcept {
    UnfinishedFiles& files = UnfinishedFiles::Of();
    files.mutex.lock();  // held to the end: no rescue names another file
    for (const std::string& path : files.paths) RemovedOrGone(path);
    std::_Exit(status);
}

UnfinishedFile::UnfinishedFile(std::string path) : path_(std::move(path)) {
    UnfinishedFiles::Of().Add(path_);
}

UnfinishedFile::~UnfinishedFile() {
    UnfinishedFiles::Of().Forget(path_);
}

RescueTempFiles::~RescueTempFiles() {
    for (const std::string& left : RemoveAll()) UnfinishedFiles::Of().Forget(left);
}

void RescueTempFiles::Add(const std::string& path) {
    UnfinishedFiles::Of().Add(path);
    paths_.push_back(path);
}

std::vector<std::string> RescueTempFiles::RemoveAll() noexcept {
    std::vector<std::string> left;
    for (const std::string& path : paths_) {
        if (RemovedOrGone(path))
            UnfinishedFiles::Of().Forget(path);
        else
            left.push_back(path);
    }
    paths_ = left;
    return left;
}

bool ServerHoldsOpen(const TAttachedDatabases& open, const std::string& original) {
    for (const std::string& name : open.Names)
        if (IsSameDatabaseFile(name, original)) return true;
    return false;
}

std::uint64_t SpaceNeededBesidesCopy(std::uint64_t originalSize) {
    return 2 * originalSize;
}

std::string WorkingCopyCandidate(const std::string& newDatabase, const std::string& stem, unsigned attempt) {
    std::string directory = DirectoryPart(newDatabase);
    if (!directory.empty() && directory.back() != '/') directory += '/';
    const std::string suffix = attempt == 0 ? "" : "_" + std::to_string(attempt);
    return directory + stem + "_COPIA" + suffix + ".tmp";
}

WorkingCopy MakeWorkingCopy(TIBServerInfoService& server, const std::string& original,
                            const std::string& newDatabase, RescueTempFiles& temps) {
    if (ServerHoldsOpen(server.AttachedDatabases(), original)) Refuse(kRescueHeldOpen, {original});

    std::optional<ReadableFile> source;
    try {
        source.emplace(original);
    } catch (const std::system_error& failure) {
        Refuse(kRescueUnreadable, {original, Reason(failure)});
    }
    const std::string directory = DirectoryPart(newDatabase).empty() ? "." : DirectoryPart(newDatabase);
    const std::uint64_t besides = SpaceNeededBesidesCopy(source->Size());
    CheckRoom(directory, besides);

    const std::string stem = DeriveRepairNames(newDatabase).stem;
    WorkingCopy copy;
    try {
        for (unsigned attempt = 0;; ++attempt) {
            copy.path = WorkingCopyCandidate(newDatabase, stem, attempt);
            if (copy.path == newDatabase || copy.path == original) continue;
            if (CreateCopyTarget(*source, copy.path)) break;
        }
        temps.Add(copy.path);
        copy.method = CloneOrCopy(*source, copy.path, besides);
    } catch (const std::system_error& failure) {
        temps.RemoveAll();
        if (failure.code() == std::errc::no_space_on_device)
            Refuse(kRescueNoSpace, {directory, Megabytes(source->Size() + besides), Megabytes(FreeBytesInDirectory(directory))});
        Refuse(kRescueCopyFailed, {copy.path, Reason(failure)});
    }
    copy.bytes = source->Size();
    return copy;
}

}  // namespace tovanel
