#include "ValidationLog.h"

#include <array>
#include <charconv>
#include <vector>

namespace {

constexpr std::string_view kDatabasePrefix = "Database: ";
constexpr std::string_view kStarted = "Validation started";
constexpr std::string_view kFinished = "Validation finished: ";
constexpr std::string_view kAborted = "Validation aborted";
constexpr std::string_view kError = "Error: ";
constexpr std::string_view kWarning = "Warning: ";

constexpr std::array<std::string_view, 12> kMonths{"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// One entry of the log: the time of its header line, the database it names (none for entries
// such as I/O errors), and its message with any continuation lines joined.
struct TLogEntry {
    TLogTime Time;
    std::optional<std::string_view> Database;
    std::string Message;
};

bool ReadNumber(std::string_view& text, int& value)
{
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end == text.data())
        return false;
    text.remove_prefix(static_cast<std::size_t>(end - text.data()));
    return true;
}

bool ReadChar(std::string_view& text, char c)
{
    if (text.empty() || text.front() != c)
        return false;
    text.remove_prefix(1);
    return true;
}

// A header line: the host, a TAB, the local time; nothing for any other line.
std::optional<TLogTime> HeaderTime(std::string_view line)
{
    if (line.empty() || line.front() == '\t' || line.front() == ' ')
        return std::nullopt;
    const auto tab = line.rfind('\t');
    if (tab == std::string_view::npos)
        return std::nullopt;
    return ParseLogTime(line.substr(tab + 1));
}

// Message lines of a block are indented by one TAB.
std::optional<std::string_view> BodyLine(std::string_view line)
{
    if (line.empty() || line.front() != '\t')
        return std::nullopt;
    return line.substr(1);
}

// Hands each entry of the log to the sink, in order.
template <class Sink>
void ForEachEntry(std::string_view log, Sink&& sink)
{
    std::optional<TLogEntry> entry;
    auto flush = [&] {
        if (entry)
            sink(*entry);
        entry.reset();
    };
    std::size_t start = 0;
    while (start < log.size()) {
        std::size_t end = log.find('\n', start);
        if (end == std::string_view::npos)
            end = log.size();
        std::string_view line = log.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        start = end + 1;

        if (const auto time = HeaderTime(line)) {
            flush();
            entry = TLogEntry{*time, std::nullopt, {}};
            continue;
        }
        const auto body = BodyLine(line);
        if (!entry || !body)
            continue;
        if (!entry->Database && entry->Message.empty() && body->starts_with(kDatabasePrefix))
            entry->Database = body->substr(kDatabasePrefix.size());
        else
            entry->Message += *body;  // a continuation line starts with its own blank
    }
    flush();
}

bool IsRunOf(const TLogEntry& entry, std::string_view database)
{
    return entry.Database && *entry.Database == database;
}

}  // namespace

std::optional<TLogTime> ParseLogTime(std::string_view Text)
{
    // "Www Mmm dd hh:mm:ss yyyy"
    if (Text.size() < 8 || Text[3] != ' ')
        return std::nullopt;
    std::string_view rest = Text.substr(4);
    TLogTime time;
    std::size_t month = 0;
    while (month < kMonths.size() && !rest.starts_with(kMonths[month]))
        ++month;
    if (month == kMonths.size())
        return std::nullopt;
    time.Month = static_cast<int>(month) + 1;
    rest.remove_prefix(3);
    if (!ReadNumber(rest, time.Day) || !ReadChar(rest, ' ') || !ReadNumber(rest, time.Hour) ||
        !ReadChar(rest, ':') || !ReadNumber(rest, time.Minute) || !ReadChar(rest, ':') ||
        !ReadNumber(rest, time.Second) || !ReadChar(rest, ' ') || !ReadNumber(rest, time.Year) || !rest.empty())
        return std::nullopt;
    return time;
}

TLogTime LocalLogTime(std::time_t Moment)
{
    std::tm local{};
    localtime_r(&Moment, &local);
    return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec};
}

std::optional<TValidationTotals> ParseFinishLine(std::string_view Message)
{
    if (!Message.starts_with(kFinished))
        return std::nullopt;
    std::string_view rest = Message.substr(kFinished.size());
    TValidationTotals totals;
    auto count = [&](int& value, std::string_view word) {
        if (!ReadNumber(rest, value) || !rest.starts_with(word))
            return false;
        rest.remove_prefix(word.size());
        return true;
    };
    if (!count(totals.Errors, " errors, ") || !count(totals.Warnings, " warnings, ") || !count(totals.Fixed, " fixed"))
        return std::nullopt;
    return totals;
}

TValidationRun ReadValidationRun(std::string_view Log, std::string_view Database, const TLogTime& NotBefore,
                                 const TProblemSink& OnProblem)
{
    // The latest start wins: an earlier run of the same file in the same second is not this one.
    std::vector<TLogEntry> run;
    bool started = false;
    ForEachEntry(Log, [&](const TLogEntry& entry) {
        if (!IsRunOf(entry, Database))
            return;
        if (entry.Message == kStarted && entry.Time >= NotBefore) {
            run.clear();
            started = true;
        } else if (started) {
            run.push_back(entry);
        }
    });

    TValidationRun result;
    if (!started)
        return result;
    result.End = TValidationRunEnd::Unended;
    for (const TLogEntry& entry : run) {
        const std::string& message = entry.Message;
        if (message.starts_with(kError) || message.starts_with(kWarning)) {
            ++(message.starts_with(kError) ? result.ListedErrors : result.ListedWarnings);
            OnProblem(message);
        } else if (message.starts_with(kFinished) || message == kAborted) {
            result.End = message == kAborted ? TValidationRunEnd::Aborted : TValidationRunEnd::Finished;
            result.FinishLine = message;
            result.Totals = ParseFinishLine(message);
            break;
        }
    }
    return result;
}
