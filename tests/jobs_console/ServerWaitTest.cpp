// Every job with one client call held inside the fake client, as the server holds a service start
// until the action has ended: the window handles its events meanwhile, a second job, the open
// command and a close request are kept out, and the job ends with the same log, the same client
// calls, the same boxes and the same window as when nothing waited.

#include <algorithm>
#include <chrono>

#include "JobsFixture.h"

namespace tovanel::testing {
namespace {

using fakeclient::Failure;
using fakeclient::Push;

// Which command runs and how it is answered and scripted; `held` is the client function whose
// call is held, `letThrough` how many of its calls pass first.
struct HeldCase {
    const char* what;
    void (TFrmPrincipal::*command)();
    std::function<void(FakeUiPort&, const std::string& target)> arrange;
    std::string held;
    int letThrough = 0;
};

void AnswerRepair(FakeUiPort& port, const std::string& target) {
    port.QueueAnswer(kButtonYes);
    port.QueueSaveDialog(target);
}

void ScriptFourPasses() {
    ScriptOutput({"sweep line"});
    ScriptOutput({"mend line"});
    ScriptOutput({"gbak: writing", "gbak: closing"});
    ScriptOutput({"gbak: opened", "gbak: finishing"});
}

const std::vector<std::string> kReport = {"Summary of validation errors", "\tNumber of data page errors\t: 3"};

// Yes to the verification, No to its offer to repair, a report with problems.
void VerifyAReportDeclined(FakeUiPort& port, const std::string&) {
    port.QueueAnswer(kButtonYes);
    port.QueueAnswer(kButtonNo);
    ScriptOutput(kReport);
}

const HeldCase kCases[] = {
    {"connection test, its attach", &TFrmPrincipal::ActnTestaConexaoExecute, [](FakeUiPort&, const std::string&) {},
     "isc_attach_database"},
    {"connection test, a refused attach", &TFrmPrincipal::ActnTestaConexaoExecute,
     [](FakeUiPort&, const std::string&) {
         Push("isc_attach_database", Failure(kNetworkError, {isc_arg_string, "localhost"}));
     },
     "isc_attach_database"},
    {"verification, the connection step", &TFrmPrincipal::ActnVerificarBancoExecute,
     [](FakeUiPort& port, const std::string&) {
         port.QueueAnswer(kButtonYes);
         ScriptOutput({});
     },
     "isc_attach_database"},
    {"verification, the service attach", &TFrmPrincipal::ActnVerificarBancoExecute,
     [](FakeUiPort& port, const std::string&) {
         port.QueueAnswer(kButtonYes);
         ScriptOutput({});
     },
     "isc_service_attach"},
    {"verification, the validation's start", &TFrmPrincipal::ActnVerificarBancoExecute,
     VerifyAReportDeclined,
     "isc_service_start"},
    {"verification, a report line's query", &TFrmPrincipal::ActnVerificarBancoExecute,
     VerifyAReportDeclined,
     "isc_service_query", 1},
    {"verification, the server log's fetch", &TFrmPrincipal::ActnVerificarBancoExecute,
     VerifyAReportDeclined,
     "isc_service_start", 1},
    {"verification, the online validation's start", &TFrmPrincipal::ActnVerificarBancoExecute,
     VerifyAReportDeclined,
     "isc_service_start", 2},
    {"verification, a start that fails", &TFrmPrincipal::ActnVerificarBancoExecute,
     [](FakeUiPort& port, const std::string&) {
         port.QueueAnswer(kButtonYes);
         Push("isc_service_start", Failure(kIoError, {isc_arg_string, "open", isc_arg_string, "/x"}));
     },
     "isc_service_start"},
    {"repair, the sweep's start", &TFrmPrincipal::ActnReparabancoExecute,
     [](FakeUiPort& port, const std::string& target) {
         AnswerRepair(port, target);
         ScriptFourPasses();
     },
     "isc_service_start"},
    {"repair, a sweep that fails and is passed over", &TFrmPrincipal::ActnReparabancoExecute,
     [](FakeUiPort& port, const std::string& target) {
         AnswerRepair(port, target);
         Push("isc_service_start", Failure(kOtherError, {isc_arg_string, "x"}));
         ScriptOutput({"mend line"});
         ScriptOutput({"gbak: writing"});
         ScriptOutput({"gbak: opened"});
     },
     "isc_service_start"},
    {"repair, the mend's start", &TFrmPrincipal::ActnReparabancoExecute,
     [](FakeUiPort& port, const std::string& target) {
         AnswerRepair(port, target);
         ScriptFourPasses();
     },
     "isc_service_start", 1},
    {"repair, a mend that fails", &TFrmPrincipal::ActnReparabancoExecute,
     [](FakeUiPort& port, const std::string& target) {
         AnswerRepair(port, target);
         Push("isc_service_start", fakeclient::Reply{});
         Push("isc_service_start", Failure(kIoError, {isc_arg_string, "read", isc_arg_string, "/x"}));
         ScriptOutput({"sweep line"});
     },
     "isc_service_start", 1},
    {"repair, the backup's attach", &TFrmPrincipal::ActnReparabancoExecute,
     [](FakeUiPort& port, const std::string& target) {
         AnswerRepair(port, target);
         ScriptFourPasses();
     },
     "isc_service_attach", 2},
    {"repair, a backup line's query", &TFrmPrincipal::ActnReparabancoExecute,
     [](FakeUiPort& port, const std::string& target) {
         AnswerRepair(port, target);
         ScriptFourPasses();
     },
     "isc_service_query", 5},
    {"repair, the restore's start", &TFrmPrincipal::ActnReparabancoExecute,
     [](FakeUiPort& port, const std::string& target) {
         AnswerRepair(port, target);
         ScriptFourPasses();
     },
     "isc_service_start", 3},
    {"repair, a restore query that fails", &TFrmPrincipal::ActnReparabancoExecute,
     [](FakeUiPort& port, const std::string& target) {
         AnswerRepair(port, target);
         ScriptOutput({"sweep line"});
         ScriptOutput({"mend line"});
         ScriptOutput({"gbak: writing"});
         Push("isc_service_query", Failure(kNetworkError, {isc_arg_string, "localhost"}));
     },
     "isc_service_query", 6},
};

// What a run leaves behind that the user or the server could see.
struct RunRecord {
    std::vector<std::string> log;
    std::vector<std::string> clientCalls;
    std::vector<std::string> boxes;
    std::vector<std::string> portCalls;
    JobOutcome outcome = JobOutcome::Succeeded;
};

class ServerWait : public JobsTest {
protected:
    RunRecord Record(const HeldCase& c) {
        RunRecord r;
        r.log = port.log;
        r.clientCalls = ClientCalls();
        for (const MessageBoxCall& box : port.messageBoxes) r.boxes.push_back(box.title + ": " + box.text);
        // The scratch directory differs from run to run.
        for (std::string call : port.calls) {
            for (std::size_t at; (at = call.find(dir.string())) != std::string::npos;)
                call.replace(at, dir.string().size(), "DIR");
            r.portCalls.push_back(call);
        }
        r.outcome = form->LastJobOutcome();
        EXPECT_EQ(fakeclient::Pending(c.held), 0u) << "the script was used up";
        return r;
    }
    RunRecord RunPlain(const HeldCase& c) {
        Fresh();
        c.arrange(port, (dir / "banco_NOVO.FDB").string());
        Run(c.command);
        return Record(c);
    }

