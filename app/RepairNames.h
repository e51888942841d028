#pragma once
// The file names a repair works with, derived from the source database's path.

#include <string>

namespace tovanel {

struct RepairNames {
    std::string stem;             // file name without directory, cut at its first dot
    std::string extension;        // from the file name's last dot, upper-cased, dot included; or empty
    std::string proposedNewName;  // stem + "_NOVO" + extension, without directory
    std::string backupName;       // stem + ".GBK", without directory
};

RepairNames DeriveRepairNames(const std::string& databasePath);

// The directory part of a path without its trailing separator ("/" for a file in the root,
// empty for a bare file name).
std::string DirectoryPart(const std::string& path);

// Where the temporary backup goes: the directory of the new database file, which the server must
// be able to write anyway. When backupName is taken there (by anything, even a dangling link), the
// first free stem_1.GBK, stem_2.GBK, ... is used, so a repair never overwrites, and so never
// deletes, a file it did not create. The new database file's own name never serves.
std::string TemporaryBackupPath(const std::string& newDatabasePath, const std::string& stem);

// The chosen new file is the source when the texts are equal, or when both name one existing file
// (same device and inode: another spelling, a relative form, a link). Restoring with replace over
// the source would destroy it.
bool IsSameDatabaseFile(const std::string& chosenPath, const std::string& sourcePath);

}  // namespace tovanel
