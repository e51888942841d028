// The read check over the fake client: a backup to the server's null device, run again with the
// data of each unreadable table left out; the choice of what the verification offers.

#include "JobsFixture.h"
#include "ReadCheck.h"

namespace tovanel::testing {
namespace {

using fakeclient::Failure;
using fakeclient::Push;

const std::string kNotes = "gbak:writing data for table T_NOTAS";
const std::string kOrders = "gbak:writing data for table PEDIDOS";
const std::string kSegment = "segment buffer length shorter than expected";

// The answer of a line query whose wait ran out: an empty line, then the timeout item.
fakeclient::Reply SilentAnswer() {
    return fakeclient::Output(fakeclient::Bytes({isc_info_svc_line, 0, 0, isc_info_svc_timeout, isc_info_end}));
}

class ReadCheckJob : public JobsTest {
protected:
    void SetUp() override {
        JobsTest::SetUp();
        fakeclient::SetMessage(isc_segment, kSegment);
        form->ConfiguraServico(TConfiguracao::TValidacao);
    }
    TReadCheck Check(TReadCheckLimits limits = {}) {
        return RunReadCheck(form->IBValidationService, waiter, [this](const std::string& line) { lines.push_back(line); },
                            limits);
    }
    // The start block of a read-check run, leaving out what every run sends first.
    std::string StartTail(std::size_t run) const {
        const std::string block = fakeclient::CallsTo("isc_service_start").at(run).Bytes("spb");
        const std::string head = fakeclient::Bytes({isc_action_svc_backup, isc_spb_dbname}) + Length16(source.size()) +
                                 source +
                                 fakeclient::Bytes({isc_spb_options, isc_spb_bkp_no_garbage_collect, 0, 0, 0,
                                                    isc_spb_verbose, isc_spb_bkp_file, 9, 0}) +
                                 "/dev/null";
        EXPECT_TRUE(block.starts_with(head)) << "backup of the database to the null device, no garbage collection";
        return block.substr(std::min(head.size(), block.size()));
    }
    ServerCallWaiter waiter{port};
    std::vector<std::string> lines;
};

TEST_F(ReadCheckJob, ATableThatStopsTheBackupIsNamedAndTheNextRunSkipsItsData) {
    Push("isc_service_query", LineAnswer("gbak:readied database for backup"));
    Push("isc_service_query", LineAnswer(kNotes));
    Push("isc_service_query", Failure(isc_segment));
    ScriptOutput({kOrders, "gbak:    1000 records written", "gbak:closing file, committing, and finishing. 1024 bytes written"});
    const TReadCheck check = Check();

    ASSERT_EQ(check.Unreadable.size(), 1u);
    EXPECT_EQ(check.Unreadable[0].Table, "T_NOTAS");
    EXPECT_EQ(check.Unreadable[0].ServerError, kSegment);
    EXPECT_TRUE(check.Completed);
    EXPECT_TRUE(check.Failure.empty());
    EXPECT_EQ(check.TablesRead, std::vector<std::string>{"PEDIDOS"});
    EXPECT_EQ(lines, (std::vector<std::string>{kNotes, "Erro: a tabela T_NOTAS não pode ser lida: " + kSegment, kOrders}));
    ASSERT_EQ(fakeclient::CallsTo("isc_service_start").size(), 2u);
    EXPECT_EQ(StartTail(0), "") << "the first run skips nothing";
    EXPECT_EQ(StartTail(1), fakeclient::Bytes({isc_spb_bkp_skip_data, 9, 0}) + "(T_NOTAS)");
}

TEST_F(ReadCheckJob, EveryUnreadableTableFoundSoFarIsSkippedInTheNextRun) {
    for (const std::string& table : {kNotes, kOrders}) {
        Push("isc_service_query", LineAnswer(table));
        Push("isc_service_query", Failure(isc_segment));
    }
    ScriptOutput({"gbak:closing file, committing, and finishing. 1024 bytes written"});
    const TReadCheck check = Check();

    ASSERT_EQ(check.Unreadable.size(), 2u);
    EXPECT_EQ(check.Unreadable[1].Table, "PEDIDOS");
    EXPECT_TRUE(check.Completed);
    EXPECT_EQ(StartTail(2), fakeclient::Bytes({isc_spb_bkp_skip_data, 17, 0}) + "(PEDIDOS|T_NOTAS)");
}

// Garbage in blob pages stops the backup before its line for the table: the table blamed is the
// first one described whose rows were not written yet.
TEST_F(ReadCheckJob, AFailureBeforeTheTablesLineBlamesTheNextTableDescribed) {
    Push("isc_service_query", LineAnswer("gbak:writing table PEDIDOS"));
    Push("isc_service_query", LineAnswer("gbak:writing table T_NOTAS"));
    Push("isc_service_query", LineAnswer("gbak:writing id generators"));
    Push("isc_service_query", LineAnswer(kOrders));
    Push("isc_service_query", LineAnswer("gbak:    1000 records written"));
    Push("isc_service_query", Failure(isc_segment));
    ScriptOutput({kOrders, "gbak:    1000 records written"});
    const TReadCheck check = Check();

    ASSERT_EQ(check.Unreadable.size(), 1u);
    EXPECT_EQ(check.Unreadable[0].Table, "T_NOTAS");
    EXPECT_TRUE(check.Completed);
    EXPECT_EQ(StartTail(1), fakeclient::Bytes({isc_spb_bkp_skip_data, 9, 0}) + "(T_NOTAS)");
}

// Every output query asks the server to answer within the wait, so a silent server is noticed.
TEST_F(ReadCheckJob, EachOutputQueryCarriesItsWait) {
    ScriptOutput({"gbak:closing file, committing, and finishing. 1024 bytes written"});
    TReadCheckLimits limits;
    limits.QueryWait = std::chrono::seconds(3);
    EXPECT_TRUE(Check(limits).Completed);
    const auto queries = fakeclient::CallsTo("isc_service_query");
    ASSERT_FALSE(queries.empty());
    for (const auto& query : queries)
        EXPECT_EQ(query.Bytes("send"), fakeclient::Bytes({isc_info_svc_timeout, 4, 0, 3, 0, 0, 0}));
}

TEST_F(ReadCheckJob, TheCheckEndsOnItsOwn) {
    struct Case {
        const char* why;
        std::function<void()> script;
        std::size_t maxRuns;
        std::size_t starts;
        std::size_t unreadable;
        const char* failure;  // the start of the check's failure
    };
    const Case cases[] = {
        {"a table that stops the run again although skipped",
         [] {
             for (int run = 0; run < 3; ++run) {
                 Push("isc_service_query", LineAnswer(kNotes));
                 Push("isc_service_query", Failure(isc_segment));
             }
         },
         10, 2, 1, "segment buffer length"},
        {"the bound on the runs",
         [] {
             for (const char* t : {"A", "B", "C"}) {
                 Push("isc_service_query", LineAnswer(std::string("gbak:writing data for table ") + t));
                 Push("isc_service_query", Failure(isc_segment));
             }
         },
         2, 2, 2, ""},
        {"a failure before any table",
         [] { Push("isc_service_attach", Failure(kNetworkError, {isc_arg_string, "localhost"})); }, 10, 0, 0,
         "Unable to complete network request"},
        {"the server dies while it writes a table: no table is blamed",
         [] {
             Push("isc_service_query", LineAnswer(kNotes));
             Push("isc_service_query", Failure(kNetworkError, {isc_arg_string, "localhost"}));
         },
         10, 1, 0, "Unable to complete network request"},
        {"the server sends nothing for longer than allowed",
         [] {
             Push("isc_service_query", LineAnswer(kNotes));
             for (int i = 0; i < 50; ++i) Push("isc_service_query", SilentAnswer());
         },
         10, 1, 0, "o servidor não enviou nada por 0 segundos"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        Fresh();
        fakeclient::SetMessage(isc_segment, kSegment);
        form->ConfiguraServico(TConfiguracao::TValidacao);
        lines.clear();
        c.script();
        TReadCheckLimits limits;
        limits.MaxRuns = c.maxRuns;
        limits.SilenceAllowed = std::chrono::seconds(0);
        const TReadCheck check = Check(limits);
        EXPECT_EQ(fakeclient::CallsTo("isc_service_start").size(), c.starts);
        EXPECT_EQ(check.Unreadable.size(), c.unreadable);
        EXPECT_FALSE(check.Completed);
        EXPECT_TRUE(check.Failure.starts_with(c.failure)) << check.Failure;
        if (*c.failure != '\0') {
            ASSERT_FALSE(lines.empty());
            EXPECT_EQ(lines.back(), "A leitura completa do banco parou: " + check.Failure);
        }
    }
}

// The whole verification with its read check: the validation's service first, then the backups.
class VerificationWithReadCheck : public JobsTest {
protected:
    void SetUp() override {
        JobsTest::SetUp();
        fakeclient::SetMessage(isc_segment, kSegment);
        form->SetLeituraCompleta(true);
        port.QueueAnswer(kButtonYes);
    }
    bool LogHas(const std::string& line) const {
        return std::find(port.log.begin(), port.log.end(), line) != port.log.end();
    }
};

TEST_F(VerificationWithReadCheck, ACleanValidationAndACleanReadCloseWithNoErrorFound) {
    ScriptOutput({});  // the validation's report
    ScriptOutput({kOrders, "gbak:    1000 records written"});
    Run(&TFrmPrincipal::ActnVerificarBancoExecute);

    EXPECT_EQ(port.log, (std::vector<std::string>{kStarted, "", kConnected, "",
                                                  "Leitura completa do banco (todos os registros e blobs):", kOrders,
                                                  kNoErrors}));
    EXPECT_EQ(form->LastJobOutcome(), JobOutcome::Succeeded);
    EXPECT_EQ(port.messageBoxes.size(), 1u) << "nothing offered";
    ExpectIdle();
}

TEST_F(VerificationWithReadCheck, ATableOnlyTheReadFindsCountsAsAProblemAndTheRescueIsOffered) {
    port.QueueAnswer(kButtonNo);
    ScriptOutput({});
    Push("isc_service_query", LineAnswer(kNotes));
    Push("isc_service_query", Failure(isc_segment));
    ScriptOutput({kOrders});
    Run(&TFrmPrincipal::ActnVerificarBancoExecute);

    EXPECT_TRUE(LogHas("Erro: a tabela T_NOTAS não pode ser lida: " + kSegment));
    EXPECT_TRUE(LogHas("Resumo: 0 problema(s) listado(s) pela validação, 1 tabela(s) que não pode(m) ser lida(s)."));
    EXPECT_FALSE(LogHas(kNoErrors));
    EXPECT_FALSE(form->EncontrouErro) << "the validation's own flag";
    EXPECT_EQ(form->LastJobOutcome(), JobOutcome::FoundProblems);
    ASSERT_EQ(port.messageBoxes.size(), 2u);
    EXPECT_EQ(port.messageBoxes[1].text, TFrmPrincipal::kOfferRescueText);
    EXPECT_EQ(port.messageBoxes[1].kind, MessageKind::QuestionYesDefault);
    ASSERT_TRUE(form->UltimaVerificacao());
    EXPECT_EQ(form->UltimaVerificacao()->readCheck.UnreadableNames(), std::set<std::string>{"T_NOTAS"});
    ExpectIdle();
}

TEST_F(VerificationWithReadCheck, AServerGoneDuringTheReadFailsTheVerificationWithAClearError) {
    ScriptOutput({});
    Push("isc_service_query", LineAnswer(kNotes));
    Push("isc_service_query", Failure(kNetworkError, {isc_arg_string, "localhost"}));
    Run(&TFrmPrincipal::ActnVerificarBancoExecute);

    EXPECT_EQ(port.log.back().rfind("A leitura completa do banco parou: Unable to complete network request", 0), 0u)
        << port.log.back();
    EXPECT_FALSE(LogHas(kNoErrors)) << "a file not read to its end is not vouched for";
    EXPECT_EQ(form->LastJobOutcome(), JobOutcome::Failed);
    ASSERT_EQ(port.messageBoxes.size(), 2u);
    EXPECT_EQ(port.messageBoxes[1].kind, MessageKind::Error);
    EXPECT_EQ(port.messageBoxes[1].text, port.log.back());
    ExpectIdle();
}

TEST(ReadCheckOffer, TheOfferFollowsWhatWasFound) {
    struct Case {
        const char* why;
        bool validation;
        std::set<std::string> unreadable, named;
        TVerificationOffer offer;
    };
    const Case cases[] = {
        {"nothing found", false, {}, {}, TVerificationOffer::None},
        {"validation problems alone", true, {}, {"PEDIDOS"}, TVerificationOffer::Repair},
        {"an unreadable table the validation did not see", false, {"T_NOTAS"}, {}, TVerificationOffer::Rescue},
        {"one unreadable table not named among named ones", true, {"PEDIDOS", "T_NOTAS"}, {"PEDIDOS"},
         TVerificationOffer::Rescue},
        {"the repair mends what the validation named before its backup", true, {"PEDIDOS"}, {"PEDIDOS"},
         TVerificationOffer::Repair},
    };
    for (const Case& c : cases) EXPECT_EQ(ChooseOffer(c.validation, c.unreadable, c.named), c.offer) << c.why;
}

TEST(ReadCheckLines, OnlyTheWritingDataLineNamesATable) {
    EXPECT_EQ(TableBeingWritten("gbak:writing data for table T_NOTAS"), "T_NOTAS");
    EXPECT_EQ(TableBeingWritten("gbak:    writing data for table PEDIDOS "), "PEDIDOS");
    EXPECT_EQ(TableBeingWritten("gbak:writing table T_NOTAS"), std::nullopt);
    EXPECT_EQ(TableBeingWritten("gbak:writing data for table "), std::nullopt);
    EXPECT_EQ(TableBeingWritten("gbak:20000 records written"), std::nullopt);
}

}  // namespace
}  // namespace tovanel::testing
