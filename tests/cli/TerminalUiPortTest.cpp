// The terminal port on string streams: where each kind of output goes, how questions are
// answered, and what the save dialog returns. No server, no client library.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <sstream>
#include <streambuf>

#include "TempDir.h"
#include "RescueJob.h"
#include "TerminalUiPort.h"
#include "UFrmPrincipal.h"

namespace tovanel::cli {
namespace {

// An output buffer that hands its text on only when flushed (or full), as a pipe's stdio buffer
// does; `delivered` is what a reader at the other end would have seen.
class HoldingBuffer : public std::streambuf {
public:
    HoldingBuffer() { setp(buffer_, buffer_ + sizeof buffer_); }
    std::string delivered;

protected:
    int sync() override {
        delivered.append(pbase(), pptr());
        setp(buffer_, buffer_ + sizeof buffer_);
        return 0;
    }
    int_type overflow(int_type c) override {
        sync();
        if (!traits_type::eq_int_type(c, traits_type::eof())) delivered += traits_type::to_char_type(c);
        return traits_type::not_eof(c);
    }

private:
    char buffer_[4096];
};

class TerminalPort : public ::testing::Test {
protected:
    TerminalUiPort& Port(bool yes = false, bool interactive = false, std::optional<std::string> output = {}) {
        port_.emplace(TerminalIo{out, err, in, interactive}, yes, std::move(output), "/work/dir");
        return *port_;
    }

