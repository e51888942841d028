// The main window's commands that are not jobs: start-up state, the default-credentials box, the
// open command, the close request and the About box.

#include <gtest/gtest.h>

#include <set>
#include <stdexcept>

#include "FakeUiPort.h"
#include "UFrmPrincipal.h"
#include "UFrmSobre.h"

namespace tovanel::testing {
namespace {

class MainWindowLogic : public ::testing::Test {
protected:
    MainWindowLogic() {
        ui.executablePath = "/srv/tools/tovanel/bin/tovanel";
        frm.FormCreate();
        ui.calls.clear();
    }
    ~MainWindowLogic() override { EXPECT_TRUE(ui.AllAnswersUsed()); }

    FakeUiPort ui;
    TFrmPrincipal frm{ui};
};

TEST(MainWindowStartUp, FieldsStartFalseOrEmptyBeforeFormCreate) {
    FakeUiPort ui;
    TFrmPrincipal frm(ui);
    EXPECT_FALSE(frm.Executando);
    EXPECT_EQ(frm.ArquivoBdadosSemExtencao, "");
    EXPECT_EQ(frm.ExtencaoDoArquivo, "");
    EXPECT_EQ(frm.ArquivoBackup, "");
    EXPECT_EQ(frm.NovoArquivoBD, "");
    EXPECT_FALSE(frm.EncontrouErro);
    EXPECT_EQ(frm.DiretorioAplicativo, "");
    EXPECT_TRUE(ui.calls.empty()) << "constructing the logic must not touch the window";
}

TEST(MainWindowStartUp, FormCreateFillsDefaultsAndPointsBothDialogsAtTheProgramDirectory) {
    FakeUiPort ui;
    ui.executablePath = "/srv/tools/tovanel/bin/tovanel";
    TFrmPrincipal frm(ui);
    frm.FormCreate();

    EXPECT_EQ(frm.DiretorioAplicativo, "/srv/tools/tovanel/bin/");
    EXPECT_EQ(ui.openDialogInitialDir, "/srv/tools/tovanel/bin/");
    EXPECT_EQ(ui.saveDialogInitialDir, "/srv/tools/tovanel/bin/");
    EXPECT_FALSE(frm.EncontrouErro);
    EXPECT_FALSE(frm.Executando);
    EXPECT_TRUE(ui.checkBox);
    EXPECT_EQ(ui.user, "SYSDBA");
    EXPECT_EQ(ui.password, "ravenpike");
    EXPECT_EQ(ui.password.size(), 9u);
    EXPECT_EQ(ui.databasePath, "");
    EXPECT_TRUE(ui.log.empty());
    EXPECT_EQ(ui.statusText, "") << "the status line stays empty until the first tick";
    EXPECT_TRUE(ui.messageBoxes.empty());
}

TEST_F(MainWindowLogic, TickingTheBoxReplacesWhateverWasTypedWithTheDefaults) {
    ui.user = "MARIA";
    ui.password = "segredo";
    ui.checkBox = true;  // the click has ticked it
    frm.ChckBxUsuarioSenhaPadraoClick();
    EXPECT_EQ(ui.user, "SYSDBA");
    EXPECT_EQ(ui.password, "ravenpike");
}

TEST_F(MainWindowLogic, UntickingTheBoxLeavesBothEditsAsTheyAre) {
    ui.user = "MARIA";
    ui.password = "segredo";
    ui.checkBox = false;  // the click has cleared it
    frm.ChckBxUsuarioSenhaPadraoClick();
    EXPECT_EQ(ui.user, "MARIA");
    EXPECT_EQ(ui.password, "segredo");
    EXPECT_TRUE(ui.calls.empty());
}

TEST_F(MainWindowLogic, AnyKeyReleaseInUserOrPasswordClearsOnlyTheTick) {
    ui.password = "ravenpikeX";  // one character typed
    frm.TeclaPressinadaEditUserSenha();
    EXPECT_FALSE(ui.checkBox);
    EXPECT_EQ(ui.password, "ravenpikeX");
    EXPECT_EQ(ui.user, "SYSDBA");
    EXPECT_EQ(ui.calls, std::vector<std::string>{"SetCheckBoxChecked(false)"});

    frm.TeclaPressinadaEditUserSenha();  // already clear: stays clear, edits untouched
    EXPECT_FALSE(ui.checkBox);
    EXPECT_EQ(ui.password, "ravenpikeX");
}

TEST_F(MainWindowLogic, OpenCommandPutsTheChosenFullPathIntoThePathEdit) {
    ui.databasePath = "/old/choice.fdb";
    ui.QueueOpenDialog("/dados/empresa/BANCO.FDB");
    frm.ActnAbrirBancoExecute();
    EXPECT_EQ(ui.databasePath, "/dados/empresa/BANCO.FDB");
    EXPECT_EQ(ui.openDialogsShown, 1);
    EXPECT_TRUE(ui.fileExistsAsked.empty()) << "nothing is tested at this point";
}

TEST_F(MainWindowLogic, CancellingTheOpenDialogLeavesThePathEditUnchanged) {
    ui.databasePath = "/old/choice.fdb";
    ui.QueueOpenDialog(std::nullopt);
    frm.ActnAbrirBancoExecute();
    EXPECT_EQ(ui.databasePath, "/old/choice.fdb");
    EXPECT_EQ(ui.openDialogsShown, 1);
}

TEST_F(MainWindowLogic, OpenCommandDoesNothingWhileAJobRuns) {
    frm.Executando = true;
    ui.databasePath = "/old/choice.fdb";
    frm.ActnAbrirBancoExecute();
    EXPECT_EQ(ui.openDialogsShown, 0);
    EXPECT_EQ(ui.databasePath, "/old/choice.fdb");
    EXPECT_TRUE(ui.calls.empty());
}

TEST_F(MainWindowLogic, SairRequestsTheWindowToClose) {
    frm.ActnSairExecute();
    EXPECT_EQ(ui.closeRequests, 1);
    EXPECT_TRUE(ui.messageBoxes.empty()) << "the question belongs to the close query";
}

struct CloseAnswer {
    int button;
    bool closes;
};

void PrintTo(const CloseAnswer& value, std::ostream* out) {
    *out << value.button;
}

class CloseQuery : public MainWindowLogic, public ::testing::WithParamInterface<CloseAnswer> {};

TEST_P(CloseQuery, AsksWithNoPreselectedAndOnlyYesCloses) {
    ui.QueueAnswer(GetParam().button);
    bool canClose = true;
    frm.FormCloseQuery(canClose);
    EXPECT_EQ(canClose, GetParam().closes);
    ASSERT_EQ(ui.messageBoxes.size(), 1u);
    EXPECT_EQ(ui.messageBoxes[0].text, "Deseja sair do sistema?");
    EXPECT_EQ(ui.messageBoxes[0].title, "Pergunta");
    EXPECT_EQ(ui.messageBoxes[0].kind, MessageKind::Confirmation);
    EXPECT_EQ(static_cast<int>(ui.messageBoxes[0].kind), 292);
}

INSTANTIATE_TEST_SUITE_P(Answers, CloseQuery,
                         ::testing::Values(CloseAnswer{kButtonYes, true},
                                           CloseAnswer{kButtonNo, false},
                                           CloseAnswer{kButtonOk, false},
                                           CloseAnswer{2 /* cancel */, false},
                                           CloseAnswer{0 /* box closed */, false}));

TEST_F(MainWindowLogic, CloseRequestWhileAJobRunsIsRefusedSilently) {
    frm.Executando = true;
    bool canClose = true;
    frm.FormCloseQuery(canClose);
    EXPECT_FALSE(canClose);
    EXPECT_TRUE(ui.messageBoxes.empty());
    EXPECT_TRUE(ui.calls.empty());
}

TEST_F(MainWindowLogic, CloseRequestArrivingInsidePendingEventsOfAJobIsRefused) {
    // What the fake's hooks allow later jobs to do: a close request comes in while the job lets
    // the event loop run.
    bool canClose = true;
    ui.onRequestClose = [&] { frm.FormCloseQuery(canClose); };
    ui.onProcessPendingEvents = [&] { frm.ActnSairExecute(); };
    frm.Executando = true;
    ui.ProcessPendingEvents();
    EXPECT_EQ(ui.closeRequests, 1);
    EXPECT_FALSE(canClose);
    EXPECT_TRUE(ui.messageBoxes.empty());
}

TEST_F(MainWindowLogic, EachAboutCommandShowsAFreshBoxThatOpensTheMakersAddress) {
    std::set<std::string> captions;
    const TFrmSobre* shown = nullptr;
    ui.onShowAboutBox = [&](TFrmSobre& box) {
        // The box is live while shown; its address click goes to the shell.
        captions.insert(box.LblUrlClickCaption());
        box.LblUrlClickClick();
        shown = &box;
    };
    frm.ActnSobreExecute();
    frm.ActnSobreExecute();

    EXPECT_EQ(ui.aboutBoxesShown, 2);
    EXPECT_EQ(captions, std::set<std::string>{TFrmSobre::kMakerUrl});
    EXPECT_EQ(ui.shellOpened,
              (std::vector<std::string>{TFrmSobre::kMakerUrl, TFrmSobre::kMakerUrl}));
    EXPECT_NE(shown, nullptr);
}

TEST_F(MainWindowLogic, AFailedShellOpenOfTheAddressIsIgnored) {
    ui.shellOpenSucceeds = false;
    ui.onShowAboutBox = [](TFrmSobre& box) { box.LblUrlClickClick(); };
    EXPECT_NO_THROW(frm.ActnSobreExecute());
    EXPECT_EQ(ui.shellOpened.size(), 1u);
    EXPECT_TRUE(ui.messageBoxes.empty());
}

TEST_F(MainWindowLogic, AFailureShowingTheAboutBoxReachesTheFailureHook) {
    ui.onShowAboutBox = [](TFrmSobre&) { throw std::runtime_error("cannot show the box"); };
    const bool normal = frm.RunHandler([&] { frm.ActnSobreExecute(); });
    EXPECT_FALSE(normal);
    ASSERT_EQ(ui.messageBoxes.size(), 1u);
    EXPECT_EQ(ui.messageBoxes[0].text, "cannot show the box");
    EXPECT_EQ(ui.messageBoxes[0].title, "Erro!");
}

}  // namespace
}  // namespace tovanel::testing
