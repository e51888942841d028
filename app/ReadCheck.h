#pragma once
// The read check: a backup to the null device on the server's side reads every record and blob,
// which the server's validation does not; where it stops on a table, that table is named and the
// check runs again with the data of every table found so far left out, until it reaches the end.
// It writes no file and, without garbage collection, changes the database no more than any
// attachment does. It ends on its own: a server that sends nothing for too long, or that dies,
// ends the check with what it found up to then.

#include <chrono>
#include <cstddef>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "IBValidationService.h"
#include "ServerCallWaiter.h"
#include "ValidationDetails.h"

namespace tovanel {

struct TUnreadableTable {
    std::string Table;
    std::string ServerError;  // the server's text, on one line
};

struct TReadCheck {
    std::vector<TUnreadableTable> Unreadable;
    std::vector<std::string> TablesRead;  // read whole, in the backup's order
    std::vector<std::string> LeftOut;     // the validation found their data damaged: not read
    bool Completed = false;  // a run read to the backup's end
    std::string Failure;     // why the check stopped with no table to blame; empty otherwise

    std::set<std::string> UnreadableNames() const;
    // The line that says why the check stopped before the end; empty when it did not.
    std::string StoppedText() const;
};

struct TReadCheckLimits {
    // How long one output query may wait on the server, and how long the server may send
    // nothing at all before the check gives up. A table's rows are written without a line, so
    // the silence allowed is long.
    std::chrono::seconds QueryWait{2};
    std::chrono::seconds SilenceAllowed{600};
    // A bound beyond the number of tables, which ends the runs anyway.
    std::size_t MaxRuns = 1000;
};

// The table whose data a verbose backup line says is being written ("gbak:writing data for
// table PEDIDOS"), if the line says so.
std::optional<std::string> TableBeingWritten(std::string_view line);

// Runs the check on `service`'s database with its server, protocol and credentials, each client
// call through `waiter`, handing each table's line and each problem to `append`. The data of the
// `damaged` tables, which the validation already named, are left out: reading a damaged record
// can stop the server with a consistency check, and the repair mends them before its backup.
TReadCheck RunReadCheck(const TIBValidationService& service, ServerCallWaiter& waiter, const LineSink& append,
                        const std::set<std::string>& damaged, const TReadCheckLimits& limits = {});

// What a verification offers once it has listed what it found. A table that cannot be read and
// that the validation named too is one the repair mends before its backup; one the validation
// did not name stops the repair's backup, so only a rescue saves its rows.
enum class TVerificationOffer { None, Repair, Rescue };
TVerificationOffer ChooseOffer(bool validationFoundProblems, const std::set<std::string>& unreadable,
                               const std::set<std::string>& namedByValidation);

// The tables that cannot be read although the validation did not name them.
std::set<std::string> UnreadableUnnamed(const std::set<std::string>& unreadable,
                                        const std::set<std::string>& namedByValidation);

}  // namespace tovanel
