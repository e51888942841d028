// TFrmPrincipal's jobs (connection test, verification, repair), the server status monitor and
// the presentation of failures that escape a handler.

#include <ctime>
#include <exception>

#include "ErrorPresentation.h"
#include "ProcessList.h"
#include "ReadCheck.h"
#include "RepairNames.h"
#include "ServerAccount.h"
#include "ServiceOutput.h"
#include "TryFinally.h"
#include "UFrmPrincipal.h"
#include "ValidationDetails.h"

namespace tovanel {

namespace {

constexpr const char* kHandlerErrorTitle = "Erro!";

constexpr const char* kCheckingConnection = "Aguarde... Verificando conexão";
constexpr const char* kProcessStarted = "Aguarde... Processo iniciado.";
constexpr const char* kConnected = "Banco de dados conectado com sucesso!";
constexpr const char* kNotConnected = "Não foi possivel obter conexão a esse banco de dados!";
constexpr const char* kAttention = "A T E N Ç Ã O!!!!!";

constexpr const char* kConfirmVerification =
    "Esse processo poderá levar alguns minutos.\r        Confirma a verificação?          ";
constexpr const char* kNoErrorFound = "Nenhum erro foi encontrado!";
constexpr const char* kErrorsFound = "Os seguintes erros foram encontrados:";
constexpr const char* kOfferRepair = TFrmPrincipal::kOfferRepairText;
constexpr const char* kReadCheckHeading = "Leitura completa do banco (todos os registros e blobs):";
constexpr const char* kSummaryHeading = "Resumo: ";
constexpr const char* kSummaryValidation = " problema(s) listado(s) pela validação, ";
constexpr const char* kSummaryUnreadable = " tabela(s) que não pode(m) ser lida(s).";
constexpr const char* kRescueNeeded =
    "A reparação falharia no backup, que para nas tabelas que não podem ser lidas: é preciso um resgate dos "
    "dados, tabela por tabela.";

constexpr const char* kConfirmRepair =
    "Esse processo poderá levar alguns minutos.\r        Confirma a reparação?          ";
constexpr const char* kSameFile = "O banco de dados destinho não pode ser igual ao origem";
constexpr const char* kRepairDone = "Processo concluido!";

constexpr const char* kLocalServer = "localhost";
constexpr const char* kLocalConnectionPrefix = "localhost:";

constexpr const char* kServerRunning = "Rodando";
constexpr const char* kServerStopped = "Parado ou não instalado!";
constexpr Rgb kGreen{0, 128, 0};
constexpr Rgb kRed{255, 0, 0};

const TValidateOptions kVerifyOptions{TValidateOption::ValidateDB, TValidateOption::ValidateFull};
const TValidateOptions kSweepOptions{TValidateOption::SweepDB};
const TValidateOptions kMendOptions{TValidateOption::IgnoreChecksum, TValidateOption::MendDB,
                                    TValidateOption::ValidateFull};
const TRestoreOptions kRestoreOptions{TRestoreOption::Replace, TRestoreOption::CreateNewDB};

void SetCredentials(TParamList& params, const UiPort& port) {
    params.SetValue("user_name", port.EditText(UiEdit::LblEdtUsuarioBD));
    params.SetValue("password", port.EditText(UiEdit::MskEdtSenhaBD));
}

void SetSingleLine(TParamList& list, const std::string& line) {
    list.Clear();
    list.Add(line);
}

}  // namespace

// ---- life of the window's access-layer objects -------------------------------------------

void TFrmPrincipal::ApplyStoredSettings() {
    IBDatabase.SetLoginPrompt(false);

    IBBackupService.SetServerName(kLocalServer);
    IBBackupService.SetProtocol(TProtocol::TCP);
    IBBackupService.SetLoginPrompt(false);
    IBBackupService.SetVerbose(true);
    IBBackupService.SetBlockingFactor(0);

    IBRestoreService.SetProtocol(TProtocol::TCP);
    IBRestoreService.SetLoginPrompt(false);
    IBRestoreService.SetVerbose(true);
    IBRestoreService.SetPageBuffers(0);
    IBRestoreService.SetOptions(kRestoreOptions);
}

TFrmPrincipal::~TFrmPrincipal() {
    try {
        FormDestroy();
    } catch (...) {
        // The objects' own destructors detach whatever is still attached.
    }
}

void TFrmPrincipal::FormDestroy() {
    IBValidationService.SetActive(false);
    IBBackupService.SetActive(false);
    IBRestoreService.SetActive(false);
    IBDatabase.Close();
}

// ---- configuration -------------------------------------------------------------------------

void TFrmPrincipal::ConfiguraServico(TConfiguracao Value) {
    const std::string path = port_.EditText(UiEdit::LblEditBancodeDados);
    switch (Value) {
        case TConfiguracao::TValidacao:
            IBValidationService.SetServerName(kLocalServer);
            IBValidationService.SetProtocol(TProtocol::TCP);
            IBValidationService.SetDatabaseName(path);
            SetCredentials(IBValidationService.Params(), port_);
            IBValidationService.SetLoginPrompt(false);
            break;
        case TConfiguracao::TBackup:
            IBBackupService.SetServerName(kLocalServer);
            IBBackupService.SetProtocol(TProtocol::TCP);
            IBBackupService.SetDatabaseName(path);
            SetSingleLine(IBBackupService.BackupFile(), ArquivoBackup);
            SetCredentials(IBBackupService.Params(), port_);
            IBBackupService.SetLoginPrompt(false);
            IBBackupService.SetVerbose(true);
            waiter_.Run([&] { IBBackupService.Attach(); });
            break;
        case TConfiguracao::TRestore:
            IBRestoreService.SetServerName(kLocalServer);
            IBRestoreService.SetOptions(kRestoreOptions);
            IBRestoreService.SetProtocol(TProtocol::TCP);
            SetSingleLine(IBRestoreService.DatabaseName(), NovoArquivoBD);
            SetSingleLine(IBRestoreService.BackupFile(), ArquivoBackup);
            SetCredentials(IBRestoreService.Params(), port_);
            IBRestoreService.SetLoginPrompt(false);
            IBRestoreService.SetVerbose(true);
            waiter_.Run([&] { IBRestoreService.Attach(); });
            break;
        case TConfiguracao::TTesteConexao:
            IBDatabase.SetDatabaseName(kLocalConnectionPrefix + path);
            SetCredentials(IBDatabase.Params(), port_);
            break;
    }
}

// ---- connection test -------------------------------------------------------------------------

bool TFrmPrincipal::TesteConexao() {
    ConfiguraServico(TConfiguracao::TTesteConexao);
    bool answer = false;
    TryFinally(
        [&] {
            waiter_.Run([&] {
                IBDatabase.SetConnected(true);
                IBDatabase.Open();
            });
        },
        [&] {
            answer = IBDatabase.TestConnected();
            IBDatabase.Close();
            IBDatabase.SetConnected(false);
        });
    return answer;
}

// Every job command opens here. A command refused because a job runs (possible while that job
// lets events run) changes nothing, not even the running job's outcome; past that test the job
// counts as failed until it says otherwise.
bool TFrmPrincipal::OpensJob() {
    if (JobRunning()) return false;
    outcome_ = JobOutcome::Failed;
    return JobGuardPasses();
}

void TFrmPrincipal::ActnTestaConexaoExecute() {
    if (!OpensJob()) return;
    port_.SetMainMenuEnabled(false);
    port_.SetInputGroupEnabled(false);
    port_.SetBusyCursor(true);
    port_.ClearLog();
    port_.AppendLog(kCheckingConnection);
    bool connected = false;
    TryFinally([&] { connected = ConnectionStep(); }, [&] { RestoreWindow(); });
    outcome_ = connected ? JobOutcome::Succeeded : JobOutcome::Failed;
}

// The connection test, also the first step of the verification and of the repair: its result
// line is logged in any case, an empty one when the attach failed. A false answer only chooses
// the line; a job goes on.
// The verification and the repair disable the inputs only after this step, so what is typed or
// clicked meanwhile waits until the attach has ended, as it did when the attach held the thread.
bool TFrmPrincipal::ConnectionStep() {
    waiter_.BeginPhase(ServerPhase::Connection, ServerCallWaiter::Input::Held);
    std::string result;
    bool connected = false;
    TryFinally(
        [&] {
            connected = TesteConexao();
            result = connected ? kConnected : kNotConnected;
        },
        [&] { port_.AppendLog(result); });
    return connected;
}

// The end of every job's hold on the window, whether it ended normally or by a failure.
void TFrmPrincipal::RestoreWindow() {
    port_.SetInputGroupEnabled(true);
    Executando = false;
    port_.SetMainMenuEnabled(true);
    port_.SetBusyCursor(false);
}

// Appends every line a started action sends and lets the window handle its pending events after
// each. An output empty from the start still adds its one empty line.
void TFrmPrincipal::OutputLoop(TIBControlAndQueryService& service) {
    const auto appendLine = [this](const std::string& line) {
        port_.AppendLog(line);
        port_.ProcessPendingEvents();
    };
    if (ReadServiceOutput(service, waiter_, appendLine) == 0) appendLine("");
}

// ---- verification ----------------------------------------------------------------------------

void TFrmPrincipal::ActnVerificarBancoExecute() {
    EncontrouErro = false;  // first, even when the command then does nothing
    if (!OpensJob()) return;
    if (port_.ShowMessageBox(kConfirmVerification, kQuestionTitle, MessageKind::Confirmation) !=
        kButtonYes) {
        outcome_ = JobOutcome::Cancelled;
        return;
    }
    port_.SetBusyCursor(true);
    port_.ClearLog();
    port_.AppendLog(kProcessStarted);
    port_.AppendLog("");
    ConnectionStep();

    port_.SetMainMenuEnabled(false);
    port_.SetInputGroupEnabled(false);
    Executando = true;
    ultimaVerificacao_.emplace();
    ultimaVerificacao_->database = port_.EditText(UiEdit::LblEditBancodeDados);
    TryFinally(
        [&] {
            waiter_.BeginPhase(ServerPhase::Validation);
            ConfiguraServico(TConfiguracao::TValidacao);
            waiter_.Run([&] { IBValidationService.SetActive(true); });
            IBValidationService.SetOptions(kVerifyOptions);
            const TLogTime startedAt = LocalLogTime(std::time(nullptr));
            StartValidation([&] { waiter_.Run([&] { IBValidationService.ServiceStart(); }); }, LogSink());
            ListValidationReport();
            if (ultimaVerificacao_->ValidationFoundProblems())
                ListRunDetails(IBValidationService, startedAt, true, waiter_.AsRunner(), LogSink(),
                               [this](const std::string& problem) { ultimaVerificacao_->AddValidationProblem(problem); });
            if (leituraCompleta_) ReadCheckStep();
            ListVerificationEnd();
        },
        [&] { RestoreAfterVerification(); });
    // A click on Verifica refused while this job waited reset the flag, as any click does; the
    // job's findings give it back.
    EncontrouErro = ultimaVerificacao_->ValidationFoundProblems();
    const VerificationFindings& found = *ultimaVerificacao_;
    if (!found.readCheck.Failure.empty()) {
        // The file could not be read to its end: nothing can be vouched for, nor offered.
        outcome_ = JobOutcome::Failed;
        port_.ShowMessageBox(found.readCheck.StoppedText(), kErrorTitle, MessageKind::Error);
        return;
    }
    outcome_ = found.AnyProblem() ? JobOutcome::FoundProblems : JobOutcome::Succeeded;
    OfferAfterVerification();
}

// The header goes before the first reported line; the flag is set only when the whole report
// has been read. With the read check to come, a clean report's closing text waits for it.
void TFrmPrincipal::ListValidationReport() {
    const std::size_t lines = ReadServiceOutput(IBValidationService, waiter_, [this, first = true](
                                                                                  const std::string& line) mutable {
        if (first) {
            port_.AppendLog(kAttention);
            port_.AppendLog(kErrorsFound);
            port_.AppendLog("");
            first = false;
        }
        port_.AppendLog(line);
        ultimaVerificacao_->AddSummaryLine(line);
    });
    if (lines == 0) {
        if (!leituraCompleta_) port_.AppendLog(kNoErrorFound);
    } else {
        EncontrouErro = true;
    }
}

// Every record and blob read through a backup to the server's null device.
void TFrmPrincipal::ReadCheckStep() {
    waiter_.BeginPhase(ServerPhase::ReadCheck);
    port_.AppendLog("");
    port_.AppendLog(kReadCheckHeading);
    ultimaVerificacao_->AddReadCheck(
        RunReadCheck(IBValidationService, waiter_, LogSink(), ultimaVerificacao_->TablesNamedByValidation()));
}

// A verification that found nothing closes as it always did; one that found problems in the
// read check sums them up, and says why a rescue is needed where it is.
void TFrmPrincipal::ListVerificationEnd() {
    if (!leituraCompleta_) return;
    const VerificationFindings& found = *ultimaVerificacao_;
    if (!found.AnyProblem()) {
        if (found.readCheck.Failure.empty()) port_.AppendLog(kNoErrorFound);
        return;
    }
    const std::size_t unreadable = found.readCheck.Unreadable.size();
    port_.AppendLog("");
    port_.AppendLog(kSummaryHeading + std::to_string(found.problems.size() - unreadable) + kSummaryValidation +
                    std::to_string(unreadable) + kSummaryUnreadable);
    if (!UnreadableUnnamed(found.readCheck.UnreadableNames(), found.TablesNamedByValidation()).empty()) {
        port_.AppendLog("");
        port_.AppendLog(kRescueNeeded);
    }
}

void TFrmPrincipal::OfferAfterVerification() {
    const VerificationFindings& found = *ultimaVerificacao_;
    switch (ChooseOffer(EncontrouErro, found.readCheck.UnreadableNames(), found.TablesNamedByValidation())) {
        case TVerificationOffer::None: return;
        case TVerificationOffer::Repair:
            if (port_.ShowMessageBox(kOfferRepair, kErrorTitle, MessageKind::QuestionYesDefault) != kButtonYes) return;
            ActnReparabancoExecute();
            break;
        case TVerificationOffer::Rescue:
            if (port_.ShowMessageBox(kOfferRescueText, kErrorTitle, MessageKind::QuestionYesDefault) != kButtonYes)
                return;
            RescueJob(false);
            break;
    }
    // A job that did not run leaves the problems where they were.
    if (outcome_ == JobOutcome::Cancelled) outcome_ = JobOutcome::FoundProblems;
}

// A failing detach must not leave the window disabled with a job marked as running (it could
// then never run a job or close again): the window is restored first, then the failure goes on.
void TFrmPrincipal::RestoreAfterVerification() {
    std::exception_ptr detachFailure;
    try {
        IBValidationService.SetActive(false);
    } catch (...) {
        detachFailure = std::current_exception();
    }
    RestoreWindow();
    if (detachFailure) std::rethrow_exception(detachFailure);
}

// ---- repair ----------------------------------------------------------------------------------

void TFrmPrincipal::ActnReparabancoExecute() {
    if (!OpensJob()) return;
    if (port_.ShowMessageBox(kConfirmRepair, kQuestionTitle, MessageKind::Confirmation) != kButtonYes) {
        outcome_ = JobOutcome::Cancelled;
        return;
    }

    const std::string source = port_.EditText(UiEdit::LblEditBancodeDados);
    const RepairNames names = DeriveRepairNames(source);
    ArquivoBdadosSemExtencao = names.stem;
    ExtencaoDoArquivo = names.extension;
    NovoArquivoBD = names.proposedNewName;
    ArquivoBackup = names.backupName;

    const FileFilter filter = ExtencaoDoArquivo == ".FDB" ? FileFilter::Firebird : FileFilter::Interbase;
    const auto chosen = port_.ShowSaveDialog(DirectoryPart(source), NovoArquivoBD, filter);
    if (!chosen) {
        outcome_ = JobOutcome::Cancelled;
        return;
    }
    NovoArquivoBD = *chosen;
    ArquivoBackup = TemporaryBackupPath(NovoArquivoBD, ArquivoBdadosSemExtencao);
    if (IsSameDatabaseFile(NovoArquivoBD, source)) {
        port_.ShowMessageBox(kSameFile, kErrorTitle, MessageKind::Error);
        return;
    }

    port_.SetBusyCursor(true);
    port_.ClearLog();
    port_.AppendLog(kProcessStarted);
    port_.AppendLog("");
    TryFinally([&] { ConnectionStep(); }, [&] { port_.SetBusyCursor(false); });

    port_.SetMainMenuEnabled(false);
    port_.SetInputGroupEnabled(false);
    Executando = true;
    port_.SetBusyCursor(true);
    try {
        TryFinally([&] { RunRepairServices(); }, [&] { RestoreAfterRepair(); });
    } catch (const std::exception& failure) {
        OfferRescueAfterFailedRepair(failure);
        return;
    }

    port_.AppendLog("");
    port_.AppendLog(kAttention);
    port_.AppendLog(kRepairDone);
    outcome_ = JobOutcome::Succeeded;
}

void TFrmPrincipal::RunRepairServices() {
    SweepPass();
    MendPass();
    BackupPass();
    RestorePass();
}

// The sweep may fail on a damaged file; that failure is not the repair's, so it leaves no trace.
// Configuring and attaching are not covered: their failures end the repair.
void TFrmPrincipal::SweepPass() {
    waiter_.BeginPhase(ServerPhase::Sweep);
    ConfiguraServico(TConfiguracao::TValidacao);
    waiter_.Run([&] { IBValidationService.SetActive(true); });
    try {
        IBValidationService.SetOptions(kSweepOptions);
        waiter_.Run([&] { IBValidationService.ServiceStart(); });
        OutputLoop(IBValidationService);
    } catch (...) {
    }
    IBValidationService.SetActive(false);
}

void TFrmPrincipal::MendPass() {
    waiter_.BeginPhase(ServerPhase::Mend);
    waiter_.Run([&] { IBValidationService.SetActive(true); });
    TryFinally(
        [&] {
            IBValidationService.SetOptions(kMendOptions);
            const TLogTime startedAt = LocalLogTime(std::time(nullptr));
            StartValidation([&] { waiter_.Run([&] { IBValidationService.ServiceStart(); }); }, LogSink());
            OutputLoop(IBValidationService);
            // What the mend found and what it fixed are named only in the server's log.
            if (IBValidationService.ReportTaken())
                ListRunDetails(IBValidationService, startedAt, false, waiter_.AsRunner(), LogSink());
        },
        [&] { IBValidationService.SetActive(false); });
}

void TFrmPrincipal::BackupPass() {
    waiter_.BeginPhase(ServerPhase::Backup);
    ConfiguraServico(TConfiguracao::TBackup);
    IBBackupService.SetActive(true);
    TryFinally(
        [&] {
            waiter_.Run([&] { IBBackupService.ServiceStart(); });
            OutputLoop(IBBackupService);
        },
        [&] { IBBackupService.SetActive(false); });
}

void TFrmPrincipal::RestorePass() {
    waiter_.BeginPhase(ServerPhase::Restore);
    ConfiguraServico(TConfiguracao::TRestore);
    IBRestoreService.SetActive(true);
    TryFinally(
        [&] {
            waiter_.Run([&] { IBRestoreService.ServiceStart(); });
            OutputLoop(IBRestoreService);
        },
        [&] { IBRestoreService.SetActive(false); });
}

// The temporary backup is removed whether the repair succeeded or not; it bears a name no other
// file had, so only what this repair created is deleted.
void TFrmPrincipal::RestoreAfterRepair() {
    if (port_.FileExists(ArquivoBackup)) port_.RemoveFile(ArquivoBackup);
    RestoreWindow();
}

// ---- the details of a validation run ---------------------------------------------------------

LineSink TFrmPrincipal::LogSink() {
    return [this](const std::string& line) { port_.AppendLog(line); };
}

// ---- server status monitor -------------------------------------------------------------------

bool TFrmPrincipal::scGetProcess(std::span<const std::string> ExeNames) const {
    return AnyProcessNamed(ExeNames, processListRoot_);
}

void TFrmPrincipal::TimerTimer() {
    if (scGetProcess(FirebirdServerExecutables())) {
        port_.SetStatusColor(kGreen);
        port_.SetStatusText(kServerRunning);
    } else {
        port_.SetStatusColor(kRed);
        port_.SetStatusText(kServerStopped);
    }
}

// ---- failures that escape a handler -------------------------------------------------------

void TFrmPrincipal::AppictinEvntsException(const std::exception& E) noexcept {
    // Nothing here may raise, so a failure while presenting one is dropped.
    try {
        port_.SetBusyCursor(false);
        const FailurePresentation shown =
            PresentFailure(E, [this] { return ServerAccountNames(processListRoot_); });
        port_.ShowMessageBox(shown.box, kHandlerErrorTitle, MessageKind::Error);
        for (const std::string& line : shown.logLines) port_.AppendLog(line);
    } catch (...) {
    }
}

}  // namespace tovanel
