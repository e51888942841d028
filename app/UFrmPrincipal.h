#pragma once
// The main window's logic: its state, its commands and the input check that opens every job.
// Written only against the UI port, so any front end (the Qt window, a terminal, a test's fake)
// can drive it. The front end creates it, calls FormCreate before first showing the window, and
// runs every handler through RunHandler.

#include <exception>
#include <filesystem>
#include <optional>
#include <functional>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>

#include "IBBackupService.h"
#include "IBDatabase.h"
#include "IBRestoreService.h"
#include "IBValidationService.h"
#include "RescueReport.h"
#include "VerificationFindings.h"
#include "JobOutcome.h"
#include "ServerCallWaiter.h"
#include "UiPort.h"

namespace tovanel {

// Result of the input check.
struct TErroServidor {
    bool ExisteErro = false;
    std::string Erro;  // the complaints, one message-box text; empty when ExisteErro is false
};

// Which access-layer object ConfiguraServico fills from the window's inputs.
enum class TConfiguracao { TValidacao, TBackup, TRestore, TTesteConexao };

class TFrmPrincipal {
public:
    // Creates the four access-layer objects from their stored settings; the first of them loads
    // the client library, so a missing library fails the construction (EIBClientError).
    explicit TFrmPrincipal(UiPort& port);
    // Runs FormDestroy.
    ~TFrmPrincipal();
    TFrmPrincipal(const TFrmPrincipal&) = delete;
    TFrmPrincipal& operator=(const TFrmPrincipal&) = delete;

    // State fields, in their declaration order; all start false or empty.
    bool Executando = false;               // a job that lets the event loop run is in progress
    std::string ArquivoBdadosSemExtencao;  // database file name without directory and extension
    std::string ExtencaoDoArquivo;         // upper-cased extension with its dot, or empty
    std::string ArquivoBackup;             // full path of the temporary backup file
    std::string NovoArquivoBD;             // full path of the new database file
    bool EncontrouErro = false;            // the last verification listed error lines
    std::string DiretorioAplicativo;       // the executable's directory, ending with "/"

    // The access-layer objects, owned for the window's whole life; none stays attached between
    // commands. The validation service comes first: its construction loads the client library.
    TIBValidationService IBValidationService;
    TIBDatabase IBDatabase;
    TIBBackupService IBBackupService;
    TIBRestoreService IBRestoreService;

    // Window created, before it is first shown.
    void FormCreate();
    // Window being destroyed: detaches the services, then the database.
    void FormDestroy();

    void ChckBxUsuarioSenhaPadraoClick();
    // Key released in the user or password edit, whatever the key.
    void TeclaPressinadaEditUserSenha();

    void ActnAbrirBancoExecute();
    void ActnSairExecute();
    void ActnSobreExecute();
    // Every close request passes here first; CanClose enters true and is set false to refuse.
    void FormCloseQuery(bool& CanClose);

    // The three job commands.
    void ActnTestaConexaoExecute();
    void ActnVerificarBancoExecute();
    void ActnReparabancoExecute();
    // The rescue (UFrmPrincipalRescue.cpp): a working copy read row by row into a new database.
    void ActnResgateExecute();
    // The outcome of the last rescue that ran; empty before the first.
    const std::optional<RescueReport>& UltimoResgate() const noexcept { return ultimoResgate_; }
    // What the last verification that ran found; empty before the first.
    const std::optional<VerificationFindings>& UltimaVerificacao() const noexcept { return ultimaVerificacao_; }
    // Whether the verification reads every record and blob after the validation (on unless a
    // front end asks for the validation alone).
    void SetLeituraCompleta(bool on) noexcept { leituraCompleta_ = on; }
    // Asked after a verification whose read check found a table that only a rescue can save.
    static constexpr const char* kOfferRescueText =
        "Há tabelas que não podem ser lidas: a reparação pararia no backup delas.\rDeseja tentar o "
        "resgate dos dados?";

    // Copies the window's inputs (and, for backup and restore, the repair's file names) into
    // the selected object; the backup and restore services are attached at the end.
    void ConfiguraServico(TConfiguracao Value);
    // Attaches, tests and detaches IBDatabase; a refused attach raises.
    bool TesteConexao();

