#pragma once
// The pump: carries one damaged table of the working copy into the new database row by row,
// through the server, never through an index. A natural scan with RDB$DB_KEY reads until the
// first failing fetch; from there direct fetches by record number ("where rdb$db_key = ? or
// ..."), several keys of one page per round trip, each key of a run that failed again on its own
// (so a failing record costs only itself), with bounded retries, a new attachment where a failure
// left the old one unusable, and the probing rule of RecordProber. Each blob is read on its own. Rows the checks doubt go to the
// table's quarantine in the new database, the others in batches of one EXECUTE BLOCK each.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "IBDatabase.h"
#include "IBMetadata.h"
#include "IBTransaction.h"
#include "RescueDamageMap.h"
#include "RescueProbing.h"
#include "RescueReport.h"
#include "RescueWorkingCopy.h"

namespace tovanel {

struct PumpSettings {
    ProbeLimits limits;
    std::size_t batchRows = 100;     // rows per EXECUTE BLOCK (BENCHMARKS.md)
    std::size_t keysPerProbe = 64;   // record numbers fetched per round trip (BENCHMARKS.md)
    // Further reads of a failing record, each on a new attachment, when a failure left the old one
    // unusable; a failure that leaves it usable (an I/O error, a wrong page type) is not retried:
    // the same bytes fail the same way.
    unsigned retries = 1;
    std::size_t blobLimit = 256u << 20;
    std::uint64_t rowsPerCommit = 20000;
};

// The server could not be reached again: the rescue does not go on against it.
class ERescueServerGone : public ERescueError {
public:
    using ERescueError::ERescueError;
};

// How to attach to a database of the local server.
struct ServerLogin {
    std::string user;
    std::string password;
};

// Attaches "localhost:" + path with the login, no prompt; raises the server's failure.
void OpenDatabase(TIBDatabase& database, const std::string& path, const ServerLogin& login);

// The working copy's attachment and its read-only transaction, made again when a failure left
// them unusable.
class SourceLink {
public:
    SourceLink(std::string path, ServerLogin login);
    TIBDatabase& Database() noexcept { return *database_; }
    TIBTransaction& Transaction() noexcept { return *transaction_; }
    // Every statement of the old attachment must be gone before this is called. Raises
    // ERescueServerGone when no new attachment can be made.
    void Reconnect();
    std::uint64_t Reconnects() const noexcept { return reconnects_; }

private:
    void Open();

    std::string path_;
    ServerLogin login_;
    std::unique_ptr<TIBDatabase> database_;
    std::optional<TIBTransaction> transaction_;
    std::uint64_t reconnects_ = 0;
};

// Rows, quarantined rows and unreadable records so far, for the caller's progress line.
using PumpProgress = std::function<void(const TableRescue& sofar)>;

// Pumps one table whose definition already exists (empty) in the target. `tablesTaken` are the
// target's table names, so the quarantine table's name clashes with none.
TableRescue PumpTable(SourceLink& source, TIBDatabase& target, const TTableInfo& table, std::uint32_t slotsPerPage,
                      const DamageMap& damage, const std::set<std::string>& tablesTaken, const PumpSettings& settings,
                      const PumpProgress& progress);

}  // namespace tovanel
