// What the server's log says about one validation or mend run: the server writes each of the
// run's messages as a block of its own (a header line with host and local time, a "Database:"
// line, the message), between "Validation started" and "Validation finished: ..." or
// "Validation aborted". Blocks of other runs and other databases may lie in between.
#pragma once

#include <compare>
#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

// A local date and time to the second, as the log's header lines write it.
struct TLogTime {
    int Year = 0, Month = 0, Day = 0, Hour = 0, Minute = 0, Second = 0;
    auto operator<=>(const TLogTime&) const = default;
};

// "Thu Dec 10 11:24:13 2026" (the day may be padded with a blank); nothing for another text.
std::optional<TLogTime> ParseLogTime(std::string_view Text);
// The local time of this machine, where the server runs (it is always addressed as localhost).
TLogTime LocalLogTime(std::time_t Moment);

// The totals of a "Validation finished: 3 errors, 0 warnings, 0 fixed" line.
struct TValidationTotals {
    int Errors = 0;
    int Warnings = 0;
    int Fixed = 0;
};
std::optional<TValidationTotals> ParseFinishLine(std::string_view Message);

// How the run's entries ended in the log.
enum class TValidationRunEnd {
    NotFound,  // no "Validation started" of this database at or after the given time
    Finished,  // "Validation finished: ..."
    Aborted,   // "Validation aborted": the server gave the run up
    Unended,   // started, but neither finished nor aborted in the log
};

struct TValidationRun {
    TValidationRunEnd End = TValidationRunEnd::NotFound;
    int ListedErrors = 0;    // "Error: ..." messages handed out
    int ListedWarnings = 0;  // "Warning: ..." messages handed out
    std::string FinishLine;  // the finish (or abort) message as the server wrote it
    std::optional<TValidationTotals> Totals;  // from the finish line

    // The finish line's totals differ from the messages listed.
    bool CountsDisagree() const {
        return Totals && (Totals->Errors != ListedErrors || Totals->Warnings != ListedWarnings);
    }
};

using TProblemSink = std::function<void(const std::string& Problem)>;

// Finds the latest run of Database (the name exactly as the service was given it) that started
// at or after NotBefore, and hands each of its Error and Warning messages to OnProblem, in the
// log's order, one line each (a continuation line joined to its message).
TValidationRun ReadValidationRun(std::string_view Log, std::string_view Database, const TLogTime& NotBefore,
                                 const TProblemSink& OnProblem);
