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
    TReadCheck Check(TReadCheckLimits limits = {}, const std::set<std::string>& damaged = {}) {
        return RunReadCheck(form->IBValidationService, waiter, [this](const std::string& line) { lines.push_back(line); },
                            damaged, limits);
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

// A run's output: its lines, then the end of the output.
void CleanRun(const std::vector<std::string>& lines) { ScriptOutput(lines); }
// A run that fails after its lines with the server's error.
void FailingRun(const std::vector<std::string>& lines, ISC_STATUS error = isc_segment) {
    for (const std::string& line : lines) Push("isc_service_query", LineAnswer(line));
    Push("isc_service_query", Failure(error));
}
// The run that writes the definitions alone, naming the tables in their order.
void DefinitionsRun(const std::vector<std::string>& tables) {
    std::vector<std::string> lines;
    for (const std::string& table : tables) lines.push_back("gbak:    writing table " + table);
    lines.push_back("gbak:closing file, committing, and finishing. 1024 bytes written");
    ScriptOutput(lines);
}
const std::string kIsolating = "O servidor parou sem dizer em que tabela: lendo as tabelas por partes para encontrá-la.";

std::string SkipItem(const std::string& pattern) {
    return fakeclient::Bytes({isc_spb_bkp_skip_data, static_cast<int>(pattern.size()), 0}) + pattern;
}

// The table its lines name is only a suspect: the server drops the lines it had not sent when it
// fails. A run over the suspect's data alone confirms it.
TEST_F(ReadCheckJob, ATableNamedByItsLinesIsConfirmedAloneThenItsDataIsSkipped) {
    FailingRun({"gbak:readied database for backup", kNotes});
    DefinitionsRun({"T_NOTAS", "PEDIDOS"});
    FailingRun({kNotes});
    CleanRun({kOrders, "gbak:    1000 records written", "gbak:closing file, committing, and finishing. 1024 bytes written"});
    const TReadCheck check = Check();

    ASSERT_EQ(check.Unreadable.size(), 1u);
    EXPECT_EQ(check.Unreadable[0].Table, "T_NOTAS");
    EXPECT_EQ(check.Unreadable[0].ServerError, kSegment);
    EXPECT_TRUE(check.Completed);
    EXPECT_TRUE(check.Failure.empty());
    EXPECT_EQ(check.TablesRead, std::vector<std::string>{"PEDIDOS"});
    EXPECT_EQ(lines, (std::vector<std::string>{kNotes, "Erro: a tabela T_NOTAS não pode ser lida: " + kSegment, kOrders}));
    ASSERT_EQ(fakeclient::CallsTo("isc_service_start").size(), 4u);
    EXPECT_EQ(StartTail(0), "") << "the first run skips nothing";
    EXPECT_EQ(StartTail(1), SkipItem("%")) << "the definitions alone";
    EXPECT_EQ(StartTail(2), SkipItem("(PEDIDOS)")) << "the suspect's data alone";
    EXPECT_EQ(StartTail(3), SkipItem("(T_NOTAS)"));
}

// The suspect reads well alone: the tables' data are read in halves until the one is found.
TEST_F(ReadCheckJob, ASuspectThatReadsAloneIsNotBlamedAndTheTablesAreReadInParts) {
    FailingRun({kNotes});
    DefinitionsRun({"CLIENTES", "T_NOTAS", "PEDIDOS"});
    CleanRun({kNotes});               // T_NOTAS alone
    CleanRun({});                     // CLIENTES alone
    CleanRun({kNotes});               // CLIENTES and T_NOTAS
    FailingRun({});                   // PEDIDOS alone: confirmed
    CleanRun({kNotes, kOrders});      // everything but PEDIDOS
    const TReadCheck check = Check();

    ASSERT_EQ(check.Unreadable.size(), 1u);
    EXPECT_EQ(check.Unreadable[0].Table, "PEDIDOS");
    EXPECT_TRUE(check.Completed);
    EXPECT_NE(std::find(lines.begin(), lines.end(), kIsolating), lines.end());
    ASSERT_EQ(fakeclient::CallsTo("isc_service_start").size(), 7u);
    EXPECT_EQ(StartTail(3), SkipItem("(PEDIDOS|T_NOTAS)")) << "the first half";
    EXPECT_EQ(StartTail(4), SkipItem("(PEDIDOS)"));
    EXPECT_EQ(StartTail(5), SkipItem("(CLIENTES|T_NOTAS)"));
    EXPECT_EQ(StartTail(6), SkipItem("(PEDIDOS)"));
}

// The tables the validation found damaged are the repair's to mend: their data are never read, so a
// damaged record cannot stop the server with a consistency check.
TEST_F(ReadCheckJob, TheDataOfTablesTheValidationFoundDamagedAreLeftOutFromTheFirstRun) {
    CleanRun({kOrders, "gbak:    1000 records written", "gbak:closing file, committing, and finishing. 1024 bytes written"});
    const TReadCheck check = Check({}, {"PRODUTOS", "T_NOTAS"});

    EXPECT_TRUE(check.Completed);
    EXPECT_TRUE(check.Unreadable.empty());
    EXPECT_EQ(check.LeftOut, (std::vector<std::string>{"PRODUTOS", "T_NOTAS"}));
    EXPECT_EQ(check.TablesRead, std::vector<std::string>{"PEDIDOS"});
    ASSERT_EQ(fakeclient::CallsTo("isc_service_start").size(), 1u);
    EXPECT_EQ(StartTail(0), SkipItem("(PRODUTOS|T_NOTAS)"));
    EXPECT_EQ(lines, (std::vector<std::string>{"Dados não lidos, pois a validação já encontrou problemas neles (o reparo "
                                               "os corrige antes de copiá-los): PRODUTOS, T_NOTAS",
                                               kOrders}));
}

TEST_F(ReadCheckJob, EveryUnreadableTableFoundSoFarIsSkippedInTheNextRun) {
    FailingRun({kNotes});
    DefinitionsRun({"T_NOTAS", "PEDIDOS"});
    FailingRun({kNotes});
    FailingRun({kOrders});
    FailingRun({kOrders});
    CleanRun({"gbak:closing file, committing, and finishing. 1024 bytes written"});
    const TReadCheck check = Check();

    ASSERT_EQ(check.Unreadable.size(), 2u);
    EXPECT_EQ(check.Unreadable[1].Table, "PEDIDOS");
    EXPECT_TRUE(check.Completed);
    ASSERT_EQ(fakeclient::CallsTo("isc_service_start").size(), 6u);
    EXPECT_EQ(StartTail(3), SkipItem("(T_NOTAS)"));
    EXPECT_EQ(StartTail(4), SkipItem("(T_NOTAS)")) << "PEDIDOS alone, T_NOTAS still out";
    EXPECT_EQ(StartTail(5), SkipItem("(PEDIDOS|T_NOTAS)"));
}

// Every output query asks the server to answer within the wait, so a silent server is noticed.
TEST_F(ReadCheckJob, EachOutputQueryCarriesItsWait) {
    CleanRun({"gbak:closing file, committing, and finishing. 1024 bytes written"});
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
        {"a blob's page is missing: no other run, since the server's next attach of the file may hang it",
         [] { FailingRun({kNotes}, isc_db_corrupt); }, 10, 1, 0, "database file appears corrupt (cannot find BLOB page"},
        {"a consistency check: no other run, since the server may refuse the file or fall on its next attach",
         [] { FailingRun({kNotes}, isc_bug_check); }, 10, 1, 0, "internal Firebird consistency check"},
        {"a refusal after an earlier consistency check: no other run either",
         [] { Push("isc_service_attach", Failure(isc_bug_check)); }, 10, 0, 0, "internal Firebird consistency check"},
        {"the bound on the whole runs",
         [] {
             FailingRun({kNotes});
             DefinitionsRun({"T_NOTAS", "PEDIDOS"});
             FailingRun({kNotes});
         },
         1, 3, 1, ""},
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
        {"a failure that reading in parts never finds again blames no table",
         [] {
             FailingRun({});
             DefinitionsRun({"A", "B"});
             CleanRun({});  // A alone
             CleanRun({});  // B alone
         },
         10, 4, 0, "segment buffer length"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        Fresh();
        fakeclient::SetMessage(isc_segment, kSegment);
        fakeclient::SetMessage(isc_db_corrupt, "database file appears corrupt (cannot find BLOB page (201))");
        fakeclient::SetMessage(isc_bug_check, "internal Firebird consistency check (wrong record length (183))");
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
    FailingRun({kNotes});
    DefinitionsRun({"T_NOTAS", "PEDIDOS"});
    FailingRun({kNotes});
    CleanRun({kOrders});
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
