#include "ReadCheck.h"

#include <algorithm>
#include <exception>

#include "IBBackupService.h"

namespace tovanel {

namespace {

constexpr std::string_view kWritingData = "writing data for table ";
constexpr const char* kNullDevice = "/dev/null";

constexpr const char* kTableUnreadable = "Erro: a tabela ";
constexpr const char* kCannotBeRead = " não pode ser lida: ";
constexpr const char* kCheckStopped = "A leitura completa do banco parou: ";
constexpr const char* kRescueNeeded =
    "A reparação falharia no backup, que para nas mesmas tabelas: é preciso um resgate dos dados, "
    "tabela por tabela.";

bool Known(const std::vector<TUnreadableTable>& tables, const std::string& table) {
    return std::any_of(tables.begin(), tables.end(), [&](const TUnreadableTable& t) { return t.Table == table; });
}

// One backup run. Answers the table it stopped on, or nothing when it read to the end; a
// failure with no table being written goes on to the caller.
std::optional<TUnreadableTable> ReadOnce(const TIBValidationService& like, const std::string& skip,
                                         const LineSink& append) {
    TIBBackupService backup;
    CopyConnection(like, backup);
    backup.SetDatabaseName(like.DatabaseName());
    backup.BackupFile().Add(kNullDevice);
    backup.SetOptions({TBackupOption::NoGarbageCollection});
    backup.SetVerbose(true);
    backup.SetSkipData(skip);
    std::optional<std::string> table;
    try {
        backup.SetActive(true);
        backup.ServiceStart();
        for (std::string line = backup.GetNextLine(); !line.empty(); line = backup.GetNextLine()) {
            if (const auto named = TableBeingWritten(line)) {
                table = named;
                append(line);
            }
        }
        backup.SetActive(false);
    } catch (const EIBInterBaseError& failure) {
        if (!table) throw;
        return TUnreadableTable{*table, OneLine(failure)};
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::string> TableBeingWritten(std::string_view line) {
    const auto at = line.find(kWritingData);
    if (at == std::string_view::npos) return std::nullopt;
    std::string_view table = line.substr(at + kWritingData.size());
    while (!table.empty() && (table.back() == ' ' || table.back() == '\r')) table.remove_suffix(1);
    if (table.empty()) return std::nullopt;
    return std::string(table);
}

std::string SkipDataPattern(const std::vector<TUnreadableTable>& tables) {
    if (tables.empty()) return {};
    std::string pattern = "(";
    for (const TUnreadableTable& t : tables) pattern += (pattern.size() > 1 ? "|" : "") + t.Table;
    return pattern + ")";
}

TReadCheck RunReadCheck(const TIBValidationService& service, const LineSink& append, std::size_t maxRuns) {
    TReadCheck check;
    try {
        for (std::size_t run = 0; run < maxRuns; ++run) {
            const auto stopped = ReadOnce(service, SkipDataPattern(check.Unreadable), append);
            if (!stopped) {
                check.Completed = true;
                break;
            }
            // A table that stops the run again although its data was left out: going on would
            // only repeat it.
            if (Known(check.Unreadable, stopped->Table)) break;
            append(kTableUnreadable + stopped->Table + kCannotBeRead + stopped->ServerError);
            check.Unreadable.push_back(*stopped);
        }
    } catch (const std::exception& failure) {
        check.Failure = OneLine(failure);
        append(kCheckStopped + check.Failure);
    }
    return check;
}

TVerificationOffer ChooseOffer(bool validationFoundProblems, bool tablesUnreadable) {
    if (tablesUnreadable) return TVerificationOffer::Rescue;
    return validationFoundProblems ? TVerificationOffer::Repair : TVerificationOffer::None;
}

void ExplainRescueNeeded(const TReadCheck& check, const LineSink& append) {
    if (check.Unreadable.empty()) return;
    append("");
    append(kRescueNeeded);
}

}  // namespace tovanel
