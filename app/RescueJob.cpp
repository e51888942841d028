#include "RescueJob.h"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <map>
#include <optional>
#include <type_traits>

#include "IBBackupService.h"
#include "IBRestoreService.h"
#include "IBSqlError.h"
#include "IBStatement.h"
#include "IBValidationService.h"
#include "PlatformFiles.h"
#include "RepairNames.h"
#include "RescueBackup.h"
#include "RescueDbKey.h"
#include "RescueSchema.h"
#include "ServiceOutput.h"
#include "ValidationDetails.h"

namespace tovanel {
namespace {

constexpr int32_t kNewPageSize = 4096;

std::string Quoted(const std::string& text) {
    std::string literal = "'";
    for (const char c : text) literal += c == '\'' ? std::string("''") : std::string(1, c);
    return literal + "'";
}

// The operator's stop, raised between calls.
class ERescueStopped : public ERescueError {
public:
    ERescueStopped() : ERescueError(kRescueStopped) {}
};

class RescueRun {
public:
    RescueRun(const RescueRequest& request, const RescueCallback& callback, RescueCalls& calls)
        : request_(request), callback_(callback), calls_(calls) {
        report_.original = request.original;
        report_.newDatabase = request.newDatabase;
    }

    RescueReport Run() {
        const auto started = std::chrono::steady_clock::now();
        const bool newExisted = RegularFileExists(request_.newDatabase);
        std::optional<UnfinishedFile> unfinished;
        if (!newExisted) unfinished.emplace(request_.newDatabase);
        try {
            Steps();
            report_.outcome = RescueOutcome::NewDatabaseMade;
        } catch (const ERescueStopped& stopped) {
            report_.failure = stopped.what();
        } catch (const ERescueServerGone& gone) {
            report_.serverDied = true;
            report_.failure = gone.what();
        } catch (const std::exception& failure) {
            report_.failure = failure.what();
            report_.serverDied = !ServerAnswers();
        }
        Detach();
        Say(RescuePhase::Finishing, "Removendo os arquivos temporários do resgate.");
        for (const std::string& left : temps_.RemoveAll())
            report_.failure += (report_.failure.empty() ? "" : "; ") + std::string("não foi possível remover ") + left;
        // A half-made new database is no rescue: it goes too, unless it was there before.
        if (report_.outcome == RescueOutcome::Failed && !newExisted) RemoveFileQuietly(request_.newDatabase);
        report_.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        return report_;
    }

private:
    void StopIfAsked() {
        if (calls_.StopRequested()) throw ERescueStopped();
    }

    // A client call that can block for long, made as the front end makes them; the operator's stop
    // is heard before it.
    template <class Call>
    std::invoke_result_t<Call&> Wait(ServerPhase phase, Call&& call) {
        StopIfAsked();
        using Result = std::invoke_result_t<Call&>;
        if constexpr (std::is_void_v<Result>) {
            calls_.Run(phase, [&call] { call(); });
        } else {
            std::optional<Result> result;
            calls_.Run(phase, [&call, &result] { result.emplace(call()); });
            return std::move(*result);
        }
    }

    // The calls of one phase, each waited for as above.
    ServerCallRunner RunnerFor(ServerPhase phase) {
        return [this, phase](const std::function<void()>& call) { Wait(phase, call); };
    }

    // The output of a started service, one call per line, each line handed on.
    void ForEachOutputLine(TIBControlAndQueryService& service, ServerPhase phase, const LineSink& onLine) {
        ReadServiceOutput(service, RunnerFor(phase), onLine);
    }

    // The attachments go before their files; a detach that fails has let go of its handle anyway.
    void Detach() noexcept {
        try {
            calls_.Run(ServerPhase::Pump, [&] {
                target_.reset();
                source_.reset();
            });
        } catch (...) {
        }
        target_.reset();
        source_.reset();
    }

    // The end's lines come whatever was asked: a stop is heard until then.
    void Say(RescuePhase phase, const std::string& line) {
        if (phase != RescuePhase::Finishing) StopIfAsked();
        if (!callback_) return;
        RescueProgress progress;
        progress.phase = phase;
        progress.line = line;
        callback_(progress);
    }

