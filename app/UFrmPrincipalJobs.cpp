// TFrmPrincipal's jobs (connection test, verification, repair), the server status monitor and
// the presentation of failures that escape a handler.

#include <ctime>
#include <exception>

#include "ErrorPresentation.h"
#include "ProcessList.h"
#include "RepairNames.h"
#include "ServerAccount.h"
#include "TryFinally.h"
#include "UFrmPrincipal.h"
#include "ValidationDetails.h"

namespace tovanel {

namespace {

constexpr const char* kHandlerErrorTitle = "Erro!";

constexpr const char* kCheckingConnection = "Aguarde... Verificando conexão";
constexpr const char* kProcessStarted = "Aguarde... Processo iniciado.";
constexpr const char* kConnected = "Banco de dados conectado com sucesso!";
constexpr const char* kAttention = "A T E N Ç Ã O!!!!!";

constexpr const char* kConfirmVerification =
    "Esse processo poderá levar alguns minutos.\r        Confirma a verificação?          ";
constexpr const char* kNoErrorFound = "Nenhum erro foi encontrado!";
constexpr const char* kErrorsFound = "Os seguintes erros foram encontrados:";
constexpr const char* kOfferRepair = TFrmPrincipal::kOfferRepairText;

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
            IBBackupService.Attach();
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
            IBRestoreService.Attach();
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
            IBDatabase.SetConnected(true);
            IBDatabase.Open();
        },
        [&] {
            answer = IBDatabase.TestConnected();
            IBDatabase.Close();
            IBDatabase.SetConnected(false);
        });
    return answer;
}

void TFrmPrincipal::ActnTestaConexaoExecute() {
    if (!JobGuardPasses()) return;
    port_.SetMainMenuEnabled(false);
    port_.SetInputGroupEnabled(false);
    port_.SetBusyCursor(true);
    port_.ClearLog();
    port_.AppendLog(kCheckingConnection);
    TryFinally([&] { ConnectionStep(); },
               [&] {
                   port_.SetBusyCursor(false);
                   port_.SetInputGroupEnabled(true);
                   port_.SetMainMenuEnabled(true);
               });
}

// The connection test, also the first step of the verification and of the repair: its result
// line is logged in any case, an empty one when the attach failed. A false answer only chooses
// the line; a job goes on.
void TFrmPrincipal::ConnectionStep() {
    std::string result;
    TryFinally([&] { result = TesteConexao() ? kConnected : kNotConnectedText; },
               [&] { port_.AppendLog(result); });
}

// Appends every line a started action sends, the first before it is tested, and lets the
// window handle its pending events after each.
void TFrmPrincipal::OutputLoop(TIBControlAndQueryService& service) {
    std::string line = service.GetNextLine();
    do {
        port_.AppendLog(line);
        line = service.GetNextLine();
        port_.ProcessPendingEvents();
    } while (!line.empty());
}

// ---- verification ----------------------------------------------------------------------------

void TFrmPrincipal::ActnVerificarBancoExecute() {
    EncontrouErro = false;  // first, even when the command then does nothing
    if (!JobGuardPasses()) return;
    if (port_.ShowMessageBox(kConfirmVerification, kQuestionTitle, MessageKind::Confirmation) !=
        kButtonYes)
        return;
    port_.SetBusyCursor(true);
    port_.ClearLog();
    port_.AppendLog(kProcessStarted);
    port_.AppendLog("");
    ConnectionStep();

    port_.SetMainMenuEnabled(false);
    port_.SetInputGroupEnabled(false);
    Executando = true;
    TryFinally(
        [&] {
            ConfiguraServico(TConfiguracao::TValidacao);
            IBValidationService.SetActive(true);
            IBValidationService.SetOptions(kVerifyOptions);
            const TLogTime startedAt = LocalLogTime(std::time(nullptr));
            StartValidation(IBValidationService, LogSink());
            ListValidationReport();
            if (EncontrouErro) ListRunDetails(IBValidationService, startedAt, true, LogSink());
        },
        [&] { RestoreAfterVerification(); });

    if (EncontrouErro && port_.ShowMessageBox(kOfferRepair, kErrorTitle,
                                              MessageKind::QuestionYesDefault) == kButtonYes)
        ActnReparabancoExecute();
}

