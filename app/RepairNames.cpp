#include "RepairNames.h"

#include <sys/stat.h>

#include "AsciiCase.h"

namespace tovanel {
namespace {

constexpr char kSeparator = '/';

std::string FileNamePart(const std::string& path) {
    const auto sep = path.rfind(kSeparator);
    return sep == std::string::npos ? path : path.substr(sep + 1);
}

std::string ExtensionOf(const std::string& path) {
    const auto dot = path.rfind('.');
    const auto sep = path.rfind(kSeparator);
    if (dot == std::string::npos || (sep != std::string::npos && dot < sep)) return {};
    return AsciiUpper(path.substr(dot));
}

std::string CutAtFirstDot(const std::string& fileName) {
    return fileName.substr(0, fileName.find('.'));
}

bool NameTaken(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

}  // namespace

RepairNames DeriveRepairNames(const std::string& databasePath) {
    RepairNames names;
    names.stem = FileNamePart(databasePath);
    names.extension = ExtensionOf(databasePath);
    names.stem = CutAtFirstDot(names.stem);
    names.proposedNewName = names.stem + "_NOVO" + names.extension;
    names.backupName = names.stem + ".GBK";
    return names;
}

std::string DirectoryPart(const std::string& path) {
    const auto sep = path.rfind(kSeparator);
    if (sep == std::string::npos) return {};
    if (sep == 0) return std::string(1, kSeparator);
    return path.substr(0, sep);
}

std::string TemporaryBackupPath(const std::string& newDatabasePath, const std::string& stem) {
    std::string directory = DirectoryPart(newDatabasePath);
    if (!directory.empty() && directory.back() != kSeparator) directory += kSeparator;
    // The new file need not exist yet, but the restore will create it under its name.
    const auto taken = [&](const std::string& name) {
        return name == newDatabasePath || NameTaken(name);
    };
    std::string candidate = directory + stem + ".GBK";
    for (unsigned n = 1; taken(candidate); ++n)
        candidate = directory + stem + "_" + std::to_string(n) + ".GBK";
    return candidate;
}

bool IsSameDatabaseFile(const std::string& chosenPath, const std::string& sourcePath) {
    if (chosenPath == sourcePath) return true;
    struct stat chosen {}, source {};
    if (::stat(chosenPath.c_str(), &chosen) != 0 || ::stat(sourcePath.c_str(), &source) != 0)
        return false;
    return chosen.st_dev == source.st_dev && chosen.st_ino == source.st_ino;
}

}  // namespace tovanel