    template <class Service>
    void Configure(Service& service) const {
        service.SetServerName("localhost");
        service.SetProtocol(TProtocol::TCP);
        service.SetLoginPrompt(false);
        service.Params().SetValue("user_name", request_.login.user);
        service.Params().SetValue("password", request_.login.password);
    }

    bool ServerAnswers() const noexcept {
        try {
            TIBServerInfoService info;
            Configure(info);
            calls_.Run(ServerPhase::Connection, [&] {
                info.Attach();
                info.Detach();
            });
            return true;
        } catch (...) {
            return false;
        }
    }

    void Steps() {
        MakeCopy();
        ValidateCopy();
        ReadSchema();
        BackupAndRestore();
        PumpTables();
        ActivateRebuiltKeys();
        CountBackedUpTables();
    }

    void MakeCopy() {
        Say(RescuePhase::Checking, "Verificando se o servidor está com o banco de dados aberto.");
        TIBServerInfoService info;
        Configure(info);
        Wait(ServerPhase::Copy, [&] { info.Attach(); });
        Say(RescuePhase::Copying, "Copiando o banco de dados para um arquivo de trabalho.");
        copy_ = Wait(ServerPhase::Copy, [&] { return MakeWorkingCopy(info, request_.original, request_.newDatabase, temps_); });
        Wait(ServerPhase::Copy, [&] { info.Detach(); });
        Say(RescuePhase::Copying, "Cópia de trabalho: " + copy_.path);
    }

    void ValidateCopy() {
        Say(RescuePhase::Validating, "Validando a cópia de trabalho.");
        const LineSink log = [&](const std::string& line) {
            damage_.AddProblem(line);
            Say(RescuePhase::Validating, line);
        };
        try {
            TIBValidationService validation;
            Configure(validation);
            validation.SetDatabaseName(copy_.path);
            Wait(ServerPhase::Validation, [&] { validation.Attach(); });
            validation.SetOptions({TValidateOption::ValidateDB, TValidateOption::ValidateFull});
            const TLogTime startedAt = LocalLogTime(std::time(nullptr));
            // The server answers the start only when the whole validation has ended.
            StartValidation([&] { Wait(ServerPhase::Validation, [&] { validation.ServiceStart(); }); }, log);
            ForEachOutputLine(validation, ServerPhase::Validation, log);
            foundErrors_ = validation.ReportTaken();
            if (foundErrors_) ListRunDetails(validation, startedAt, true, RunnerFor(ServerPhase::Validation), log);
            Wait(ServerPhase::Validation, [&] { validation.SetActive(false); });
        } catch (const ERescueStopped&) {
            throw;
        } catch (const EIBError& failure) {
            // A validation that cannot run leaves the pump to find the damage in every table.
            validationFailed_ = true;
            Say(RescuePhase::Validating, std::string("A validação da cópia falhou: ") + failure.what());
        }
    }

    void ReadSchema() {
        Say(RescuePhase::ReadingSchema, "Lendo as definições das tabelas.");
        Wait(ServerPhase::Pump, [&] {
            source_.emplace(copy_.path, request_.login);
            tables_ = ReadUserTables(source_->Transaction());
            TIBStatement page(source_->Transaction(), "select mon$page_size from mon$database");
            page.Execute();
            if (!page.Fetch()) throw ERescueError("O servidor não informou o tamanho de página da cópia.");
            slots_ = SlotsPerDataPage(static_cast<std::uint32_t>(*page.Columns().GetInt32(0)));
            page.CloseCursor();
        });

        bool anyNamed = false;
        for (const TTableInfo& table : tables_) {
            allNames_.push_back(table.name);
            if (request_.alsoPump.count(table.name) > 0) pumped_.insert(table.name);
            if (damage_.NeedsPump(table.name)) {
                pumped_.insert(table.name);
                anyNamed = true;
            }
        }
        // Errors without a table named (no details from the server's log), or no validation at all:
        // every table is read and checked row by row.
        if (validationFailed_ || (foundErrors_ && !anyNamed)) pumped_.insert(allNames_.begin(), allNames_.end());
    }

