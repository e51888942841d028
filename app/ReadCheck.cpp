#include "ReadCheck.h"

#include <algorithm>
#include <exception>

#include "IBBackupService.h"
#include "RescueBackup.h"

namespace tovanel {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::string_view kWritingData = "writing data for table ";
constexpr const char* kNullDevice = "/dev/null";
// The skip pattern that leaves out every table's data: the definitions alone.
constexpr const char* kEveryTable = "%";

constexpr const char* kTableUnreadable = "Erro: a tabela ";
constexpr const char* kCannotBeRead = " não pode ser lida: ";
constexpr const char* kCheckStopped = "A leitura completa do banco parou: ";
constexpr const char* kCorruptStop =
    ". O servidor não encontrou uma página de blob: reinicie o servidor Firebird antes de abrir este banco de "
    "novo (depois de um erro assim, a próxima conexão ao banco pode travar o servidor inteiro). O resgate lê uma "
    "cópia do arquivo e não o abre.";
constexpr const char* kInternalStop =
    ". O servidor teve um erro interno ao ler este banco e pode recusar novas conexões a ele, ou até cair, até ser "
    "reiniciado: nenhuma outra leitura foi feita. Reinicie o servidor Firebird antes de reparar ou resgatar este "
    "banco.";
constexpr const char* kWhileReading = " (ao ler a tabela ";
constexpr const char* kLeftOut =
    "Dados não lidos, pois a validação já encontrou problemas neles (o reparo os corrige antes de copiá-los): ";
constexpr const char* kIsolating =
    "O servidor parou sem dizer em que tabela: lendo as tabelas por partes para encontrá-la.";
constexpr const char* kServerSilent = "o servidor não enviou nada por ";
constexpr const char* kSeconds = " segundos";

constexpr ISC_STATUS kServerGone[] = {isc_network_error, isc_net_read_err, isc_net_write_err,
                                      isc_lost_db_connection};

// Measured on this server: after its backup has found a blob's page missing ("database file appears
// corrupt (cannot find BLOB page ...)"), the next attachment of that file hangs the whole server. A
// wrong page type, also reported as corrupt, does not.
bool HangsOnNextAttach(const EIBError& failure) {
    return failure.IBErrorCode() == isc_db_corrupt && std::string_view(failure.what()).find("BLOB page") != std::string_view::npos;
}

// A consistency check ends the server's use of the file: measured on this server, the next attachment
// is refused ("can't attach after bugcheck") for a while or until a restart, and once the whole
// server fell soon after. Nothing attaches the file again after one.
constexpr std::string_view kConsistencyCheck = "internal Firebird consistency check";
constexpr std::string_view kAttachAfterBugcheck = "can't attach after bugcheck";

bool StopsTheServersUseOfTheFile(std::string_view errors) {
    return errors.find(kConsistencyCheck) != std::string_view::npos ||
           errors.find(kAttachAfterBugcheck) != std::string_view::npos;
}

bool ServerGone(const EIBError& failure) {
    return std::find(std::begin(kServerGone), std::end(kServerGone), failure.IBErrorCode()) != std::end(kServerGone);
}

// What one backup run came to.
struct ReadRun {
    bool completed = false;
    std::optional<TUnreadableTable> stopped;  // the table it stopped on
    std::string failure;                      // a stop that blames no table
    bool serverError = false;                 // the failure is the server's error on the data
    bool corrupt = false;                     // the server took the file for corrupt
    bool internalError = false;               // a consistency check, or a refusal after one
};

class ReadOnce {
public:
    ReadOnce(const TIBValidationService& like, ServerCallWaiter& waiter, const std::set<std::string>& skip,
             const LineSink& append, const TReadCheckLimits& limits, bool definitionsOnly = false)
        : waiter_(waiter), skip_(skip), append_(append), limits_(limits) {
        CopyConnection(like, backup_);
        backup_.SetDatabaseName(like.DatabaseName());
        backup_.BackupFile().Add(kNullDevice);
        backup_.SetOptions({TBackupOption::NoGarbageCollection});
        backup_.SetVerbose(true);
        backup_.SetSkipData(definitionsOnly ? kEveryTable : SkipDataPattern(skip));
    }