// No events are processed here: the window waits until the server has ended its report.
void TFrmPrincipal::ListValidationReport() {
    std::string line = IBValidationService.GetNextLine();
    if (line.empty()) {
        port_.AppendLog(kNoErrorFound);
        return;
    }
    port_.AppendLog(kAttention);
    port_.AppendLog(kErrorsFound);
    port_.AppendLog("");
    do {
        port_.AppendLog(line);
        line = IBValidationService.GetNextLine();
    } while (!line.empty());
    EncontrouErro = true;
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
    port_.SetInputGroupEnabled(true);
    Executando = false;
    port_.SetMainMenuEnabled(true);
    port_.SetBusyCursor(false);
    if (detachFailure) std::rethrow_exception(detachFailure);
}

// ---- repair ----------------------------------------------------------------------------------

void TFrmPrincipal::ActnReparabancoExecute() {
    if (!JobGuardPasses()) return;
    if (port_.ShowMessageBox(kConfirmRepair, kQuestionTitle, MessageKind::Confirmation) != kButtonYes)
        return;

    const std::string source = port_.EditText(UiEdit::LblEditBancodeDados);
    const RepairNames names = DeriveRepairNames(source);
    ArquivoBdadosSemExtencao = names.stem;
    ExtencaoDoArquivo = names.extension;
    NovoArquivoBD = names.proposedNewName;
    ArquivoBackup = names.backupName;

    const FileFilter filter = ExtencaoDoArquivo == ".FDB" ? FileFilter::Firebird : FileFilter::Interbase;
    const auto chosen = port_.ShowSaveDialog(DirectoryPart(source), NovoArquivoBD, filter);
    if (!chosen) return;
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
    ConfiguraServico(TConfiguracao::TValidacao);
    IBValidationService.SetActive(true);
    try {
        IBValidationService.SetOptions(kSweepOptions);
        IBValidationService.ServiceStart();
        OutputLoop(IBValidationService);
    } catch (...) {
    }
    IBValidationService.SetActive(false);
}

void TFrmPrincipal::MendPass() {
    IBValidationService.SetActive(true);
    TryFinally(
        [&] {
            IBValidationService.SetOptions(kMendOptions);
            const TLogTime startedAt = LocalLogTime(std::time(nullptr));
            StartValidation(IBValidationService, LogSink());
            OutputLoop(IBValidationService);
            // What the mend found and what it fixed are named only in the server's log.
            if (IBValidationService.ReportTaken())
                ListRunDetails(IBValidationService, startedAt, false, LogSink());
        },
        [&] { IBValidationService.SetActive(false); });
}

void TFrmPrincipal::BackupPass() {
    ConfiguraServico(TConfiguracao::TBackup);
    IBBackupService.SetActive(true);
    TryFinally(
        [&] {
            IBBackupService.ServiceStart();
            OutputLoop(IBBackupService);
        },
        [&] { IBBackupService.SetActive(false); });
}

void TFrmPrincipal::RestorePass() {
    ConfiguraServico(TConfiguracao::TRestore);
    IBRestoreService.SetActive(true);
    TryFinally(
        [&] {
            IBRestoreService.ServiceStart();
            OutputLoop(IBRestoreService);
        },
        [&] { IBRestoreService.SetActive(false); });
}

// The temporary backup is removed whether the repair succeeded or not; it bears a name no other
// file had, so only what this repair created is deleted.
void TFrmPrincipal::RestoreAfterRepair() {
    port_.SetInputGroupEnabled(true);
    if (port_.FileExists(ArquivoBackup)) port_.RemoveFile(ArquivoBackup);
    Executando = false;
    port_.SetMainMenuEnabled(true);
    port_.SetBusyCursor(false);
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
