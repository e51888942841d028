// "&Repara": names, the save dialog, the same-file refusal, the four service passes, the output
// loops that let the window breathe, the final clean-up and the closing lines.

#include "JobsFixture.h"

namespace tovanel::testing {
namespace {

using fakeclient::Failure;
using fakeclient::Push;

const std::vector<std::string> kSweepOut = {"sweep line"};
const std::vector<std::string> kMendOut = {"mend line 1", "mend line 2"};
const std::vector<std::string> kBackupOut = {"gbak: readied database for backup", "gbak: closing file"};
const std::vector<std::string> kRestoreOut = {"gbak: opened file", "gbak: finishing, closing, and going home"};

class RepairJob : public JobsTest {
protected:
    void SetUp() override {
        JobsTest::SetUp();
        target = (dir / "banco_NOVO.FDB").string();
    }
    // Yes to the confirmation, the new file chosen in the save dialog.
    void Answer(const std::optional<std::string>& chosen) {
        port.QueueAnswer(kButtonYes);
        port.QueueSaveDialog(chosen);
    }
    void ScriptAllPasses() {
        ScriptOutput(kSweepOut);
        ScriptOutput(kMendOut);
        ScriptOutput(kBackupOut);
        ScriptOutput(kRestoreOut);
    }
    // The server writes the temporary backup while the backup runs; the fake does it here.
    void WriteBackupDuringTheBackup() {
        port.onProcessPendingEvents = [this] {
            if (form->IBBackupService.Active() && !fs::exists(form->ArquivoBackup))
                std::ofstream(form->ArquivoBackup) << "backup";
        };
    }
    std::vector<std::string> SuccessLog() const {
        return Lines({{kStarted, "", kConnected}, kSweepOut, kMendOut, kBackupOut, kRestoreOut, {"", kAttention, kDone}});
    }

