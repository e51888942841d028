// "&Verifica": confirmation, connection step, the validation report in the log, the window's
// restoration and the offer to repair.

#include "JobsFixture.h"

namespace tovanel::testing {
namespace {

using fakeclient::Failure;
using fakeclient::Push;

const std::vector<std::string> kReport = {"Summary of validation errors",
                                          "\tNumber of data page errors\t: 3"};

// This run's problems in the server's log, and how the verification lists them.
const std::vector<std::string> kProblems = {
    "Error: Data page 215 {sequence 15}, line 4 is bad in table PEDIDOS (129)",
    "Error: Page 333 wrong type (expected data encountered purposely undefined)",
    "Warning: Page 107 is an orphan"};
const std::string kFinish = "Validation finished: 2 errors, 1 warnings, 0 fixed";
const std::string kLogHeading = "Problemas registrados pelo servidor nesta validação:";
const std::vector<std::string> kDetails = Lines({{"", kLogHeading}, kProblems, {kFinish}});

// The online validation's lines, where the log cannot give the run.
const std::vector<std::string> kOnlineLines = {"11:27:24.62 Validation started", "11:27:24.63 Relation 129 (PEDIDOS)",
                                               "11:27:24.63 Error: Data page 215 {sequence 15}, line 4 is bad",
                                               "11:27:24.65 Relation 129 (PEDIDOS) : 1 ERRORS found"};
const std::string kFallsBack =
    ". Seguem as linhas da validação online, que não verifica as tabelas de sistema nem as páginas órfãs e "
    "não corrige nada:";

class VerificationJob : public JobsTest {
protected:
    // The validation's report, then the server's log holding this run.
    void ScriptReportAndLog(const std::string& finish = kFinish) {
        ScriptOutput(kReport);
        Push("isc_service_query", LogAnswer(RunInLog(source, kProblems, finish)));
    }
};

TEST_F(VerificationJob, NoReportedLineLogsNoErrorFound) {
    port.QueueAnswer(kButtonYes);
    ScriptOutput({});
    Run(&TFrmPrincipal::ActnVerificarBancoExecute);

    EXPECT_EQ(port.log, (std::vector<std::string>{kStarted, "", kConnected, kNoErrors}));
    EXPECT_FALSE(form->EncontrouErro);
    ASSERT_EQ(port.messageBoxes.size(), 1u) << "no offer to repair";
    EXPECT_EQ(port.messageBoxes[0].text, kConfirmVerification);
    EXPECT_EQ(port.messageBoxes[0].title, "Pergunta");
    EXPECT_EQ(port.messageBoxes[0].kind, MessageKind::Confirmation);
    ExpectIdle();
}

TEST_F(VerificationJob, ReportedLinesAreListedUnderTheHeadingAndTheRepairIsOffered) {
    port.QueueAnswer(kButtonYes);
    port.QueueAnswer(kButtonNo);
    ScriptReportAndLog();
    Run(&TFrmPrincipal::ActnVerificarBancoExecute);

    EXPECT_EQ(port.log, Lines({{kStarted, "", kConnected, kAttention, kErrorsFound, ""}, kReport, kDetails}));
    EXPECT_TRUE(form->EncontrouErro);
    ASSERT_EQ(port.messageBoxes.size(), 2u);
    const MessageBoxCall& offer = port.messageBoxes[1];
    EXPECT_EQ(offer.text, kOfferRepair);
    EXPECT_EQ(offer.title, "Erro");
    EXPECT_EQ(offer.kind, MessageKind::QuestionYesDefault);
    EXPECT_TRUE(offer.inputGroupEnabled && offer.mainMenuEnabled && !offer.busyCursor)
        << "the offer comes after the window was restored";
    ExpectIdle();
}

TEST_F(VerificationJob, StartsTheValidationWithValidateDbAndFullOnThePathAsTyped) {
    port.QueueAnswer(kButtonYes);
    ScriptOutput({});
    Run(&TFrmPrincipal::ActnVerificarBancoExecute);

    EXPECT_EQ(ServiceCalls(), (std::vector<std::string>{"isc_service_attach", "isc_service_start",
                                                        "isc_service_query", "isc_service_detach"}));
    const auto attach = fakeclient::CallsTo("isc_service_attach");
    EXPECT_EQ(attach[0].Bytes("name"), "localhost:service_mgr");
    EXPECT_EQ(attach[0].Bytes("spb"),
              fakeclient::Bytes({2, 2, 28, 6}) + "SYSDBA" + fakeclient::Bytes({29, 9}) + "ravenpike");
    EXPECT_EQ(fakeclient::CallsTo("isc_service_start")[0].Bytes("spb"),
              fakeclient::Bytes({isc_action_svc_repair, isc_spb_dbname}) + Length16(source.size()) + source +
                  fakeclient::Bytes({isc_spb_options, 0x01, 0, 0, 0, isc_spb_options, 0x81, 0, 0, 0}));
    EXPECT_FALSE(form->IBValidationService.LoginPrompt());
    EXPECT_EQ(form->IBValidationService.ServerName(), "localhost");
    EXPECT_EQ(form->IBValidationService.Protocol(), TProtocol::TCP);
}

TEST_F(VerificationJob, YesToTheOfferRunsTheRepairCommandWithItsOwnConfirmation) {
    port.QueueAnswer(kButtonYes);
    port.QueueAnswer(kButtonYes);  // the offer
    port.QueueAnswer(kButtonNo);   // the repair's own confirmation
    ScriptReportAndLog();
    Run(&TFrmPrincipal::ActnVerificarBancoExecute);

    ASSERT_EQ(port.messageBoxes.size(), 3u);
    EXPECT_EQ(port.messageBoxes[2].text, kConfirmRepair);
    EXPECT_EQ(port.log, Lines({{kStarted, "", kConnected, kAttention, kErrorsFound, ""}, kReport, kDetails}))
        << "No to the repair leaves the verification's log";
    EXPECT_TRUE(port.saveDialogs.empty());
}

TEST_F(VerificationJob, AFalseConnectionAnswerOnlyChoosesTheLine) {
    port.QueueAnswer(kButtonYes);
    Push("isc_database_info", fakeclient::Output(""));
    Push("isc_database_info", Failure(isc_net_read_err));
    ScriptOutput({});
    Run(&TFrmPrincipal::ActnVerificarBancoExecute);
    EXPECT_EQ(port.log, (std::vector<std::string>{kStarted, "", kNotConnected, kNoErrors}));
}

TEST_F(VerificationJob, ARefusedAttachLogsAnEmptyLineAndTouchesNoService) {
    port.QueueAnswer(kButtonYes);
    Push("isc_attach_database", Failure(kNetworkError, {isc_arg_string, "localhost"}));
    Run(&TFrmPrincipal::ActnVerificarBancoExecute);

    EXPECT_EQ(port.log, (std::vector<std::string>{kStarted, "", "", "Unable to complete network request to host \"localhost\""}));
    EXPECT_TRUE(ServiceCalls().empty());
    ASSERT_EQ(port.messageBoxes.size(), 2u);
    EXPECT_EQ(port.messageBoxes[1].text, kServerOff);
    EXPECT_EQ(port.messageBoxes[1].logLines, 3u) << "the server's line follows the box";
    EXPECT_FALSE(port.messageBoxes[1].busyCursor);
    EXPECT_EQ(std::count(port.calls.begin(), port.calls.end(), "SetInputGroupEnabled(false)"), 0)
        << "the input group and the menu are not touched before the connection step";
    ExpectIdle();
}

TEST_F(VerificationJob, AServiceFailureKeepsTheLinesSoFarRestoresTheWindowAndOffersNothing) {
    struct Case {
        const char* why;
        std::function<void()> script;
        std::vector<std::string> log;  // the server's line follows the box
    };
    const std::vector<std::string> head = {kStarted, "", kConnected};
    const Case cases[] = {
        {"service manager attach", [] { Push("isc_service_attach", Failure(kLoginError)); },
         Lines({head, {"Your user name and password are not defined. Ask your database administrator to set up a "
                       "Firebird login"}})},
        {"start", [] { Push("isc_service_start", Failure(kIoError, {isc_arg_string, "open", isc_arg_string, "x"})); },
         Lines({head, {"I/O error during \"open\" operation for file \"x\""}})},
        {"first query", [] { Push("isc_service_query", Failure(kOtherError, {isc_arg_string, "x"})); },
         Lines({head, {"file x is not a valid database"}})},
        {"a later query",
         [] {
             Push("isc_service_query", LineAnswer(kReport[0]));
             Push("isc_service_query", Failure(kOtherError, {isc_arg_string, "x"}));
         },
         Lines({head, {kAttention, kErrorsFound, "", kReport[0], "file x is not a valid database"}})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        Fresh();
        port.QueueAnswer(kButtonYes);
        c.script();
        Run(&TFrmPrincipal::ActnVerificarBancoExecute);

        EXPECT_EQ(port.log, c.log);
        EXPECT_FALSE(form->EncontrouErro);
        ASSERT_EQ(port.messageBoxes.size(), 2u) << "an error box and no offer";
        EXPECT_EQ(port.messageBoxes[1].title, "Erro!");
        EXPECT_TRUE(port.messageBoxes[1].inputGroupEnabled && port.messageBoxes[1].mainMenuEnabled);
        ExpectIdle();
    }
}

TEST_F(VerificationJob, AFailingDetachStillRestoresTheWindowAndEndsTheJob) {
    port.QueueAnswer(kButtonYes);
    ScriptReportAndLog();
    Push("isc_service_detach", fakeclient::Reply{});  // the log's own attachment
    Push("isc_service_detach", Failure(kNetworkError, {isc_arg_string, "localhost"}));
    Run(&TFrmPrincipal::ActnVerificarBancoExecute);

    ASSERT_EQ(port.messageBoxes.size(), 2u);
    EXPECT_EQ(port.messageBoxes[1].text, kServerOff);
    EXPECT_TRUE(port.messageBoxes[1].inputGroupEnabled && port.messageBoxes[1].mainMenuEnabled);
    ExpectIdle();
    bool canClose = true;
    port.QueueAnswer(kButtonYes);
    form->FormCloseQuery(canClose);
    EXPECT_TRUE(canClose) << "the window can still be closed";
}

TEST_F(VerificationJob, EncontrouErroIsResetEvenWhenTheCommandThenDoesNothing) {
    struct Case {
        const char* why;
        std::function<void()> arrange;
    };
    const Case cases[] = {
        {"a job is running", [&] { form->Executando = true; }},
        {"an input is missing", [&] { port.user = ""; }},
        {"no such file", [&] { port.databasePath = source + "x"; }},
        {"No to the confirmation", [&] { port.QueueAnswer(kButtonNo); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        Fresh();
        form->EncontrouErro = true;
        c.arrange();
        Run(&TFrmPrincipal::ActnVerificarBancoExecute);
        EXPECT_FALSE(form->EncontrouErro);
        EXPECT_TRUE(port.log.empty());
        EXPECT_TRUE(ClientCalls().empty());
        EXPECT_EQ(std::count(port.calls.begin(), port.calls.end(), "SetBusyCursor(true)"), 0);
    }
}

// Events are handled only while a call keeps the window waiting; a report that the server hands
// over at once is read without a pass over them.
TEST_F(VerificationJob, ProcessesNoEventsForAReportTheServerSendsAtOnce) {
    port.QueueAnswer(kButtonYes);
    port.QueueAnswer(kButtonNo);
    ScriptReportAndLog();
    Run(&TFrmPrincipal::ActnVerificarBancoExecute);
    EXPECT_EQ(port.pendingEventsProcessed, 0);
}

// ---- the run's problems, from the server's log or the online validation ----------------------

TEST_F(VerificationJob, TheLogIsFetchedThroughItsOwnServiceAttachmentWithTheSameCredentials) {
    port.QueueAnswer(kButtonYes);
    port.QueueAnswer(kButtonNo);
    ScriptReportAndLog();
    Run(&TFrmPrincipal::ActnVerificarBancoExecute);

    const auto attaches = fakeclient::CallsTo("isc_service_attach");
    ASSERT_EQ(attaches.size(), 2u);
    EXPECT_EQ(attaches[1].Bytes("name"), "localhost:service_mgr");
    EXPECT_EQ(attaches[1].Bytes("spb"), attaches[0].Bytes("spb"));
    const auto starts = fakeclient::CallsTo("isc_service_start");
    ASSERT_EQ(starts.size(), 2u);
    EXPECT_EQ(starts[1].Bytes("spb"), fakeclient::Bytes({isc_action_svc_get_fb_log}));
    const auto queries = fakeclient::CallsTo("isc_service_query");
    ASSERT_FALSE(queries.empty());
    EXPECT_EQ(queries.back().Bytes("request"), fakeclient::Bytes({isc_info_svc_to_eof}));
    EXPECT_EQ(fakeclient::CallsTo("isc_service_detach").size(), 2u) << "both attachments end";
    EXPECT_EQ(fakeclient::Pending("isc_service_query"), 0u);
}

TEST_F(VerificationJob, AFinishCountThatDisagreesWithTheListedProblemsIsSaid) {
    port.QueueAnswer(kButtonYes);
    port.QueueAnswer(kButtonNo);
    const std::string finish = "Validation finished: 5 errors, 1 warnings, 0 fixed";
    ScriptReportAndLog(finish);
    Run(&TFrmPrincipal::ActnVerificarBancoExecute);

    EXPECT_EQ(port.log,
              Lines({{kStarted, "", kConnected, kAttention, kErrorsFound, ""}, kReport, {"", kLogHeading}, kProblems,
                     {"Atenção: o total do servidor não confere com os problemas registrados no log.", finish}}));
}

TEST_F(VerificationJob, WithoutTheRunInTheLogTheOnlineValidationsLinesAreListedAndTheRepairStillOffered) {
    struct Case {
        const char* why;
        std::function<void()> scriptLog;  // after the report's queries
        std::string reason;
    };
    const Case cases[] = {
        {"the log's attachment is refused (no administrator)",
         [] {
             Push("isc_service_attach", fakeclient::Reply{});  // the validation's own
             Push("isc_service_attach", Failure(kLoginError));
         },
         "Não foi possível ler o log do servidor (Your user name and password are not defined. Ask your "
         "database administrator to set up a Firebird login)"},
        {"the log holds no run of this database",
         [] { Push("isc_service_query", LogAnswer(RunInLog("/outro/banco.fdb", kProblems, kFinish))); },
         "O log do servidor não registrou esta validação"},
        {"the log is empty (the server could not write it)", [] { Push("isc_service_query", LogAnswer("")); },
         "O log do servidor não registrou esta validação"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        Fresh();
        port.QueueAnswer(kButtonYes);
        port.QueueAnswer(kButtonNo);
        ScriptOutput(kReport);
        c.scriptLog();
        ScriptOutput(kOnlineLines);
        Run(&TFrmPrincipal::ActnVerificarBancoExecute);

        EXPECT_EQ(port.log, Lines({{kStarted, "", kConnected, kAttention, kErrorsFound, ""}, kReport,
                                   {"", c.reason + kFallsBack}, kOnlineLines}));
        const auto starts = fakeclient::CallsTo("isc_service_start");
        ASSERT_FALSE(starts.empty());
        EXPECT_EQ(starts.back().Bytes("spb"),
                  fakeclient::Bytes({isc_action_svc_validate, isc_spb_dbname}) + Length16(source.size()) + source);
        EXPECT_TRUE(form->EncontrouErro);
        ASSERT_EQ(port.messageBoxes.size(), 2u) << "no error box, and the offer";
        EXPECT_EQ(port.messageBoxes[1].text, kOfferRepair);
        ExpectIdle();
    }
}

TEST_F(VerificationJob, WhenNeitherTheLogNorTheOnlineValidationCanBeHadTheSummaryStandsAlone) {
    port.QueueAnswer(kButtonYes);
    port.QueueAnswer(kButtonNo);
    ScriptOutput(kReport);
    Push("isc_service_attach", fakeclient::Reply{});
    Push("isc_service_attach", Failure(kLoginError));
    Push("isc_service_attach", Failure(kLoginError));
    Run(&TFrmPrincipal::ActnVerificarBancoExecute);

    const std::string refused =
        " (Your user name and password are not defined. Ask your database administrator to set up a Firebird login)";
    EXPECT_EQ(port.log, Lines({{kStarted, "", kConnected, kAttention, kErrorsFound, ""}, kReport,
                               {"", "Não foi possível ler o log do servidor" + refused + kFallsBack,
                                "Não foi possível executar a validação online" + refused +
                                    ": só o resumo acima está disponível."}}));
    ASSERT_EQ(port.messageBoxes.size(), 2u);
    EXPECT_EQ(port.messageBoxes[1].text, kOfferRepair);
    ExpectIdle();
}

TEST_F(VerificationJob, ARefusalBecauseOfALeftoverAttachmentIsExplainedAndNothingIsShutDown) {
    fakeclient::SetMessage(isc_cant_validate, "secondary server attachments cannot validate databases");
    port.QueueAnswer(kButtonYes);
    Push("isc_service_start", Failure(isc_cant_validate));
    Run(&TFrmPrincipal::ActnVerificarBancoExecute);

    ASSERT_GE(port.log.size(), 5u) << "the explanation, before the failure's own lines";
    EXPECT_EQ(port.log[3],
              "O servidor recusou a validação: uma validação anterior deste banco foi interrompida e deixou uma "
              "conexão presa no servidor.");
    EXPECT_NE(port.log[4].find("reinicie o servidor Firebird"), std::string::npos) << port.log[4];
    EXPECT_EQ(fakeclient::CallsTo("isc_service_start").size(), 1u) << "no shutdown, no other action";
    EXPECT_EQ(fakeclient::CallsTo("isc_attach_database").size(), 1u) << "only the connection step";
    ASSERT_EQ(port.messageBoxes.size(), 2u) << "the failure's box, no offer";
    EXPECT_EQ(port.messageBoxes[1].kind, MessageKind::Error);
    ExpectIdle();
}

TEST_F(VerificationJob, AHealthyDatabaseFetchesNoLog) {
    port.QueueAnswer(kButtonYes);
    ScriptOutput({});
    Run(&TFrmPrincipal::ActnVerificarBancoExecute);
    EXPECT_EQ(fakeclient::CallsTo("isc_service_attach").size(), 1u);
}

}  // namespace
}  // namespace tovanel::testing