    void BackupAndRestore() {
        const std::string backup = TemporaryBackupPath(request_.newDatabase, DeriveRepairNames(request_.newDatabase).stem);
        temps_.Add(backup);
        for (std::size_t attempt = 0;; ++attempt) {
            pumped_ = TablesSkippedBy(pumped_, allNames_);
            std::optional<std::string> failing = Backup(backup);
            if (!failing) failing = Restore(backup);
            if (!failing) break;
            const bool allPumped = pumped_.size() == allNames_.size();
            if (allPumped) {
                // Not even the definitions pass through the server's backup: the schema is
                // rebuilt from the system tables instead.
                RemoveFileQuietly(backup);
                RebuildSchema();
                return;
            }
            if (attempt > tables_.size())
                throw ERescueError("A cópia de segurança do servidor não pôde ser feita nem restaurada, nem com as "
                                   "tabelas danificadas lidas registro a registro.");
            if (failing->empty() || pumped_.count(*failing) > 0) {
                // The server named no table (its lines stop before the table's): every table is read
                // row by row, and the backup carries the definitions only.
                Say(RescuePhase::BackingUp, "Todas as tabelas serão lidas registro a registro.");
                pumped_.insert(allNames_.begin(), allNames_.end());
            } else {
                Say(RescuePhase::BackingUp, "A tabela " + *failing + " será lida registro a registro.");
                pumped_.insert(*failing);
            }
        }
        RemoveFileQuietly(backup);
    }

    // ---- the schema rebuilt from the system tables -------------------------------------------

    void RebuildSchema() {
        Say(RescuePhase::ReadingSchema, "A cópia de segurança do servidor não pôde ser feita: o novo banco de dados "
                                        "será criado a partir das tabelas de sistema.");
        try {
            schema_ = Wait(ServerPhase::Pump, [&] { return ReadDatabaseSchema(source_->Transaction(), tables_); });
        } catch (const EIBError& failure) {
            if (!ServerAnswers()) throw ERescueServerGone(std::string("O servidor Firebird parou: ") + failure.what());
            throw ERescueError(std::string("A cópia de segurança do servidor não pôde ser feita, nem as tabelas de "
                                           "sistema da cópia puderam ser lidas: ") + failure.what());
        }
        report_.schemaFromSystemTables = true;
        RemoveFileQuietly(request_.newDatabase);
        TIBDatabase ddl;
        Wait(ServerPhase::Pump, [&] {
            TIBDatabase created;
            created.CreateDatabase(CreateDatabaseSql(request_.newDatabase, request_.login.user,
                                                     request_.login.password, kNewPageSize, schema_->characterSet));
            created.Close();
            // The system tables' texts (defaults, names) are UTF-8: the definitions go through a
            // connection that says so, so a default's accents reach its column's character set.
            ddl.Params().SetValue("lc_ctype", "UTF8");
            OpenDatabase(ddl, request_.newDatabase, request_.login);
        });
        report_.notCarriedOver = schema_->notCarried;
        // A table of a domain that could not be made fails on its own below.
        for (const SchemaDomain& domain : schema_->domains)
            RunRebuildStep(ddl, CreateDomainSql(domain), "domínio " + domain.name);
        for (const SchemaTable& table : schema_->tables)
            if (!RunRebuildStep(ddl, CreateTableSql(table), "tabela " + table.name)) LeaveOut(table.name);
        for (const SchemaGenerator& generator : schema_->generators)
            if (RunRebuildStep(ddl, CreateGeneratorSql(generator), "gerador " + generator.name))
                RunRebuildStep(ddl, SetGeneratorSql(generator), "valor do gerador " + generator.name);
        Wait(ServerPhase::Pump, [&] { ddl.Close(); });
        OpenTarget();
    }

    // Runs one statement of the rebuild; false (and said in the report) when it has none or the
    // server refuses it.
    bool RunRebuildStep(TIBDatabase& database, const std::optional<std::string>& sql, const std::string& what) {
        if (!sql) {
            report_.notCarriedOver.push_back(what + " (tipo de dado não suportado)");
            return false;
        }
        try {
            Wait(ServerPhase::Pump, [&] { RunDdlOn(database, *sql); });
            return true;
        } catch (const EIBError& failure) {
            if (!ServerAnswers()) throw ERescueServerGone(std::string("O servidor Firebird parou: ") + failure.what());
            report_.notCarriedOver.push_back(what + " (" + failure.what() + ")");
            return false;
        }
    }