    // While the call is held: the window's state, and every command but the running one's
    // own answer kept out. Then the call is let go.
    void ActWhileHeld() {
        ++eventPassesWhileHeld;
        if (released) return;
        EXPECT_TRUE(port.busyCursor);
        EXPECT_TRUE(form->JobRunning());
        EXPECT_TRUE(OtherCommandsRefused()) << "kept out while the server works";
        inputHeldWhileHeld = port.inputHeldPasses > 0;
        released = true;
        fakeclient::Release();
    }

    int eventPassesWhileHeld = 0;
    bool released = false;
    bool inputHeldWhileHeld = false;
};

TEST_F(ServerWait, EventsRunWhileACallIsHeldAndTheJobEndsAsIfNothingWaited) {
    for (const HeldCase& c : kCases) {
        SCOPED_TRACE(c.what);
        const RunRecord plain = RunPlain(c);

        Fresh();
        eventPassesWhileHeld = 0;
        released = false;
        inputHeldWhileHeld = false;
        c.arrange(port, (dir / "banco_NOVO.FDB").string());
        fakeclient::HoldNext(c.held, c.letThrough);
        port.onProcessPendingEvents = [this] {
            if (fakeclient::Holding() || released) ActWhileHeld();
        };
        Run(c.command);
        port.onProcessPendingEvents = nullptr;

        EXPECT_TRUE(released) << "the pending events were processed while the call was held";
        EXPECT_GT(eventPassesWhileHeld, 0);
        // Only the connection step waits with the inputs enabled; its passes leave input queued.
        EXPECT_EQ(inputHeldWhileHeld, c.held == "isc_attach_database");
        const RunRecord held = Record(c);
        EXPECT_EQ(held.log, plain.log) << "line for line";
        EXPECT_EQ(held.clientCalls, plain.clientCalls);
        EXPECT_EQ(held.boxes, plain.boxes) << "a failure arrives with the same text";
        EXPECT_EQ(held.portCalls, plain.portCalls) << "the window is held and restored as before";
        EXPECT_EQ(held.outcome, plain.outcome);
        ExpectIdle();
        EXPECT_FALSE(form->JobRunning());
        if (c.command == &TFrmPrincipal::ActnReparabancoExecute) {
            EXPECT_FALSE(fs::exists(form->ArquivoBackup)) << "no temporary backup is left";
        }
    }
}

// The job's outcome, for the front ends, in the cases that end each way.
TEST_F(ServerWait, EachJobEndsWithItsOutcome) {
    const struct {
        const char* what;
        void (TFrmPrincipal::*command)();
        std::function<void(FakeUiPort&, const std::string&)> arrange;
        JobOutcome outcome;
    } cases[] = {
        {"connected", &TFrmPrincipal::ActnTestaConexaoExecute, [](FakeUiPort&, const std::string&) {},
         JobOutcome::Succeeded},
        {"attached, then the connection was gone", &TFrmPrincipal::ActnTestaConexaoExecute,
         [](FakeUiPort&, const std::string&) {
             Push("isc_database_info", fakeclient::Output(""));
             Push("isc_database_info", Failure(isc_net_read_err));
         },
         JobOutcome::Failed},
        {"attach refused", &TFrmPrincipal::ActnTestaConexaoExecute,
         [](FakeUiPort&, const std::string&) { Push("isc_attach_database", Failure(kLoginError)); }, JobOutcome::Failed},
        {"inputs missing", &TFrmPrincipal::ActnTestaConexaoExecute,
         [](FakeUiPort& port, const std::string&) { port.user.clear(); }, JobOutcome::Failed},
        {"verification declined", &TFrmPrincipal::ActnVerificarBancoExecute,
         [](FakeUiPort& port, const std::string&) { port.QueueAnswer(kButtonNo); }, JobOutcome::Cancelled},
        {"verification clean", &TFrmPrincipal::ActnVerificarBancoExecute,
         [](FakeUiPort& port, const std::string&) {
             port.QueueAnswer(kButtonYes);
             ScriptOutput({});
         },
         JobOutcome::Succeeded},
        {"verification found errors, offer declined", &TFrmPrincipal::ActnVerificarBancoExecute,
         [](FakeUiPort& port, const std::string&) {
             port.QueueAnswer(kButtonYes);
             port.QueueAnswer(kButtonNo);
             ScriptOutput(kReport);
         },
         JobOutcome::FoundProblems},
        {"verification found errors, the repair's confirmation declined", &TFrmPrincipal::ActnVerificarBancoExecute,
         [](FakeUiPort& port, const std::string&) {
             port.QueueAnswer(kButtonYes);
             port.QueueAnswer(kButtonYes);
             port.QueueAnswer(kButtonNo);
             ScriptOutput(kReport);
         },
         JobOutcome::FoundProblems},
        {"verification's start failed", &TFrmPrincipal::ActnVerificarBancoExecute,
         [](FakeUiPort& port, const std::string&) {
             port.QueueAnswer(kButtonYes);
             Push("isc_service_start", Failure(kIoError, {isc_arg_string, "open", isc_arg_string, "/x"}));
         },
         JobOutcome::Failed},
        {"repair declined", &TFrmPrincipal::ActnReparabancoExecute,
         [](FakeUiPort& port, const std::string&) { port.QueueAnswer(kButtonNo); }, JobOutcome::Cancelled},
        {"repair's save dialog cancelled", &TFrmPrincipal::ActnReparabancoExecute,
         [](FakeUiPort& port, const std::string&) {
             port.QueueAnswer(kButtonYes);
             port.QueueSaveDialog(std::nullopt);
         },
         JobOutcome::Cancelled},
        {"repair onto its own source", &TFrmPrincipal::ActnReparabancoExecute,
         [](FakeUiPort& port, const std::string&) { AnswerRepair(port, port.databasePath); }, JobOutcome::Failed},
        {"repair done", &TFrmPrincipal::ActnReparabancoExecute,
         [](FakeUiPort& port, const std::string& target) {
             AnswerRepair(port, target);
             ScriptFourPasses();
         },
         JobOutcome::Succeeded},
        {"repair's backup failed", &TFrmPrincipal::ActnReparabancoExecute,
         [](FakeUiPort& port, const std::string& target) {
             AnswerRepair(port, target);
             ScriptOutput({"sweep line"});
             ScriptOutput({"mend line"});
             Push("isc_service_start", fakeclient::Reply{});
             Push("isc_service_start", fakeclient::Reply{});
             Push("isc_service_start", Failure(kIoError, {isc_arg_string, "write", isc_arg_string, "/x"}));
         },
         JobOutcome::Failed},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Fresh();
        c.arrange(port, (dir / "banco_NOVO.FDB").string());
        Run(c.command);
        EXPECT_EQ(form->LastJobOutcome(), c.outcome)
            << (port.messageBoxes.empty() ? std::string() : port.messageBoxes.back().text);
        EXPECT_TRUE(port.AllAnswersUsed());
        ExpectIdle();
    }
}

// A command refused because a job runs leaves that job's outcome alone.
TEST_F(ServerWait, ACommandRefusedDuringAJobDoesNotChangeItsOutcome) {
    port.QueueAnswer(kButtonYes);
    port.QueueSaveDialog((dir / "banco_NOVO.FDB").string());
    ScriptFourPasses();
    port.onProcessPendingEvents = [this] {
        port.user.clear();  // a test command would complain, were it let in
        Run(&TFrmPrincipal::ActnTestaConexaoExecute);
        port.user = "SYSDBA";
    };
    Run(&TFrmPrincipal::ActnReparabancoExecute);
    EXPECT_EQ(form->LastJobOutcome(), JobOutcome::Succeeded);
    EXPECT_EQ(port.messageBoxes.size(), 1u) << "only the confirmation";
}

}  // namespace
}  // namespace tovanel::testing