    ReadRun Run() {
        ReadRun run;
        try {
            waiter_.Run([&] { backup_.SetActive(true); });
            waiter_.Run([&] { backup_.ServiceStart(); });
            if (!ReadOutput()) {
                run.failure = kServerSilent + std::to_string(limits_.SilenceAllowed.count()) + kSeconds;
                DetachQuietly();
                return run;
            }
            waiter_.Run([&] { backup_.SetActive(false); });
        } catch (const EIBError& failure) {
            // Only the server's own error on the data blames a table; one of this program's
            // (an answer it cannot read) or a server gone ends the check.
            if (ServerGone(failure) || dynamic_cast<const EIBInterBaseError*>(&failure) == nullptr) {
                run.failure = OneLine(failure);
                return run;
            }
            reader_.Add("ERROR:");
            errors_ += (errors_.empty() ? "" : " ") + OneLine(failure);
            run.corrupt = HangsOnNextAttach(failure);
        }
        if (!reader_.Failed()) {
            run.completed = true;
            return run;
        }
        run.internalError = StopsTheServersUseOfTheFile(errors_);
        if (const auto table = reader_.FailingTable(TablesSkippedBy(skip_, reader_.Tables()))) {
            run.stopped = TUnreadableTable{*table, errors_};
        } else {
            run.failure = errors_;
            run.serverError = true;
        }
        return run;
    }

    const BackupOutputReader& Reader() const noexcept { return reader_; }

private:
    // False when the server went silent for longer than allowed.
    bool ReadOutput() {
        Clock::time_point heard = Clock::now();
        while (true) {
            const std::optional<std::string> line =
                waiter_.Run([&] { return backup_.GetNextLineWithin(limits_.QueryWait); });
            if (!line) {
                if (Clock::now() - heard >= limits_.SilenceAllowed) return false;
                continue;
            }
            if (line->empty()) return true;
            heard = Clock::now();
            Take(*line);
        }
    }

    void Take(const std::string& line) {
        reader_.Add(line);
        if (TableBeingWritten(line)) append_(line);
        const auto error = line.find("ERROR:");
        if (error != std::string::npos) errors_ += (errors_.empty() ? "" : " ") + line.substr(error + 6);
    }

    // The server's backup may still run: the attachment is given up, never waited for again.
    void DetachQuietly() noexcept {
        try {
            waiter_.Run([&] { backup_.SetActive(false); });
        } catch (...) {
        }
    }

    ServerCallWaiter& waiter_;
    const std::set<std::string>& skip_;
    const LineSink& append_;
    const TReadCheckLimits& limits_;
    TIBBackupService backup_;
    BackupOutputReader reader_;
    std::string errors_;
};

// The tables read whole by any run, in the order of the last run's backup.
std::vector<std::string> InBackupOrder(const std::set<std::string>& read, const std::vector<std::string>& order) {
    std::vector<std::string> tables;
    for (const std::string& table : order)
        if (read.count(table) > 0) tables.push_back(table);
    for (const std::string& table : read)
        if (std::find(order.begin(), order.end(), table) == order.end()) tables.push_back(table);
    return tables;
}

}  // namespace

std::set<std::string> TReadCheck::UnreadableNames() const {
    std::set<std::string> names;
    for (const TUnreadableTable& table : Unreadable) names.insert(table.Table);
    return names;
}

std::string TReadCheck::StoppedText() const {
    return Failure.empty() ? std::string() : kCheckStopped + Failure;
}