    // A table the new database could not be given: reported, not pumped.
    void LeaveOut(const std::string& name) {
        pumped_.erase(name);
        leftOut_.insert(name);
        TableRescue result;
        result.name = name;
        result.carriedBy = CarriedBy::NotCarried;
        result.notes.push_back("a definição da tabela não pôde ser criada no novo banco de dados");
        report_.tables.push_back(result);
    }

    // Keys and indexes of the rebuilt schema, made once every row is in.
    void ActivateRebuiltKeys() {
        if (!schema_) return;
        Say(RescuePhase::Activating, "Criando as chaves e os índices do novo banco de dados.");
        for (const SchemaTable& table : schema_->tables) {
            if (pumped_.count(table.name) == 0) continue;
            for (const TKeyInfo& key : table.keys)
                Reactivate(AddKeySql(table.name, key), table.name + ": chave " + key.name);
        }
        for (const SchemaIndex& index : schema_->indexes) {
            if (pumped_.count(index.table) == 0) continue;
            const std::string what = index.table + ": índice " + index.name;
            Reactivate(CreateIndexSql(index), what);
            // An index the user had made inactive stays so.
            if (index.inactive) Reactivate("alter index " + QuoteIdentifier(index.name) + " inactive", what);
        }
    }

    // Runs a started backup or restore to its end; nothing when it succeeded, else the table that
    // stopped it (empty: none named).
    std::optional<std::string> RunToEnd(TIBControlAndQueryService& service, RescuePhase phase) {
        const ServerPhase waits = phase == RescuePhase::Restoring ? ServerPhase::Restore : ServerPhase::Backup;
        BackupOutputReader reader;
        try {
            Wait(waits, [&] { service.Attach(); });
            Wait(waits, [&] { service.ServiceStart(); });
            ForEachOutputLine(service, waits, [&](const std::string& line) {
                reader.Add(line);
                Say(phase, line);
            });
            Wait(waits, [&] { service.SetActive(false); });
        } catch (const ERescueStopped&) {
            throw;
        } catch (const EIBError& failure) {
            reader.Add(std::string("ERROR:") + failure.what());
            Say(phase, failure.what());
            if (!ServerAnswers()) throw ERescueServerGone(std::string("O servidor Firebird parou: ") + failure.what());
        }
        if (!reader.Failed()) return std::nullopt;
        return reader.FailingTable(pumped_).value_or(std::string());
    }

    std::optional<std::string> Backup(const std::string& backup) {
        Say(RescuePhase::BackingUp, "Cópia de segurança das tabelas sem danos.");
        RemoveFileQuietly(backup);
        TIBBackupService service;
        Configure(service);
        service.SetDatabaseName(copy_.path);
        service.BackupFile().Add(backup);
        service.SetOptions({TBackupOption::IgnoreLimbo, TBackupOption::NoGarbageCollection});
        service.SetSkipData(SkipDataPattern(pumped_));
        service.SetVerbose(true);
        return RunToEnd(service, RescuePhase::BackingUp);
    }

    std::optional<std::string> Restore(const std::string& backup) {
        Say(RescuePhase::Restoring, "Criando o novo banco de dados.");
        TIBRestoreService service;
        Configure(service);
        service.SetOptions({TRestoreOption::Replace, TRestoreOption::CreateNewDB});
        service.DatabaseName().Add(request_.newDatabase);
        service.BackupFile().Add(backup);
        service.SetPageSize(kNewPageSize);
        service.SetVerbose(true);
        return RunToEnd(service, RescuePhase::Restoring);
    }

    // ---- the pumped tables -------------------------------------------------------------------

    std::vector<std::string> Names(const std::string& sql) {
        return Wait(ServerPhase::Pump, [&] {
            TIBTransaction read(*target_, TTransactionOptions::WriteTarget());
            std::vector<std::string> names;
            TIBStatement statement(read, sql);
            statement.ForEachRow([&](const TSqlMessage& row) {
                std::string name = row.GetText(0).value_or(std::string());
                name.erase(name.find_last_not_of(' ') + 1);
                names.push_back(name);
                return true;
            });
            read.Commit();
            return names;
        });
    }

    void RunDdl(const std::string& sql) {
        Wait(ServerPhase::Pump, [&] { RunDdlOn(*target_, sql); });
    }

