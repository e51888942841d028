// "Res&gate" before any server work: the guard, the confirmation, the proposed name and the
// same-file refusal; and the offer after a failed repair.

#include "JobsFixture.h"
#include "RescueJob.h"

namespace tovanel::testing {
namespace {

using fakeclient::Failure;
using fakeclient::Push;

class RescueCommand : public JobsTest {};

TEST_F(RescueCommand, NoToTheConfirmationEndsItBeforeAnythingElse) {
    port.QueueAnswer(kButtonNo);
    Run(&TFrmPrincipal::ActnResgateExecute);
    ASSERT_EQ(port.messageBoxes.size(), 1u);
    EXPECT_EQ(port.messageBoxes[0].text, kConfirmRescue);
    EXPECT_EQ(port.messageBoxes[0].title, "Pergunta");
    EXPECT_EQ(port.messageBoxes[0].kind, MessageKind::Confirmation);
    EXPECT_TRUE(port.saveDialogs.empty());
    EXPECT_TRUE(port.log.empty());
    EXPECT_TRUE(ClientCalls().empty());
    EXPECT_FALSE(form->UltimoResgate());
}

TEST_F(RescueCommand, ProposesTheStemWithResgateAndTheUpperCaseExtension) {
    struct Case {
        const char* file;
        const char* proposed;
        FileFilter filter;
    } const cases[] = {
        {"banco.fdb", "banco_RESGATE.FDB", FileFilter::Firebird},
        {"banco.gdb", "banco_RESGATE.GDB", FileFilter::Interbase},
        {"banco", "banco_RESGATE", FileFilter::Interbase},
        {"dados.v2/Banco.old.Fdb", "Banco_RESGATE.FDB", FileFilter::Firebird},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        Fresh();
        port.databasePath = MakeFile(c.file);
        port.QueueAnswer(kButtonYes);
        port.QueueSaveDialog(std::nullopt);  // cancelled: the command ends
        Run(&TFrmPrincipal::ActnResgateExecute);
        ASSERT_EQ(port.saveDialogs.size(), 1u);
        EXPECT_EQ(port.saveDialogs[0].proposedName, c.proposed);
        EXPECT_EQ(port.saveDialogs[0].initialDir, fs::path(port.databasePath).parent_path().string());
        EXPECT_EQ(port.saveDialogs[0].preselected, c.filter);
        EXPECT_TRUE(port.log.empty());
        EXPECT_TRUE(ClientCalls().empty());
    }
}

TEST_F(RescueCommand, RefusesTheSourceFileAsTheNewOne) {
    fs::create_symlink(source, dir / "atalho.fdb");
    for (const std::string& chosen : {source, (dir / "atalho.fdb").string()}) {
        SCOPED_TRACE(chosen);
        port.messageBoxes.clear();
        fakeclient::Reset();
        port.QueueAnswer(kButtonYes);
        port.QueueSaveDialog(chosen);
        Run(&TFrmPrincipal::ActnResgateExecute);
        ASSERT_EQ(port.messageBoxes.size(), 2u);
        EXPECT_EQ(port.messageBoxes[1].text, "O banco de dados destinho não pode ser igual ao origem");
        EXPECT_EQ(port.messageBoxes[1].kind, MessageKind::Error);
        EXPECT_TRUE(ClientCalls().empty());
        EXPECT_EQ(ReadFile(source), "database bytes");
    }
}

TEST_F(RescueCommand, DoesNothingWhileAnotherJobRuns) {
    form->Executando = true;
    Run(&TFrmPrincipal::ActnResgateExecute);
    EXPECT_TRUE(port.messageBoxes.empty());
    EXPECT_TRUE(port.saveDialogs.empty());
    form->Executando = false;
}

TEST_F(RescueCommand, AFailedRepairOffersTheRescueAfterItsErrorBoxYesByDefault) {
    port.declineRescueOffer = false;
    port.QueueAnswer(kButtonYes);                               // the repair's confirmation
    port.QueueSaveDialog((dir / "banco_NOVO.FDB").string());    // the repair's new file
    Push("isc_service_attach", Failure(kLoginError));           // the sweep cannot attach
    port.QueueAnswer(kButtonYes);                               // the offer
    port.QueueSaveDialog(std::nullopt);                         // the rescue's dialog, cancelled
    Run(&TFrmPrincipal::ActnReparabancoExecute);

    ASSERT_EQ(port.messageBoxes.size(), 3u);
    EXPECT_EQ(port.messageBoxes[1].kind, MessageKind::Error) << "the repair's failure first";
    EXPECT_EQ(port.messageBoxes[2].text, kOfferRescue);
    EXPECT_EQ(port.messageBoxes[2].title, "Pergunta");
    EXPECT_EQ(port.messageBoxes[2].kind, MessageKind::QuestionYesDefault);
    EXPECT_TRUE(port.messageBoxes[2].inputGroupEnabled && port.messageBoxes[2].mainMenuEnabled);
    ASSERT_EQ(port.saveDialogs.size(), 2u) << "Yes goes straight to the rescue's dialog, no second confirmation";
    EXPECT_EQ(port.saveDialogs[1].proposedName, "banco_RESGATE.FDB");
    EXPECT_TRUE(port.AllAnswersUsed());
    ExpectIdle();
}

}  // namespace
}  // namespace tovanel::testing