std::optional<std::string> TableBeingWritten(std::string_view line) {
    const auto at = line.find(kWritingData);
    if (at == std::string_view::npos) return std::nullopt;
    std::string_view table = line.substr(at + kWritingData.size());
    while (!table.empty() && (table.back() == ' ' || table.back() == '\r')) table.remove_suffix(1);
    if (table.empty()) return std::nullopt;
    return std::string(table);
}

namespace {


// The runs of one check: the whole read again and again, each time without the data of the
// tables found unreadable so far.
class ReadCheckRuns {
public:
    ReadCheckRuns(const TIBValidationService& service, ServerCallWaiter& waiter, const LineSink& append,
                  const std::set<std::string>& damaged, const TReadCheckLimits& limits)
        : service_(service), waiter_(waiter), append_(append), damaged_(damaged), limits_(limits) {}

    TReadCheck Run() {
        try {
            RunsToTheEnd();
        } catch (const std::exception& failure) {
            check_.Failure = OneLine(failure);
        }
        if (!check_.Failure.empty()) append_(check_.StoppedText());
        for (const TUnreadableTable& table : check_.Unreadable) read_.erase(table.Table);
        check_.TablesRead = InBackupOrder(read_, order_);
        return check_;
    }

private:
    void RunsToTheEnd() {
        if (!damaged_.empty()) {
            check_.LeftOut.assign(damaged_.begin(), damaged_.end());
            append_(kLeftOut + Joined(check_.LeftOut));
        }
        for (std::size_t runs = 0; runs < limits_.MaxRuns; ++runs) {
            std::set<std::string> skip = check_.UnreadableNames();
            skip.insert(damaged_.begin(), damaged_.end());
            const ReadRun run = Once(skip, append_);
            if (run.completed) {
                check_.Completed = true;
                return;
            }
            if (!run.serverError && !run.stopped) {
                check_.Failure = run.failure;
                return;
            }
            if (run.corrupt) {
                // No further run: see HangsOnNextAttach.
                check_.Failure = ErrorOf(run) + kCorruptStop;
                return;
            }
            if (run.internalError) {
                // No further run: see StopsTheServersUseOfTheFile.
                check_.Failure = ErrorOf(run) + (run.stopped ? kWhileReading + run.stopped->Table + ")" : "") +
                                 kInternalStop;
                return;
            }
            const std::optional<TUnreadableTable> culprit = Culprit(skip, run);
            if (!culprit) {
                check_.Failure = ErrorOf(run);
                return;
            }
            append_(kTableUnreadable + culprit->Table + kCannotBeRead + culprit->ServerError);
            check_.Unreadable.push_back(*culprit);
        }
    }

    static std::string ErrorOf(const ReadRun& run) { return run.stopped ? run.stopped->ServerError : run.failure; }

    // A run after which the file is not attached again.
    static bool Final(const ReadRun& run) { return run.corrupt || run.internalError; }

    static std::string Joined(const std::vector<std::string>& names) {
        std::string text;
        for (const std::string& name : names) text += (text.empty() ? "" : ", ") + name;
        return text;
    }

    // The table that stopped a run. Its lines may name it, but the server drops the lines it had
    // not sent when it fails, so a name from them is only a suspect: a run over the suspect's data
    // alone confirms it, else the tables' data are read in parts until the one is found.
    std::optional<TUnreadableTable> Culprit(const std::set<std::string>& skip, const ReadRun& failed) {
        if (failed.stopped && skip.count(failed.stopped->Table) == 0) {
            const ReadRun alone = OnlyData(skip, {failed.stopped->Table});
            if (!alone.completed && (alone.serverError || alone.stopped))
                return TUnreadableTable{failed.stopped->Table, ErrorOf(alone)};
            if (Final(alone)) return std::nullopt;
        }
        append_(kIsolating);
        return Isolate(skip, ErrorOf(failed));
    }

    // A run that reads the data of `tables` alone, besides the definitions.
    ReadRun OnlyData(const std::set<std::string>& skip, const std::set<std::string>& tables) {
        std::set<std::string> left(skip);
        for (const std::string& table : Tables())
            if (tables.count(table) == 0) left.insert(table);
        return Once(left, [](const std::string&) {});
    }

