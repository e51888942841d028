#pragma once
// The rescue's first step: the working copy. The original is never attached, not even for a
// connection test (any attach writes its header page); the server is only asked whether it holds
// the file open. The copy goes beside the new database, under the first free name, so the server
// can write it; it and every other temporary file are removed when the rescue ends.

#include <cstdint>
#include <string>
#include <vector>

#include "IBErrors.h"
#include "IBServerInfoService.h"
#include "PlatformCopy.h"

namespace tovanel {

// A refusal or a stop of the rescue, its text for the operator.
class ERescueError : public EIBError {
public:
    explicit ERescueError(std::string text) : EIBError(0, std::move(text)) {}
};

// The files one rescue made for its own use; each is removed when this object ends, whatever
// happened. Only names added here are ever removed.
class RescueTempFiles {
public:
    RescueTempFiles() = default;
    ~RescueTempFiles();
    RescueTempFiles(const RescueTempFiles&) = delete;
    RescueTempFiles& operator=(const RescueTempFiles&) = delete;

    void Add(const std::string& path);
    const std::vector<std::string>& Paths() const noexcept { return paths_; }
    // Removes them now; answers the ones that could not be removed (still held for the end).
    std::vector<std::string> RemoveAll() noexcept;

private:
    std::vector<std::string> paths_;
};

// A file the rescue removes should it not finish (a new database it has begun), named for
// RemoveFilesOfUnfinishedRescues while this object lives.
class UnfinishedFile {
public:
    explicit UnfinishedFile(std::string path);
    ~UnfinishedFile();
    UnfinishedFile(const UnfinishedFile&) = delete;
    UnfinishedFile& operator=(const UnfinishedFile&) = delete;

private:
    std::string path_;
};

// Whether a rescue of this process has named a file it would remove at its end and not ended.
bool AnyRescueUnfinished() noexcept;

// For a process that cannot wait for its rescue to stop (a stop request whose server call does not
// come back): removes every rescue's temporary and unfinished files, then ends the process at once
// with `status`. No rescue can name another file meanwhile. Safe from any thread.
[[noreturn]] void EndProcessRemovingRescueFiles(int status) noexcept;

struct WorkingCopy {
    std::string path;
    CopyMethod method = CopyMethod::Bytes;
    std::uint64_t bytes = 0;
};

// Whether the server's list of open databases names the original (same text, or the same file
// under another spelling).
bool ServerHoldsOpen(const TAttachedDatabases& open, const std::string& original);

// Bytes the rescue writes besides the copy: the new database and the temporary backup, each at
// most the original's size in our measurements (a restore compacts).
std::uint64_t SpaceNeededBesidesCopy(std::uint64_t originalSize);

// The candidates for the copy's name in the new file's directory, first the plain one:
// stem_COPIA.tmp, stem_COPIA_1.tmp, ...
std::string WorkingCopyCandidate(const std::string& newDatabase, const std::string& stem, unsigned attempt);

// Refuses (ERescueError) when the server holds the original open, when the original cannot be
// read, when the new file's directory is short of room; then makes the copy, registered in temps
// before its first byte is written.
WorkingCopy MakeWorkingCopy(TIBServerInfoService& server, const std::string& original,
                            const std::string& newDatabase, RescueTempFiles& temps);

// The refusal texts, for the front ends and the tests.
inline constexpr const char* kRescueHeldOpen =
    "O servidor está com o banco de dados %s aberto.\rFeche todas as conexões com ele antes do resgate.";
inline constexpr const char* kRescueUnreadable = "Não foi possível ler o banco de dados %s: %s.";
inline constexpr const char* kRescueNoSpace =
    "Espaço livre insuficiente em %s: o resgate precisa de %s MB e há %s MB livres.";
inline constexpr const char* kRescueCopyFailed = "Não foi possível copiar o banco de dados para %s: %s.";

}  // namespace tovanel