    std::string target;
};

TEST_F(RepairJob, ASuccessfulRepairLogsEveryPassThenTheClosingLinesAndDeletesTheBackup) {
    Answer(target);
    ScriptAllPasses();
    WriteBackupDuringTheBackup();
    Run(&TFrmPrincipal::ActnReparabancoExecute);

    EXPECT_EQ(port.log, SuccessLog());
    EXPECT_EQ(form->ArquivoBackup, (dir / "banco.GBK").string());
    EXPECT_FALSE(fs::exists(form->ArquivoBackup));
    EXPECT_EQ(port.messageBoxes.size(), 1u) << "only the confirmation";
    EXPECT_EQ(port.messageBoxes[0].text, kConfirmRepair);
    EXPECT_EQ(port.messageBoxes[0].kind, MessageKind::Confirmation);
    EXPECT_EQ(port.messageBoxes[0].title, "Pergunta");
    ExpectIdle();
}

TEST_F(RepairJob, RunsSweepMendBackupAndRestoreEachOnItsOwnAttachment) {
    Answer(target);
    ScriptAllPasses();
    Run(&TFrmPrincipal::ActnReparabancoExecute);

    std::vector<std::string> expected;
    const std::size_t queries[] = {2, 3, 3, 3};
    for (std::size_t n : queries) {
        expected.push_back("isc_service_attach");
        expected.push_back("isc_service_start");
        expected.insert(expected.end(), n, "isc_service_query");
        expected.push_back("isc_service_detach");
    }
    EXPECT_EQ(ServiceCalls(), expected);

    const auto starts = fakeclient::CallsTo("isc_service_start");
    ASSERT_EQ(starts.size(), 4u);
    const std::string db = fakeclient::Bytes({isc_spb_dbname}) + Length16(source.size()) + source;
    const std::string backup = (dir / "banco.GBK").string();
    EXPECT_EQ(starts[0].Bytes("spb"), fakeclient::Bytes({isc_action_svc_repair}) + db +
                                          fakeclient::Bytes({isc_spb_options, 0x02, 0, 0, 0}));
    EXPECT_EQ(starts[1].Bytes("spb"), fakeclient::Bytes({isc_action_svc_repair}) + db +
                                          fakeclient::Bytes({isc_spb_options, 0xA4, 0, 0, 0}));
    EXPECT_EQ(starts[2].Bytes("spb"),
              fakeclient::Bytes({isc_action_svc_backup}) + db +
                  fakeclient::Bytes({isc_spb_options, 0, 0, 0, 0, isc_spb_verbose, isc_spb_bkp_file}) +
                  Length16(backup.size()) + backup);
    EXPECT_EQ(starts[3].Bytes("spb"),
              fakeclient::Bytes({isc_action_svc_restore, isc_spb_options, 0x00, 0x30, 0, 0, isc_spb_verbose,
                                 isc_spb_res_page_size, 0x00, 0x10, 0, 0, isc_spb_bkp_file}) +
                  Length16(backup.size()) + backup + fakeclient::Bytes({isc_spb_dbname}) +
                  Length16(target.size()) + target);
    for (const auto& attach : fakeclient::CallsTo("isc_service_attach"))
        EXPECT_EQ(attach.Bytes("name"), "localhost:service_mgr");
}

TEST_F(RepairJob, WindowStepsComeInTheirOrder) {
    Answer(target);
    ScriptOutput({});
    ScriptOutput({});
    ScriptOutput({});
    ScriptOutput({});
    Run(&TFrmPrincipal::ActnReparabancoExecute);

    std::vector<std::string> windowCalls;
    for (const std::string& call : port.calls)
        if (!call.starts_with("AppendLog") && !call.starts_with("MessageBox") && !call.starts_with("ShowSaveDialog"))
            windowCalls.push_back(call);
    EXPECT_EQ(windowCalls, (std::vector<std::string>{
                               "SetBusyCursor(true)", "ClearLog()", "SetBusyCursor(false)",
                               "SetMainMenuEnabled(false)", "SetInputGroupEnabled(false)", "SetBusyCursor(true)",
                               "SetInputGroupEnabled(true)", "SetMainMenuEnabled(true)", "SetBusyCursor(false)"}));
}

TEST_F(RepairJob, AnEmptyOutputAddsExactlyOneEmptyLine) {
    Answer(target);
    ScriptOutput({});
    ScriptOutput(kMendOut);
    ScriptOutput({});
    ScriptOutput(kRestoreOut);
    Run(&TFrmPrincipal::ActnReparabancoExecute);
    EXPECT_EQ(port.log, Lines({{kStarted, "", kConnected, ""}, kMendOut, {""}, kRestoreOut, {"", kAttention, kDone}}));
}

TEST_F(RepairJob, PendingEventsAreProcessedAfterEveryLineOnceItIsInTheLog) {
    Answer(target);
    ScriptAllPasses();
    std::vector<std::string> lastLineAtEachCall;
    port.onProcessPendingEvents = [&] { lastLineAtEachCall.push_back(port.log.back()); };
    Run(&TFrmPrincipal::ActnReparabancoExecute);
    EXPECT_EQ(lastLineAtEachCall, Lines({kSweepOut, kMendOut, kBackupOut, kRestoreOut}));
}

TEST_F(RepairJob, WhileItRunsOtherCommandsDoNothingAndCloseRequestsAreRefused) {
    Answer(target);
    ScriptAllPasses();
    int refusedCloses = 0;
    int ticks = 0;
    port.onProcessPendingEvents = [&] {
        EXPECT_TRUE(form->Executando);
        EXPECT_FALSE(port.inputGroupEnabled);
        EXPECT_FALSE(port.mainMenuEnabled);
        EXPECT_TRUE(port.busyCursor);
        if (OtherCommandsRefused()) ++refusedCloses;
        form->RunHandler([&] { form->TimerTimer(); });
        ++ticks;
        EXPECT_EQ(port.openDialogsShown, 0);
        EXPECT_EQ(port.saveDialogs.size(), 1u);
    };
    Run(&TFrmPrincipal::ActnReparabancoExecute);

    EXPECT_EQ(port.log, SuccessLog());
    EXPECT_EQ(refusedCloses, ticks);
    EXPECT_EQ(ticks, 7);
    EXPECT_FALSE(port.statusText.empty()) << "the status timer ticked inside the loops";
    ExpectIdle();
}

struct NameCase {
    std::string file;  // relative to the scratch directory
    std::string stem, extension, proposed;
    FileFilter filter;
};

TEST_F(RepairJob, DerivesTheNamesAndPreparesTheSaveDialog) {
    const NameCase cases[] = {
        {"banco", "banco", "", "banco_NOVO", FileFilter::Interbase},
        {"banco.fdb", "banco", ".FDB", "banco_NOVO.FDB", FileFilter::Firebird},
        {"banco.gdb", "banco", ".GDB", "banco_NOVO.GDB", FileFilter::Interbase},
        {"banco.old.fdb", "banco", ".FDB", "banco_NOVO.FDB", FileFilter::Firebird},
        {".fdb", "", ".FDB", "_NOVO.FDB", FileFilter::Firebird},
        {"dados.v2/banco", "banco", "", "banco_NOVO", FileFilter::Interbase},
        {"dados.v2/Banco.Fdb", "Banco", ".FDB", "Banco_NOVO.FDB", FileFilter::Firebird},
    };
    for (const NameCase& c : cases) {
        SCOPED_TRACE(c.file);
        Fresh();
        port.databasePath = MakeFile(c.file);
        Answer(std::nullopt);  // cancelled: the command ends
        Run(&TFrmPrincipal::ActnReparabancoExecute);

        ASSERT_EQ(port.saveDialogs.size(), 1u);
        EXPECT_EQ(port.saveDialogs[0].proposedName, c.proposed);
        EXPECT_EQ(port.saveDialogs[0].initialDir, fs::path(port.databasePath).parent_path().string());
        EXPECT_EQ(port.saveDialogs[0].preselected, c.filter);
        EXPECT_EQ(form->ArquivoBdadosSemExtencao, c.stem);
        EXPECT_EQ(form->ExtencaoDoArquivo, c.extension);
        EXPECT_EQ(form->NovoArquivoBD, c.proposed);
        EXPECT_EQ(form->ArquivoBackup, c.stem + ".GBK");
        EXPECT_TRUE(port.log.empty());
        EXPECT_TRUE(ClientCalls().empty());
        EXPECT_EQ(port.messageBoxes.size(), 1u);
    }
}

TEST_F(RepairJob, NoToTheConfirmationEndsItBeforeTheNames) {
    port.QueueAnswer(kButtonNo);
    Run(&TFrmPrincipal::ActnReparabancoExecute);
    EXPECT_TRUE(port.saveDialogs.empty());
    EXPECT_EQ(form->NovoArquivoBD, "");
    EXPECT_TRUE(port.log.empty());
    EXPECT_TRUE(ClientCalls().empty());
}

TEST_F(RepairJob, RefusesTheSourceFileInAnySpelling) {
    const fs::path before = fs::current_path();
    fs::create_symlink(source, dir / "atalho.fdb");
    const std::string spellings[] = {
        source,
        (dir / "atalho.fdb").string(),
        (dir / "." / "banco.fdb").string(),
        "./banco.fdb",
    };
    fs::current_path(dir);
    for (const std::string& chosen : spellings) {
        SCOPED_TRACE(chosen);
        port.messageBoxes.clear();
        fakeclient::Reset();
        Answer(chosen);
        Run(&TFrmPrincipal::ActnReparabancoExecute);
        ASSERT_EQ(port.messageBoxes.size(), 2u);
        EXPECT_EQ(port.messageBoxes[1].text, kSameFile);
        EXPECT_EQ(port.messageBoxes[1].title, "Erro");
        EXPECT_EQ(port.messageBoxes[1].kind, MessageKind::Error);
        EXPECT_TRUE(port.log.empty());
        EXPECT_TRUE(ClientCalls().empty());
    }
    fs::current_path(before);
    EXPECT_EQ(ReadFile(source), "database bytes");
}

TEST_F(RepairJob, AnExistingFileOfTheBackupNameSurvivesAndTheFirstFreeNameIsUsed) {
    const std::string existing = MakeFile("banco.GBK", "someone else's backup");
    MakeFile("banco_1.GBK", "another one");
    Answer(target);
    ScriptAllPasses();
    WriteBackupDuringTheBackup();
    Run(&TFrmPrincipal::ActnReparabancoExecute);

    EXPECT_EQ(form->ArquivoBackup, (dir / "banco_2.GBK").string());
    EXPECT_EQ(ReadFile(existing), "someone else's backup");
    EXPECT_EQ(ReadFile(dir / "banco_1.GBK"), "another one");
    EXPECT_FALSE(fs::exists(dir / "banco_2.GBK"));
    EXPECT_NE(fakeclient::CallsTo("isc_service_start")[2].Bytes("spb").find("banco_2.GBK"), std::string::npos);
}

TEST_F(RepairJob, TheBackupGoesIntoTheNewFilesDirectoryNotTheProgramsOrTheSources) {
    fs::create_directory(dir / "novos");
    Answer((dir / "novos" / "banco_NOVO.FDB").string());
    ScriptAllPasses();
    Run(&TFrmPrincipal::ActnReparabancoExecute);
    EXPECT_EQ(form->ArquivoBackup, (dir / "novos" / "banco.GBK").string());
    EXPECT_EQ(form->IBRestoreService.BackupFile().Lines(), std::vector<std::string>{form->ArquivoBackup});
    EXPECT_EQ(form->IBBackupService.BackupFile().Lines(), std::vector<std::string>{form->ArquivoBackup});
    EXPECT_EQ(form->IBRestoreService.DatabaseName().Lines(),
              std::vector<std::string>{(dir / "novos" / "banco_NOVO.FDB").string()});
}

TEST_F(RepairJob, ASweepFailureLeavesNoTraceAndTheMendFollows) {
    struct Case {
        const char* why;
        std::function<void()> script;
    };
    const Case cases[] = {
        {"start refused", [] { Push("isc_service_start", Failure(kOtherError, {isc_arg_string, "x"})); }},
        {"output fails",
         [] {
             Push("isc_service_query", LineAnswer("half a line"));
             Push("isc_service_query", Failure(kOtherError, {isc_arg_string, "x"}));
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        Fresh();
        Answer(target);
        c.script();
        ScriptOutput(kMendOut);
        ScriptOutput(kBackupOut);
        ScriptOutput(kRestoreOut);
        Run(&TFrmPrincipal::ActnReparabancoExecute);

        std::vector<std::string> log = port.log;
        std::erase(log, "half a line");  // a line read before the failure stays, as the server sent it
        EXPECT_EQ(log, Lines({{kStarted, "", kConnected}, kMendOut, kBackupOut, kRestoreOut, {"", kAttention, kDone}}));
        EXPECT_EQ(port.messageBoxes.size(), 1u) << "nothing shown";
        EXPECT_EQ(fakeclient::CallsTo("isc_service_start").size(), 4u);
        ExpectIdle();
    }
}

TEST_F(RepairJob, AFailingPassEndsTheRepairRestoredWithoutTheClosingLines) {
    struct Case {
        const char* why;
        std::function<void()> script;
        std::size_t starts;  // how many actions were started
    };
    const Case cases[] = {
        {"attach for the sweep", [] { Push("isc_service_attach", Failure(kLoginError)); }, 0},
        {"mend start",
         [] {
             ScriptOutput(kSweepOut);
             Push("isc_service_start", fakeclient::Reply{});
             Push("isc_service_start", Failure(kIoError, {isc_arg_string, "open", isc_arg_string, "x"}));
         },
         2},
        {"backup output",
         [] {
             ScriptOutput(kSweepOut);
             ScriptOutput(kMendOut);
             Push("isc_service_query", LineAnswer(kBackupOut[0]));
             Push("isc_service_query", Failure(kOtherError, {isc_arg_string, "x"}));
         },
         3},
        {"attach for the restore",
         [] {
             ScriptOutput(kSweepOut);
             ScriptOutput(kMendOut);
             ScriptOutput(kBackupOut);
             for (int i = 0; i < 3; ++i) Push("isc_service_attach", fakeclient::Reply{});
             Push("isc_service_attach", Failure(kLoginError));
         },
         3},
        {"restore start",
         [] {
             ScriptOutput(kSweepOut);
             ScriptOutput(kMendOut);
             ScriptOutput(kBackupOut);
             for (int i = 0; i < 3; ++i) Push("isc_service_start", fakeclient::Reply{});
             Push("isc_service_start", Failure(kOtherError, {isc_arg_string, "x"}));
         },
         4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        Fresh();
        Answer(target);
        c.script();
        WriteBackupDuringTheBackup();
        Run(&TFrmPrincipal::ActnReparabancoExecute);

        EXPECT_EQ(fakeclient::CallsTo("isc_service_start").size(), c.starts);
        EXPECT_EQ(std::count(port.log.begin(), port.log.end(), kDone), 0);
        ASSERT_EQ(port.messageBoxes.size(), 2u);
        EXPECT_EQ(port.messageBoxes[1].title, "Erro!");
        EXPECT_TRUE(port.messageBoxes[1].inputGroupEnabled && port.messageBoxes[1].mainMenuEnabled &&
                    !port.messageBoxes[1].busyCursor);
        EXPECT_FALSE(fs::exists(form->ArquivoBackup)) << "no temporary backup is left";
        EXPECT_EQ(ReadFile(source), "database bytes");
        EXPECT_EQ(port.rescueOffersDeclined, 1) << "the rescue is offered after the error box";
        ExpectIdle();
    }
}

TEST_F(RepairJob, ARefusedAttachInTheConnectionStepContactsNoServiceAndTouchesNoFile) {
    const std::string existing = MakeFile("banco.GBK", "keep");
    Answer(target);
    Push("isc_attach_database", Failure(kIoError, {isc_arg_string, "open", isc_arg_string, "x"}));
    Run(&TFrmPrincipal::ActnReparabancoExecute);

    EXPECT_EQ(port.log, (std::vector<std::string>{kStarted, "", "", "I/O error during \"open\" operation for file \"x\""}));
    EXPECT_TRUE(ServiceCalls().empty());
    ASSERT_EQ(port.messageBoxes.size(), 2u);
    EXPECT_EQ(port.messageBoxes[1].text, kBadFile);
    EXPECT_FALSE(port.messageBoxes[1].busyCursor);
    EXPECT_EQ(ReadFile(existing), "keep");
    EXPECT_EQ(std::count(port.calls.begin(), port.calls.end(), "SetInputGroupEnabled(false)"), 0);
    ExpectIdle();
}

TEST_F(RepairJob, AFalseConnectionAnswerOnlyChoosesTheLine) {
    Answer(target);
    Push("isc_database_info", fakeclient::Output(""));
    Push("isc_database_info", Failure(isc_net_read_err));
    ScriptAllPasses();
    Run(&TFrmPrincipal::ActnReparabancoExecute);
    EXPECT_EQ(port.log, Lines({{kStarted, "", kNotConnected}, kSweepOut, kMendOut, kBackupOut, kRestoreOut,
                               {"", kAttention, kDone}}));
}

TEST_F(RepairJob, ServicesKeepTheirStoredSettings) {
    EXPECT_EQ(form->IBBackupService.ServerName(), "localhost");
    EXPECT_EQ(form->IBBackupService.Protocol(), TProtocol::TCP);
    EXPECT_FALSE(form->IBBackupService.LoginPrompt());
    EXPECT_TRUE(form->IBBackupService.Verbose());
    EXPECT_EQ(form->IBBackupService.BlockingFactor(), 0);
    EXPECT_TRUE(form->IBBackupService.Options().Empty());
    EXPECT_EQ(form->IBRestoreService.ServerName(), "");
    EXPECT_EQ(form->IBRestoreService.Protocol(), TProtocol::TCP);
    EXPECT_FALSE(form->IBRestoreService.LoginPrompt());
    EXPECT_TRUE(form->IBRestoreService.Verbose());
    EXPECT_EQ(form->IBRestoreService.PageSize(), 4096);
    EXPECT_EQ(form->IBRestoreService.PageBuffers(), 0);
    EXPECT_EQ(form->IBRestoreService.Options().Bits(), 48);
    EXPECT_EQ(form->IBValidationService.ServerName(), "");
    EXPECT_EQ(form->IBValidationService.Protocol(), TProtocol::Local);
    EXPECT_TRUE(form->IBValidationService.LoginPrompt());
    EXPECT_TRUE(form->IBValidationService.Options().Empty());
}

TEST_F(RepairJob, FormDestroyDetachesEveryAttachedObject) {
    form->ConfiguraServico(TConfiguracao::TBackup);
    form->ConfiguraServico(TConfiguracao::TTesteConexao);
    form->IBDatabase.SetConnected(true);
    fakeclient::Reset();
    form->FormDestroy();
    EXPECT_EQ(ClientCalls(), (std::vector<std::string>{"isc_service_detach", "isc_detach_database"}));
    ExpectIdle();
}

// ---- what the mend found and fixed, from the server's log ------------------------------------

constexpr ISC_STATUS kValidationSummary = 335740952;

class RepairMendDetails : public RepairJob {
protected:
    // A repair whose mend answers with `mendStatus`; `afterMend` are the queries' answers between
    // the mend's start and the backup (completing the report, the server's log).
    void RepairWithMend(fakeclient::Reply mendStatus, const std::vector<fakeclient::Reply>& afterMend) {
        fakeclient::SetMessage(kValidationSummary, "Summary of validation errors");
        Answer(target);
        ScriptOutput(kSweepOut);
        Push("isc_service_start", fakeclient::Reply{});  // the sweep
        Push("isc_service_start", std::move(mendStatus));
        for (const fakeclient::Reply& reply : afterMend) Push("isc_service_query", reply);
        ScriptOutput(kBackupOut);
        ScriptOutput(kRestoreOut);
        WriteBackupDuringTheBackup();
        Run(&TFrmPrincipal::ActnReparabancoExecute);
    }
};

TEST_F(RepairMendDetails, TheMendsReportIsFollowedByWhatItsRunFoundAndFixedInTheServersLog) {
    constexpr ISC_STATUS kPageWarnings = 335741057;
    fakeclient::SetMessage(kPageWarnings, "\tNumber of database page warnings\t: @1");
    const std::vector<std::string> found = {"Warning: Page 107 is an orphan", "Warning: Page 108 is an orphan"};
    const std::string fixed = "Validation finished: 0 errors, 2 warnings, 2 fixed";
    RepairWithMend(Failure(kValidationSummary, {isc_arg_gds, kPageWarnings, isc_arg_number, 2}),
                   {LogAnswer(RunInLog(source, found, fixed))});

    EXPECT_EQ(port.log, Lines({{kStarted, "", kConnected},
                               kSweepOut,
                               {"Summary of validation errors", "\tNumber of database page warnings\t: 2", "",
                                "Problemas registrados pelo servidor nesta validação:"},
                               found,
                               {fixed},
                               kBackupOut,
                               kRestoreOut,
                               {"", kAttention, kDone}}));
    EXPECT_EQ(port.messageBoxes.size(), 1u);
}

TEST_F(RepairMendDetails, AMendWithoutItsRunInTheLogSaysSoAndTheRepairGoesOn) {
    // The heading alone: one query to complete it (answered normally), then the log, empty.
    RepairWithMend(Failure(kValidationSummary), {LineAnswer(""), LogAnswer("")});

    EXPECT_EQ(port.log, Lines({{kStarted, "", kConnected},
                               kSweepOut,
                               {"Summary of validation errors", "",
                                "O log do servidor não registrou esta validação: só o resumo acima está disponível."},
                               kBackupOut,
                               kRestoreOut,
                               {"", kAttention, kDone}}));
    EXPECT_EQ(fakeclient::CallsTo("isc_service_start").size(), 5u) << "no online validation after a mend";
}

}  // namespace
}  // namespace tovanel::testing
