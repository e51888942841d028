#pragma once
// The read check: a backup to the null device on the server's side reads every record and blob,
// which the server's validation does not; where it stops on a table, that table is named and the
// check runs again with the data of every table found so far left out, until it reaches the end.
// It writes no file and, without garbage collection, changes the database no more than any
// attachment does.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "IBValidationService.h"
#include "ValidationDetails.h"

namespace tovanel {

struct TUnreadableTable {
    std::string Table;
    std::string ServerError;  // the server's text, on one line
};

struct TReadCheck {
    std::vector<TUnreadableTable> Unreadable;
    bool Completed = false;  // a run read to the backup's end
    std::string Failure;     // why the check stopped with no table to blame; empty otherwise
};

// The table whose data a verbose backup line says is being written ("gbak:writing data for
// table PEDIDOS"), if the line says so.
std::optional<std::string> TableBeingWritten(std::string_view line);

// The backup's pattern that leaves out the data of these tables.
std::string SkipDataPattern(const std::vector<TUnreadableTable>& tables);

// Runs the check on `service`'s database with its server, protocol and credentials, handing
// each table's line and each problem to `append`. At most `maxRuns` backups are started.
TReadCheck RunReadCheck(const TIBValidationService& service, const LineSink& append, std::size_t maxRuns);

// What a verification offers once it has listed what it found.
enum class TVerificationOffer { None, Repair, Rescue };
TVerificationOffer ChooseOffer(bool validationFoundProblems, bool tablesUnreadable);

// Said instead of the offer to repair when a table cannot be read: the repair's backup would
// stop at the same table. The rescue job is not part of this program yet, so no job is offered.
void ExplainRescueNeeded(const TReadCheck& check, const LineSink& append);

}  // namespace tovanel