    static void RunDdlOn(TIBDatabase& database, const std::string& sql) {
        TIBTransaction ddl(database, TTransactionOptions::WriteTarget());
        TIBStatement statement(ddl, sql);
        statement.Execute();
        ddl.Commit();
    }

    // Parents before children, so a child's rows find the parent rows already there.
    std::vector<const TTableInfo*> PumpOrder() {
        std::multimap<std::string, std::string> parents;
        Wait(ServerPhase::Pump, [&] {
            TIBTransaction read(*target_, TTransactionOptions::WriteTarget());
            TIBStatement statement(read,
                                   "select c.rdb$relation_name, p.rdb$relation_name from rdb$relation_constraints c "
                                   "join rdb$ref_constraints r on r.rdb$constraint_name = c.rdb$constraint_name "
                                   "join rdb$relation_constraints p on p.rdb$constraint_name = r.rdb$const_name_uq");
            statement.ForEachRow([&](const TSqlMessage& row) {
                auto trim = [](std::string s) { return s.erase(s.find_last_not_of(' ') + 1); };
                parents.emplace(trim(row.GetText(0).value_or("")), trim(row.GetText(1).value_or("")));
                return true;
            });
            read.Commit();
        });
        std::vector<const TTableInfo*> order;
        std::set<std::string> placed;
        // Bounded: each round places at least one table, or the rest (a cycle) in name order.
        while (order.size() < pumped_.size()) {
            bool progress = false;
            for (const TTableInfo& table : tables_) {
                if (pumped_.count(table.name) == 0 || placed.count(table.name) > 0) continue;
                bool ready = true;
                for (auto [p, end] = parents.equal_range(table.name); p != end; ++p)
                    if (p->second != table.name && pumped_.count(p->second) > 0 && placed.count(p->second) == 0)
                        ready = false;
                if (!ready) continue;
                order.push_back(&table);
                placed.insert(table.name);
                progress = true;
            }
            if (!progress)
                for (const TTableInfo& table : tables_)
                    if (pumped_.count(table.name) > 0 && placed.insert(table.name).second) order.push_back(&table);
        }
        return order;
    }

    void PumpTables() {
        if (pumped_.empty()) return;
        // The schema rebuilt from the system tables may have opened it already.
        if (!target_) OpenTarget();
        // The load's commits wait for every page written through to the disk; the new database
        // gets the restore's setting back once the pumped tables are in.
        const bool forcedWrites = TIBDatabaseInfo(*target_).ForcedWrites();
        if (forcedWrites) OpenTarget(false);
        std::set<std::string> taken;
        for (const std::string& name : Names("select rdb$relation_name from rdb$relations")) taken.insert(name);
        for (const TTableInfo* table : PumpOrder()) {
            PumpOne(*table, taken);
            if (!report_.tables.empty() && !report_.tables.back().quarantineTable.empty())
                taken.insert(report_.tables.back().quarantineTable);
        }
        if (forcedWrites) OpenTarget(true);
    }

    // A new attachment to the new database, changing its forced writes where one is given.
    void OpenTarget(std::optional<bool> forcedWrites = std::nullopt) {
        Wait(ServerPhase::Pump, [&] {
            target_.reset();
            target_.emplace();
            if (forcedWrites) target_->Params().SetValue("force_write", *forcedWrites ? "1" : "0");
            OpenDatabase(*target_, request_.newDatabase, request_.login);
        });
    }

