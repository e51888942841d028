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

class ReadCheckJob : public JobsTest {
protected:
    void SetUp() override {
        JobsTest::SetUp();
        fakeclient::SetMessage(isc_segment, kSegment);
        form->ConfiguraServico(TConfiguracao::TValidacao);
    }
    TReadCheck Check(std::size_t maxRuns = 10) {
        return RunReadCheck(form->IBValidationService, [this](const std::string& line) { lines.push_back(line); },
                            maxRuns);
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
    std::vector<std::string> lines;
};

TEST_F(ReadCheckJob, ATableThatStopsTheBackupIsNamedAndTheNextRunSkipsItsData) {
    Push("isc_service_query", LineAnswer("gbak:readied database for backup"));
    Push("isc_service_query", LineAnswer(kNotes));
    Push("isc_service_query", Failure(isc_segment));
    ScriptOutput({kOrders, "gbak:closing file, committing, and finishing. 1024 bytes written"});
    const TReadCheck check = Check();

    ASSERT_EQ(check.Unreadable.size(), 1u);
    EXPECT_EQ(check.Unreadable[0].Table, "T_NOTAS");
    EXPECT_EQ(check.Unreadable[0].ServerError, kSegment);
    EXPECT_TRUE(check.Completed);
    EXPECT_TRUE(check.Failure.empty());
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
    EXPECT_EQ(StartTail(2), fakeclient::Bytes({isc_spb_bkp_skip_data, 17, 0}) + "(T_NOTAS|PEDIDOS)");
}

TEST_F(ReadCheckJob, TheCheckEndsOnItsOwn) {
    struct Case {
        const char* why;
        std::function<void()> script;
        std::size_t maxRuns;
        std::size_t starts;
        std::size_t unreadable;
        bool failure;
    };
    const Case cases[] = {
        {"a table that stops the run again although skipped",
         [] {
             for (int run = 0; run < 3; ++run) {
                 Push("isc_service_query", LineAnswer(kNotes));
                 Push("isc_service_query", Failure(isc_segment));
             }
         },
         10, 2, 1, false},
        {"the bound on the runs",
         [] {
             for (const char* t : {"A", "B", "C"}) {
                 Push("isc_service_query", LineAnswer(std::string("gbak:writing data for table ") + t));
                 Push("isc_service_query", Failure(isc_segment));
             }
         },
         2, 2, 2, false},
        {"a failure before any table (the server stopped answering)",
         [] { Push("isc_service_attach", Failure(kNetworkError, {isc_arg_string, "localhost"})); }, 10, 0, 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        Fresh();
        fakeclient::SetMessage(isc_segment, kSegment);
        form->ConfiguraServico(TConfiguracao::TValidacao);
        lines.clear();
        c.script();
        const TReadCheck check = Check(c.maxRuns);
        EXPECT_EQ(fakeclient::CallsTo("isc_service_start").size(), c.starts);
        EXPECT_EQ(check.Unreadable.size(), c.unreadable);
        EXPECT_FALSE(check.Completed);
        EXPECT_EQ(!check.Failure.empty(), c.failure);
        if (c.failure) {
            ASSERT_FALSE(lines.empty());
            EXPECT_TRUE(lines.back().starts_with("A leitura completa do banco parou: ")) << lines.back();
        }
    }
}

TEST(ReadCheckOffer, TheOfferFollowsWhatWasFound) {
    struct Case {
        bool validation, unreadable;
        TVerificationOffer offer;
    };
    const Case cases[] = {
        {false, false, TVerificationOffer::None},
        {true, false, TVerificationOffer::Repair},
        {false, true, TVerificationOffer::Rescue},
        {true, true, TVerificationOffer::Rescue},
    };
    for (const Case& c : cases) EXPECT_EQ(ChooseOffer(c.validation, c.unreadable), c.offer);
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