    // The status timer's tick.
    void TimerTimer();
    // Whether a process with one of the executable names runs (one walk over the process list).
    bool scGetProcess(std::span<const std::string> ExeNames) const;
    // Where the process list is read; tests point it at a fake tree.
    void SetProcessListRoot(std::filesystem::path root) { processListRoot_ = std::move(root); }

    // How the last job command that got past the running-job test ended (a command refused
    // because a job runs leaves the running job's outcome alone).
    JobOutcome LastJobOutcome() const noexcept { return outcome_; }
    // Whether a job holds the window: Executando, or a job's server call in flight (the
    // connection step lets events run too, before any job sets Executando).
    bool JobRunning() const noexcept { return Executando || waiter_.Waiting(); }
    // The phase whose server call is in flight now, if one is (seen from a nested handler).
    std::optional<ServerPhase> ServerCallWaiting() const noexcept {
        return waiter_.Waiting() ? std::optional<ServerPhase>(waiter_.Phase()) : std::nullopt;
    }

    // Checks that the three inputs are filled; changes nothing.
    TErroServidor DadosServidorInseridos() const;

    // The checks that open every job command: no job running, inputs filled, database file
    // present. Shows the one message box that applies and answers false when the job must stop.
    bool JobGuardPasses();

    // The application-wide handler for a failure that escaped a handler. Raises nothing.
    void AppictinEvntsException(const std::exception& E) noexcept;

    // Runs one handler that the user interface calls. A failure that escapes it goes to
    // AppictinEvntsException, so none ever crosses the toolkit's event loop. Answers whether the
    // handler ended normally.
    template <class Handler>
    bool RunHandler(Handler&& handler) noexcept {
        try {
            handler();
            return true;
        } catch (const std::exception& failure) {
            AppictinEvntsException(failure);
        } catch (...) {
            ReportUnknownFailure();
        }
        return false;
    }

    // Shown for a failure that carries no message of its own.
    static constexpr const char* kUnknownFailureText = "Erro desconhecido";
    // The connection test's log line when it attached but found the connection gone; a front
    // end that reports the outcome by other means reads it.
    static constexpr const char* kNotConnectedText =
        "Não foi possivel obter conexão a esse banco de dados!";
    // The verification's offer to start the repair; a front end may answer it by other means.
    static constexpr const char* kOfferRepairText =
        " Foram encontrados erro no banco \rDeseja iniciar a reparação agora?";

private:
    // Titles of the message boxes that both the input checks and the jobs show.
    static constexpr const char* kErrorTitle = "Erro";
    static constexpr const char* kQuestionTitle = "Pergunta";

    void ReportUnknownFailure() noexcept;
    void ApplyStoredSettings();

    // Steps shared by the jobs.
    bool OpensJob();
    bool ConnectionStep();
    void RestoreWindow();
    void OutputLoop(TIBControlAndQueryService& service);
    void ListValidationReport();
    void ReadCheckStep();
    void ListVerificationEnd();
    void OfferAfterVerification();
    void RestoreAfterVerification();
    void RunRepairServices();
    void SweepPass();
    void MendPass();
    void BackupPass();
    void RestorePass();
    void RestoreAfterRepair();
    // Appends each line it is given to the log.
    std::function<void(const std::string&)> LogSink();

    // The rescue's steps; `confirm` is false when it answers the offer after a failed repair.
    void RescueJob(bool confirm);
    void OfferRescueAfterFailedRepair(const std::exception& failure);

    UiPort& port_;
    std::filesystem::path processListRoot_ = "/proc";
    std::optional<RescueReport> ultimoResgate_;
    std::optional<VerificationFindings> ultimaVerificacao_;
    bool leituraCompleta_ = true;
    JobOutcome outcome_ = JobOutcome::Succeeded;
    // Every long client call of the jobs goes through it; declared last, so its worker is
    // joined before anything else of the window goes.
    ServerCallWaiter waiter_{port_};
};

}  // namespace tovanel