    // One run; the tables of a run that ended well are the database's, in the backup's order.
    ReadRun Once(const std::set<std::string>& skip, const LineSink& append, bool definitionsOnly = false) {
        ReadOnce once(service_, waiter_, skip, append, limits_, definitionsOnly);
        ReadRun run = once.Run();
        read_.insert(once.Reader().Written().begin(), once.Reader().Written().end());
        if (run.completed) order_ = once.Reader().Tables();
        return run;
    }

    // Every table, from a run that writes the definitions alone (a failed run may have lost lines).
    const std::vector<std::string>& Tables() {
        if (!tables_) {
            const ReadRun run = Once({}, [](const std::string&) {}, true);
            tables_ = run.completed ? order_ : std::vector<std::string>();
        }
        return *tables_;
    }

    // The first table whose data, read after the tables before it, stops a run: found by halving
    // the tables that may hold it. Nothing when reading them in parts does not fail again.
    std::optional<TUnreadableTable> Isolate(const std::set<std::string>& skip, const std::string& error) {
        std::vector<std::string> candidates;
        for (const std::string& table : Tables())
            if (skip.count(table) == 0) candidates.push_back(table);
        std::size_t good = 0;                 // a run over candidates[0, good) reads
        std::size_t bad = candidates.size();  // a run over candidates[0, bad) fails, as the whole did
        std::string lastError = error;
        while (bad - good > 1) {
            const std::size_t middle = good + (bad - good) / 2;
            const ReadRun run = OnlyData(skip, {candidates.begin(), candidates.begin() + static_cast<std::ptrdiff_t>(middle)});
            if (run.completed) {
                good = middle;
            } else if ((run.serverError || run.stopped) && !Final(run)) {
                bad = middle;
                lastError = ErrorOf(run);
            } else {
                return std::nullopt;  // the server went away, silent, or took the file for corrupt
            }
        }
        if (bad == 0) return std::nullopt;
        // Never seen failing in a part: blamed only when its data alone fail too.
        if (bad == candidates.size()) {
            const ReadRun alone = OnlyData(skip, {candidates[bad - 1]});
            if (alone.completed || Final(alone) || (!alone.serverError && !alone.stopped)) return std::nullopt;
            lastError = ErrorOf(alone);
        }
        return TUnreadableTable{candidates[bad - 1], lastError};
    }

    const TIBValidationService& service_;
    ServerCallWaiter& waiter_;
    const LineSink& append_;
    const std::set<std::string>& damaged_;
    const TReadCheckLimits& limits_;
    TReadCheck check_;
    std::set<std::string> read_;
    std::vector<std::string> order_;
    std::optional<std::vector<std::string>> tables_;
};

}  // namespace

TReadCheck RunReadCheck(const TIBValidationService& service, ServerCallWaiter& waiter, const LineSink& append,
                        const std::set<std::string>& damaged, const TReadCheckLimits& limits) {
    return ReadCheckRuns(service, waiter, append, damaged, limits).Run();
}

std::set<std::string> UnreadableUnnamed(const std::set<std::string>& unreadable,
                                        const std::set<std::string>& namedByValidation) {
    std::set<std::string> unnamed;
    std::set_difference(unreadable.begin(), unreadable.end(), namedByValidation.begin(), namedByValidation.end(),
                        std::inserter(unnamed, unnamed.end()));
    return unnamed;
}

TVerificationOffer ChooseOffer(bool validationFoundProblems, const std::set<std::string>& unreadable,
                               const std::set<std::string>& namedByValidation) {
    if (!UnreadableUnnamed(unreadable, namedByValidation).empty()) return TVerificationOffer::Rescue;
    return validationFoundProblems || !unreadable.empty() ? TVerificationOffer::Repair : TVerificationOffer::None;
}

}  // namespace tovanel