    std::ostringstream out;
    std::ostringstream err;
    std::istringstream in;
    testing::TempDir dir;

private:
    std::optional<TerminalUiPort> port_;
};

TEST_F(TerminalPort, LogLinesGoToStandardOutputUnchangedOneLineEach) {
    auto& port = Port();
    port.ClearLog();
    port.AppendLog("Aguarde... Processo iniciado.");
    port.AppendLog("");
    port.AppendLog("gbak:writing tables ");
    EXPECT_EQ(out.str(), "Aguarde... Processo iniciado.\n\ngbak:writing tables \n");
    EXPECT_EQ(err.str(), "");
}

TEST_F(TerminalPort, EveryLogLineIsFlushedTheMomentItIsWritten) {
    HoldingBuffer held;
    std::ostream heldOut(&held);
    TerminalUiPort port(TerminalIo{heldOut, err, in, false}, false, std::nullopt, "/");
    port.AppendLog("primeira");
    EXPECT_EQ(held.delivered, "primeira\n");
    port.AppendLog("segunda");
    EXPECT_EQ(held.delivered, "primeira\nsegunda\n");
}

TEST_F(TerminalPort, ErrorBoxGoesToStandardErrorAsTitleColonTextWithCrAsLineBreak) {
    auto& port = Port();
    EXPECT_EQ(port.ShowMessageBox("FireBird Server desativado\rou bloqueio pelo firewall!", "Erro!",
                                  MessageKind::Error),
              kButtonOk);
    EXPECT_EQ(port.ShowMessageBox("* Usuario do banco de dados não informado!\r", "Erro", MessageKind::Error),
              kButtonOk);
    EXPECT_EQ(err.str(),
              "Erro!: FireBird Server desativado\nou bloqueio pelo firewall!\n"
              "Erro: * Usuario do banco de dados não informado!\n\n");
    EXPECT_EQ(out.str(), "");
    EXPECT_EQ(port.outcome().errorBoxes, 2);
}

TEST(TerminalTextOfMessage, EachCrIsOneLineBreak) {
    const std::pair<std::string, std::string> cases[] = {
        {"a\rb", "a\nb"}, {"a\r\nb", "a\nb"}, {"a\nb", "a\nb"}, {"\r\r", "\n\n"}, {"", ""}, {"sem quebra", "sem quebra"},
    };
    for (const auto& [text, shown] : cases) EXPECT_EQ(TerminalText(text), shown) << text;
}

TEST_F(TerminalPort, YesOptionAnswersEveryQuestionYesAndShowsIt) {
    auto& port = Port(/*yes=*/true);
    in.str("n\n");
    EXPECT_EQ(port.ShowMessageBox("Confirma?\r  mesmo?", "Pergunta", MessageKind::Confirmation), kButtonYes);
    EXPECT_EQ(port.ShowMessageBox("Reparar?", "Erro", MessageKind::QuestionYesDefault), kButtonYes);
    EXPECT_EQ(err.str(), "Pergunta: Confirma?\n  mesmo? [y/N] y\nErro: Reparar? [y/N] y\n");
    EXPECT_EQ(in.tellg(), 0) << "--yes reads no answer";
    EXPECT_EQ(port.outcome().answers, (std::vector<bool>{true, true}));
}

TEST_F(TerminalPort, TheRescueOfferedAfterAFailedRepairIsDeclinedWithoutAWordEvenWithYes) {
    for (const bool yes : {true, false}) {
        auto& port = Port(yes, /*interactive=*/true);
        in.str("y\n");
        err.str("");
        EXPECT_EQ(port.ShowMessageBox(kOfferRescue, "Pergunta", MessageKind::QuestionYesDefault), kButtonNo);
        EXPECT_EQ(err.str(), "") << "the repair's error box stays the last line";
        EXPECT_TRUE(port.outcome().answers.empty());
    }
}

TEST_F(TerminalPort, OnATerminalTheTypedAnswerDecidesAndNoIsTheDefault) {
    const struct {
        std::string typed;
        bool yes;
    } cases[] = {
        {"y\n", true},  {"Y\n", true},   {"yes\n", true}, {"s\n", true},    {" SIM \n", true}, {"\n", false},
        {"n\n", false}, {"não\n", false}, {"yy\n", false}, {"talvez\n", false}, {"", false},  // end of input
    };
    for (const auto& c : cases) {
        for (MessageKind kind : {MessageKind::Confirmation, MessageKind::QuestionYesDefault}) {
            SCOPED_TRACE(::testing::PrintToString(c.typed));
            err.str("");
            in.clear();
            in.str(c.typed);
            auto& port = Port(false, /*interactive=*/true);
            EXPECT_EQ(port.ShowMessageBox("Confirma?", "Pergunta", kind), c.yes ? kButtonYes : kButtonNo);
            EXPECT_TRUE(err.str().starts_with("Pergunta: Confirma? [y/N] ")) << err.str();
            EXPECT_FALSE(port.outcome().stoppedWithoutTerminal);
        }
    }
}

TEST_F(TerminalPort, OnATerminalEachQuestionReadsItsOwnLine) {
    in.str("y\nn\n");
    auto& port = Port(false, true);
    EXPECT_EQ(port.ShowMessageBox("Primeira?", "Pergunta", MessageKind::Confirmation), kButtonYes);
    EXPECT_EQ(port.ShowMessageBox("Segunda?", "Erro", MessageKind::QuestionYesDefault), kButtonNo);
    EXPECT_EQ(port.outcome().answers, (std::vector<bool>{true, false}));
}

TEST_F(TerminalPort, WithoutTerminalAndWithoutYesTheQuestionStopsInsteadOfWaiting) {
    in.str("y\n");
    auto& port = Port(false, /*interactive=*/false);
    EXPECT_EQ(port.ShowMessageBox("Confirma?", "Pergunta", MessageKind::Confirmation), kButtonNo);
    EXPECT_TRUE(port.outcome().stoppedWithoutTerminal);
    EXPECT_EQ(in.tellg(), 0) << "nothing may be read from a non-terminal";
    EXPECT_TRUE(err.str().starts_with("Pergunta: Confirma? [y/N] \n")) << err.str();
    EXPECT_NE(err.str().find("use --yes"), std::string::npos) << err.str();
}

TEST_F(TerminalPort, NoRepairAnswersTheOfferToRepairNoWithoutAskingAndOnlyThatQuestion) {
    for (const bool yes : {false, true}) {
        SCOPED_TRACE(yes ? "with --yes" : "without --yes");
        err.str("");
        in.clear();
        in.str("y\ny\n");
        auto& port = Port(yes, /*interactive=*/true);
        port.SetDeclineRepairOffer(true);
        EXPECT_EQ(port.ShowMessageBox(TFrmPrincipal::kOfferRepairText, "Erro", MessageKind::QuestionYesDefault),
                  kButtonNo);
        EXPECT_EQ(in.tellg(), 0) << "nothing is read for the offer";
        EXPECT_FALSE(port.outcome().stoppedWithoutTerminal);
        EXPECT_NE(err.str().find("n (--no-repair)"), std::string::npos) << err.str();
        EXPECT_EQ(port.ShowMessageBox("Confirma?", "Pergunta", MessageKind::Confirmation), kButtonYes)
            << "other questions are asked as before";
        EXPECT_EQ(port.outcome().answers, (std::vector<bool>{false, true}));
    }
}

TEST_F(TerminalPort, WithoutNoRepairTheOfferIsAnOrdinaryQuestion) {
    auto& port = Port(/*yes=*/true);
    EXPECT_EQ(port.ShowMessageBox(TFrmPrincipal::kOfferRepairText, "Erro", MessageKind::QuestionYesDefault), kButtonYes);
}

TEST_F(TerminalPort, SaveDialogProposesTheWindowsNameInTheSourceDirectoryAsAFullPath) {
    const struct {
        std::string initialDir, proposed, chosen;
    } cases[] = {
        {"/dados", "banco_NOVO.FDB", "/dados/banco_NOVO.FDB"},
        {"/", "banco_NOVO.FDB", "/banco_NOVO.FDB"},
        {"sub/dir", "banco_NOVO", "/work/dir/sub/dir/banco_NOVO"},
        {"", "_NOVO.FDB", "/work/dir/_NOVO.FDB"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.chosen);
        err.str("");
        auto& port = Port();
        EXPECT_EQ(port.ShowSaveDialog(c.initialDir, c.proposed, FileFilter::Firebird), c.chosen);
        EXPECT_EQ(err.str(), "Informe o novo arquivo a ser gerado: " + c.chosen + "\n");
        EXPECT_TRUE(port.outcome().newFileChosen);
        EXPECT_TRUE(port.outcome().answers.empty());
    }
}

TEST_F(TerminalPort, OutputOptionAnswersTheSaveDialogExactlyAsGivenMadeAbsolute) {
    EXPECT_EQ(Port(false, false, "/alvo/novo.fdb").ShowSaveDialog("/dados", "b_NOVO.FDB", FileFilter::Firebird),
              "/alvo/novo.fdb");
    EXPECT_EQ(Port(false, false, "novo").ShowSaveDialog("/dados", "b_NOVO.FDB", FileFilter::Interbase),
              "/work/dir/novo");
    EXPECT_EQ(Port(false, false, "../x/novo.fdb").ShowSaveDialog("/dados", "b_NOVO.FDB", FileFilter::Firebird),
              "/work/dir/../x/novo.fdb");
}

TEST_F(TerminalPort, AnExistingNewFileIsReplacedOnlyAfterAYes) {
    const std::string existing = dir.MakeFile("banco_NOVO.FDB");
    const std::string question = "Pergunta: O arquivo " + existing + " já existe.\nDeseja substituí-lo? [y/N] ";

    auto& noTerminal = Port(false, false, existing);
    EXPECT_EQ(noTerminal.ShowSaveDialog("/dados", "x", FileFilter::Firebird), std::nullopt);
    EXPECT_TRUE(noTerminal.outcome().stoppedWithoutTerminal);
    EXPECT_FALSE(noTerminal.outcome().newFileChosen);
    EXPECT_TRUE(err.str().starts_with(question)) << err.str();

    in.str("n\n");
    auto& declined = Port(false, true);
    EXPECT_EQ(declined.ShowSaveDialog(dir.Path().string(), "banco_NOVO.FDB", FileFilter::Firebird), std::nullopt);
    EXPECT_FALSE(declined.outcome().newFileChosen);

    err.str("");
    auto& yes = Port(true, false, existing);
    EXPECT_EQ(yes.ShowSaveDialog("/dados", "x", FileFilter::Firebird), existing);
    EXPECT_EQ(err.str(), question + "y\nInforme o novo arquivo a ser gerado: " + existing + "\n");
    EXPECT_TRUE(yes.outcome().newFileChosen);
}

TEST_F(TerminalPort, InputsStartEmptyWithTheDefaultBoxTickedAndKeepWhatIsSet) {
    auto& port = Port();
    EXPECT_TRUE(port.CheckBoxChecked());
    EXPECT_EQ(port.EditText(UiEdit::LblEditBancodeDados), "");
    port.SetEditText(UiEdit::LblEditBancodeDados, " /d/b.fdb");
    port.SetEditText(UiEdit::MskEdtSenhaBD, "s");
    port.SetCheckBoxChecked(false);
    EXPECT_EQ(port.EditText(UiEdit::LblEditBancodeDados), " /d/b.fdb");
    EXPECT_EQ(port.EditText(UiEdit::MskEdtSenhaBD), "s");
    EXPECT_EQ(port.EditText(UiEdit::LblEdtUsuarioBD), "");
    EXPECT_FALSE(port.CheckBoxChecked());
}

TEST_F(TerminalPort, StatusTextIsKeptForPrintingAndNothingIsShown) {
    auto& port = Port();
    port.SetStatusColor(Rgb{255, 0, 0});
    port.SetStatusText("Parado ou não instalado!");
    EXPECT_EQ(port.statusText(), "Parado ou não instalado!");
    EXPECT_EQ(out.str() + err.str(), "");
}

TEST_F(TerminalPort, FilesAreTheRealOnes) {
    auto& port = Port();
    const std::string file = dir.MakeFile("banco.fdb");
    EXPECT_TRUE(port.FileExists(file));
    EXPECT_FALSE(port.FileExists(dir.Path().string()));
    EXPECT_TRUE(port.RemoveFile(file));
    EXPECT_FALSE(port.FileExists(file));
    EXPECT_FALSE(port.RemoveFile(file));
}

// ---- the status line while the server is silent ---------------------------------------------

TEST(ServerSilenceText, NamesThePhaseAndTheElapsedMinutesAndSeconds) {
    using std::chrono::milliseconds;
    const struct {
        ServerPhase phase;
        milliseconds elapsed;
        const char* text;
    } cases[] = {
        {ServerPhase::Connection, milliseconds(1000), "Conexão: aguardando o servidor... 00:01"},
        {ServerPhase::Validation, milliseconds(61999), "Validação: aguardando o servidor... 01:01"},
        {ServerPhase::Sweep, milliseconds(30500), "Varredura: aguardando o servidor... 00:30"},
        {ServerPhase::Mend, milliseconds(2000), "Correção: aguardando o servidor... 00:02"},
        {ServerPhase::Backup, milliseconds(600000), "Backup: aguardando o servidor... 10:00"},
        {ServerPhase::Restore, milliseconds(6000000), "Restauração: aguardando o servidor... 100:00"},
        {ServerPhase::ReadCheck, milliseconds(3000), "Leitura completa: aguardando o servidor... 00:03"},
        {ServerPhase::Copy, milliseconds(3000), "Cópia de trabalho: aguardando o servidor... 00:03"},
        {ServerPhase::Pump, milliseconds(75000), "Leitura das tabelas: aguardando o servidor... 01:15"},
    };
    for (const auto& c : cases) EXPECT_EQ(ServerSilenceText(c.phase, c.elapsed), c.text);
}

class StatusLine : public ::testing::Test {
protected:
    TerminalUiPort& Port(bool onTerminal) {
        port_.emplace(TerminalIo{out, err, in, false, onTerminal}, true, std::nullopt, "/work/dir");
        return *port_;
    }
    std::ostringstream out;
    std::ostringstream err;
    std::istringstream in;

private:
    std::optional<TerminalUiPort> port_;
};

TEST_F(StatusLine, OnATerminalItIsRewrittenInPlaceAndErasedBeforeTheNextLogLine) {
    auto& port = Port(true);
    port.ShowServerSilence(ServerPhase::Sweep, std::chrono::seconds(1));
    port.ShowServerSilence(ServerPhase::Sweep, std::chrono::seconds(2));
    port.AppendLog("linha do servidor");
    port.AppendLog("outra");
    EXPECT_EQ(err.str(),
              "\rVarredura: aguardando o servidor... 00:01\x1b[K"
              "\rVarredura: aguardando o servidor... 00:02\x1b[K"
              "\r\x1b[K");
    EXPECT_EQ(out.str(), "linha do servidor\noutra\n") << "the log stays what the server sent";
}

TEST_F(StatusLine, ItIsErasedWhenTheCallEndsAndBeforeABoxOrAQuestion) {
    const struct {
        const char* what;
        std::function<void(TerminalUiPort&)> next;
        std::string errAfterErase;
    } cases[] = {
        {"the call ended", [](TerminalUiPort& port) { port.EndServerSilence(); }, ""},
        {"an error box", [](TerminalUiPort& port) { port.ShowMessageBox("falhou", "Erro!", MessageKind::Error); },
         "Erro!: falhou\n"},
        {"a question", [](TerminalUiPort& port) { port.ShowMessageBox("Sair?", "Pergunta", MessageKind::Confirmation); },
         "Pergunta: Sair? [y/N] y\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        err.str("");
        auto& port = Port(true);
        port.ShowServerSilence(ServerPhase::Backup, std::chrono::seconds(3));
        c.next(port);
        port.EndServerSilence();  // nothing left to erase
        EXPECT_EQ(err.str(), "\rBackup: aguardando o servidor... 00:03\x1b[K\r\x1b[K" + c.errAfterErase);
    }
}

TEST_F(StatusLine, NeverOnAPipeOrAFile) {
    auto& port = Port(false);
    port.ShowServerSilence(ServerPhase::Restore, std::chrono::seconds(5));
    port.AppendLog("gbak: finishing");
    port.EndServerSilence();
    EXPECT_EQ(err.str(), "");
    EXPECT_EQ(out.str(), "gbak: finishing\n");
}

}  // namespace
}  // namespace tovanel::cli
