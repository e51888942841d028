// TFrmPrincipal's rescue: the command "Res&gate" and the offer after a failed repair. The job
// itself is RunRescue (RescueJob.h); here are the window's guard, questions, dialog and log.

#include <optional>

#include "ErrorPresentation.h"
#include "RepairNames.h"
#include "RescueJob.h"
#include "ServerAccount.h"
#include "TryFinally.h"
#include "UFrmPrincipal.h"

namespace tovanel {

namespace {

constexpr const char* kProcessStarted = "Aguarde... Processo iniciado.";
constexpr const char* kSameFile = "O banco de dados destinho não pode ser igual ao origem";
constexpr const char* kRescueDone = "Resgate concluído!";

// The window's way of making the rescue's calls: each on the waiter's worker while the window
// keeps handling its events; a phase's elapsed time counts from its first call.
class WindowRescueCalls final : public RescueCalls {
public:
    WindowRescueCalls(ServerCallWaiter& waiter, const UiPort& port) : waiter_(waiter), port_(port) {}

    void Run(ServerPhase phase, const std::function<void()>& call) override {
        if (phase != phase_) {
            waiter_.BeginPhase(phase);
            phase_ = phase;
        }
        waiter_.Run(call);
    }
    bool StopRequested() override { return port_.StopRequested(); }

private:
    ServerCallWaiter& waiter_;
    const UiPort& port_;
    std::optional<ServerPhase> phase_;
};

}  // namespace

void TFrmPrincipal::ActnResgateExecute() {
    RescueJob(true);
}

// The repair's failure is shown as every failure is, then the rescue is offered.
void TFrmPrincipal::OfferRescueAfterFailedRepair(const std::exception& failure) {
    AppictinEvntsException(failure);
    if (port_.ShowMessageBox(kOfferRescue, kQuestionTitle, MessageKind::QuestionYesDefault) == kButtonYes)
        RescueJob(false);
}

void TFrmPrincipal::RescueJob(bool confirm) {
    if (!OpensJob()) return;
    if (confirm && port_.ShowMessageBox(kConfirmRescue, kQuestionTitle, MessageKind::Confirmation) != kButtonYes) {
        outcome_ = JobOutcome::Cancelled;
        return;
    }

    const std::string source = port_.EditText(UiEdit::LblEditBancodeDados);
    const RepairNames names = DeriveRepairNames(source);
    const FileFilter filter = names.extension == ".FDB" ? FileFilter::Firebird : FileFilter::Interbase;
    const auto chosen =
        port_.ShowSaveDialog(DirectoryPart(source), names.stem + kRescueSuffix + names.extension, filter);
    if (!chosen) {
        outcome_ = JobOutcome::Cancelled;
        return;
    }
    if (IsSameDatabaseFile(*chosen, source)) {
        port_.ShowMessageBox(kSameFile, kErrorTitle, MessageKind::Error);
        return;
    }

    RescueRequest request;
    request.original = source;
    request.newDatabase = *chosen;
    request.login = {port_.EditText(UiEdit::LblEdtUsuarioBD), port_.EditText(UiEdit::MskEdtSenhaBD)};

    port_.ClearLog();
    port_.AppendLog(kProcessStarted);
    port_.AppendLog("");
    port_.SetMainMenuEnabled(false);
    port_.SetInputGroupEnabled(false);
    Executando = true;
    port_.SetBusyCursor(true);
    TryFinally(
        [&] {
            WindowRescueCalls calls(waiter_, port_);
            // Counts alone may come from the waiter's worker: only lines reach the port.
            ultimoResgate_ = RunRescue(
                request,
                [&](const RescueProgress& progress) {
                    if (progress.line.empty()) return;
                    port_.AppendLog(progress.line);
                    port_.ProcessPendingEvents();
                },
                calls);
        },
        [&] { RestoreWindow(); });
    for (const std::string& line : ReportLines(*ultimoResgate_)) port_.AppendLog(line);
    if (ultimoResgate_->outcome == RescueOutcome::Failed) {
        // A file of another version or one the server may not open is explained as in the other
        // jobs; any other failure is shown as it came (the report above already holds the
        // server's lines, and the rule for I/O errors would call a full disk a corrupt file).
        const std::optional<ChosenText> named =
            ExplainNamedCause(ultimoResgate_->failure, [this] { return ServerAccountNames(processListRoot_); });
        port_.ShowMessageBox(named ? named->box : ultimoResgate_->failure, kErrorTitle, MessageKind::Error);
        if (named && named->logLine) port_.AppendLog(*named->logLine);
        return;
    }
    port_.AppendLog("");
    port_.AppendLog(kRescueDone);
    outcome_ = JobOutcome::Succeeded;
}

}  // namespace tovanel