    void PumpOne(const TTableInfo& table, const std::set<std::string>& taken) {
        Say(RescuePhase::Pumping, "Lendo a tabela " + table.name + " registro a registro.");
        const std::string name = Quoted(table.name);
        const auto triggers = Names("select rdb$trigger_name from rdb$triggers where rdb$relation_name = " + name +
                                    " and coalesce(rdb$trigger_inactive, 0) = 0 and coalesce(rdb$system_flag, 0) = 0");
        const auto indexes = Names(
            "select i.rdb$index_name from rdb$indices i where i.rdb$relation_name = " + name +
            " and coalesce(i.rdb$index_inactive, 0) = 0 and coalesce(i.rdb$system_flag, 0) = 0 and not exists "
            "(select 1 from rdb$relation_constraints c where c.rdb$index_name = i.rdb$index_name)");
        // The rows go in as they were: no trigger may change them, and plain indexes are built once
        // after the load.
        for (const auto& trigger : triggers) RunDdl("alter trigger " + QuoteIdentifier(trigger) + " inactive");
        for (const auto& index : indexes) RunDdl("alter index " + QuoteIdentifier(index) + " inactive");
        TableRescue result;
        try {
            // Counts only, from inside the call: see RescueCallback.
            const PumpProgress counts = [&](const TableRescue& sofar) {
                RescueProgress progress;
                progress.phase = RescuePhase::Pumping;
                progress.table = table.name;
                progress.rows = sofar.rowsSaved;
                progress.quarantined = sofar.QuarantinedRows();
                progress.unreadable = sofar.unreadableRecords;
                if (callback_) callback_(progress);
            };
            result = Wait(ServerPhase::Pump, [&] {
                return PumpTable(*source_, *target_, table, slots_, damage_, taken, request_.pump, counts);
            });
        } catch (const ERescueStopped&) {
            throw;
        } catch (const ERescueServerGone&) {
            throw;
        } catch (const EIBError& failure) {
            if (!ServerAnswers()) throw ERescueServerGone(std::string("O servidor Firebird parou: ") + failure.what());
            result.name = table.name;
            result.carriedBy = CarriedBy::NotCarried;
            result.notes.push_back(std::string("a tabela não pôde ser lida: ") + failure.what());
        }
        Say(RescuePhase::Activating, "Ativando índices e gatilhos da tabela " + table.name + ".");
        for (const auto& index : indexes) Reactivate("alter index " + QuoteIdentifier(index) + " active", table.name + ": índice " + index);
        for (const auto& trigger : triggers)
            Reactivate("alter trigger " + QuoteIdentifier(trigger) + " active", table.name + ": gatilho " + trigger);
        report_.tables.push_back(result);
    }

    void Reactivate(const std::string& sql, const std::string& what) {
        try {
            RunDdl(sql);
        } catch (const ERescueStopped&) {
            throw;
        } catch (const EIBError& failure) {
            report_.notActivated.push_back(what + " (" + failure.what() + ")");
        }
    }

    // The tables the backup carried: their rows in the new database.
    void CountBackedUpTables() {
        if (!target_) OpenTarget();
        for (const TTableInfo& table : tables_) {
            if (pumped_.count(table.name) > 0 || leftOut_.count(table.name) > 0) continue;
            TableRescue result;
            result.name = table.name;
            result.carriedBy = CarriedBy::Backup;
            Wait(ServerPhase::Pump, [&] {
                TIBTransaction read(*target_, TTransactionOptions::WriteTarget());
                TIBStatement count(read, "select count(*) from " + QuoteIdentifier(table.name));
                count.Execute();
                if (count.Fetch())
                    result.rowsSaved = static_cast<std::uint64_t>(count.Columns().GetInt64(0).value_or(0));
                count.CloseCursor();
                read.Commit();
            });
            report_.tables.push_back(result);
        }
        std::sort(report_.tables.begin(), report_.tables.end(),
                  [](const TableRescue& a, const TableRescue& b) { return a.name < b.name; });
    }

    const RescueRequest& request_;
    const RescueCallback& callback_;
    RescueCalls& calls_;
    RescueReport report_;
    RescueTempFiles temps_;
    WorkingCopy copy_;
    DamageMap damage_;
    bool foundErrors_ = false;
    bool validationFailed_ = false;
    std::optional<SourceLink> source_;
    std::optional<TIBDatabase> target_;
    std::vector<TTableInfo> tables_;
    std::vector<std::string> allNames_;
    std::set<std::string> pumped_;
    std::optional<DatabaseSchema> schema_;  // when rebuilt from the system tables
    std::set<std::string> leftOut_;         // tables the rebuilt schema could not hold
    std::uint32_t slots_ = 0;
};

}  // namespace

void RescueCalls::Run(ServerPhase, const std::function<void()>& call) {
    call();
}

RescueReport RunRescue(const RescueRequest& request, const RescueCallback& report, RescueCalls& calls) {
    return RescueRun(request, report, calls).Run();
}

RescueReport RunRescue(const RescueRequest& request, const RescueCallback& report) {
    RescueCalls inPlace;
    return RunRescue(request, report, inPlace);
}

}  // namespace tovanel
