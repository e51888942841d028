#pragma once
// The details of a validation or mend run, after the server's summary: which pages, records and
// indexes, as the server's log names them. Where the log cannot give them, the verification
// falls back to the online validation's lines. Getting the details never fails the job: every
// problem on the way becomes one log line.

#include <exception>
#include <functional>
#include <string>

#include "IBValidationService.h"
#include "ServerCallWaiter.h"
#include "ValidationLog.h"

namespace tovanel {

using LineSink = std::function<void(const std::string& line)>;

// A failure's text on one line, for a log line that says why something could not be had.
std::string OneLine(const std::exception& failure);
// Gives `to` the server, protocol and credentials of `from`, without a login prompt.
void CopyConnection(const TIBValidationService& from, TIBCustomService& to);

// Where the listed details came from.
enum class TRunDetailsSource { ServerLog, OnlineValidation, None };

// The run of `service`'s database that started at `startedAt` (local time, seconds) is looked up
// in the server's log through a new service-manager attachment made with `service`'s server,
// protocol and credentials. A verification (`onlineFallback`) lists the online validation's lines
// when the log cannot give the run; a mend has nothing to fall back on.
// Each problem line listed also goes to `onProblem` when one is given. Every client call goes
// through `run`: a large log takes seconds to fetch, and the online validation as long as the
// validation itself.
TRunDetailsSource ListRunDetails(const TIBValidationService& service, const TLogTime& startedAt,
                                 bool onlineFallback, const ServerCallRunner& run, const LineSink& append,
                                 const LineSink& onProblem = {});

// The server refuses every offline validation of a file while an aborted one left its attachment
// behind.
bool IsLeftoverAttachmentRefusal(const std::exception& failure);
// Says in the log what happened and what the operator can do; the program never shuts a
// database down itself.
void ExplainLeftoverAttachment(const LineSink& append);

// Starts the service's action; a refusal because of a leftover attachment is explained in the
// log before the failure goes on.
void StartValidation(TIBValidationService& service, const LineSink& append);
// The same around a start made by the caller (a job starts it off the user-interface thread).
void StartValidation(const std::function<void()>& start, const LineSink& append);

}  // namespace tovanel
