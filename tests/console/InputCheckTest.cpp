// The input check and the guard that opens each of the three job commands.

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include <filesystem>
#include <functional>

#include "ConsoleTexts.h"
#include "FakeUiPort.h"
#include "TempDir.h"
#include "TextTrim.h"
#include "UFrmPrincipal.h"

namespace tovanel::testing {
namespace {

const std::string P = "* Caminho do banco de dados não informado!\r";
const std::string U = "* Usuario do banco de dados não informado!";
const std::string S = "* Senha do banco de dados não informada!";

struct Missing {
    const char* name;
    bool path;
    bool user;
    bool password;
    std::string expected;
};

void PrintTo(const Missing& value, std::ostream* out) {
    *out << value.name;
}

class InputCheckCombinations : public ::testing::TestWithParam<Missing> {};

TEST_P(InputCheckCombinations, JoinsEveryComplaintInOrderWithItsLineBreaks) {
    const Missing& m = GetParam();
    FakeUiPort ui;
    TFrmPrincipal frm(ui);
    ui.databasePath = m.path ? "" : "/dados/banco.fdb";
    ui.user = m.user ? "" : "SYSDBA";
    ui.password = m.password ? "" : "x";

    const TErroServidor result = frm.DadosServidorInseridos();

    EXPECT_EQ(result.ExisteErro, m.path || m.user || m.password);
    EXPECT_EQ(result.Erro, m.expected);
    EXPECT_TRUE(ui.calls.empty()) << "the check changes nothing";
}

INSTANTIATE_TEST_SUITE_P(
    AllEight, InputCheckCombinations,
    ::testing::Values(Missing{"none", false, false, false, ""},
                      Missing{"path", true, false, false, P},
                      Missing{"user", false, true, false, U + "\r"},
                      Missing{"password", false, false, true, S},
                      Missing{"path_user", true, true, false, P + U + "\r"},
                      Missing{"path_password", true, false, true, P + S},
                      Missing{"user_password", false, true, true, U + "\r" + S},
                      Missing{"all", true, true, true, P + U + "\r" + S}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(InputCheckTexts, AllThreeMissingIsThreeLinesSeparatedByLoneCarriageReturns) {
    FakeUiPort ui;
    TFrmPrincipal frm(ui);
    ui.user.clear();
    ui.password.clear();
    EXPECT_EQ(frm.DadosServidorInseridos().Erro,
              "* Caminho do banco de dados não informado!\r"
              "* Usuario do banco de dados não informado!\r"
              "* Senha do banco de dados não informada!");
}

struct TrimCase {
    const char* name;
    std::string text;
    std::string trimmed;
};

void PrintTo(const TrimCase& value, std::ostream* out) {
    *out << value.name;
}

class TrimLowCodesCases : public ::testing::TestWithParam<TrimCase> {};

TEST_P(TrimLowCodesCases, RemovesCodes32AndBelowFromBothEndsOnly) {
    EXPECT_EQ(TrimLowCodes(GetParam().text), GetParam().trimmed);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TrimLowCodesCases,
    ::testing::Values(
        TrimCase{"empty", "", ""}, TrimCase{"spaces", "   ", ""},
        TrimCase{"controls", std::string("\t\r\n\x01\x1f\x0b", 6), ""},
        TrimCase{"nul", std::string("\0a\0", 3), "a"},
        TrimCase{"inner_kept", "  a b\tc  ", "a b\tc"},
        TrimCase{"del_kept", "\x7f", "\x7f"},
        TrimCase{"nbsp_kept", "\xc2\xa0", "\xc2\xa0"},  // U+00A0
        TrimCase{"ideographic_space_kept", "\xe3\x80\x80", "\xe3\x80\x80"},  // U+3000
        TrimCase{"accented_kept", " ção ", "ção"}),
    [](const auto& info) { return std::string(info.param.name); });

struct BlankInput {
    const char* name;
    UiEdit edit;
    std::string text;
    bool missing;
};

void PrintTo(const BlankInput& value, std::ostream* out) {
    *out << value.name;
}

class BlankInputs : public ::testing::TestWithParam<BlankInput> {};

TEST_P(BlankInputs, OnlyLowCodesCountAsMissing) {
    FakeUiPort ui;
    TFrmPrincipal frm(ui);
    ui.databasePath = "/dados/banco.fdb";
    ui.user = "SYSDBA";
    ui.password = "x";
    ui.SetEditText(GetParam().edit, GetParam().text);
    EXPECT_EQ(frm.DadosServidorInseridos().ExisteErro, GetParam().missing);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BlankInputs,
    ::testing::Values(BlankInput{"path_of_spaces", UiEdit::LblEditBancodeDados, "    ", true},
                      BlankInput{"path_leading_space", UiEdit::LblEditBancodeDados, " /a.fdb", false},
                      BlankInput{"user_tab", UiEdit::LblEdtUsuarioBD, "\t", true},
                      BlankInput{"user_nbsp", UiEdit::LblEdtUsuarioBD, "\xc2\xa0", false},
                      BlankInput{"password_one_space", UiEdit::MskEdtSenhaBD, " ", true},
                      BlankInput{"password_padded", UiEdit::MskEdtSenhaBD, " pw ", false},
                      BlankInput{"password_del", UiEdit::MskEdtSenhaBD, "\x7f", false}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- the job guard ---------------------------------------------------------------------------

struct JobCommand {
    const char* name;
    void (TFrmPrincipal::*run)();
};

void PrintTo(const JobCommand& value, std::ostream* out) {
    *out << value.name;
}

const JobCommand kJobCommands[] = {
    {"TestaConexao", &TFrmPrincipal::ActnTestaConexaoExecute},
    {"VerificarBanco", &TFrmPrincipal::ActnVerificarBancoExecute},
    {"Reparabanco", &TFrmPrincipal::ActnReparabancoExecute},
};

class JobGuard : public ::testing::TestWithParam<JobCommand> {
protected:
    JobGuard() {
        frm.FormCreate();  // user and password hold the defaults
        ui.calls.clear();
    }
    void Run() { (frm.*GetParam().run)(); }

    TempDir dir;
    FakeUiPort ui;
    TFrmPrincipal frm{ui};
};

TEST_P(JobGuard, WhileAJobRunsTheCommandDoesNothingEvenWithEmptyInputs) {
    frm.Executando = true;
    ui.databasePath.clear();
    ui.user.clear();
    ui.password.clear();
    Run();
    EXPECT_TRUE(ui.calls.empty());
    EXPECT_TRUE(ui.fileExistsAsked.empty());
    EXPECT_TRUE(frm.Executando);
}

TEST_P(JobGuard, MissingInputsGiveOneErrorBoxAndTheFileIsNotLookedFor) {
    ui.user = "SYSDBA";
    ui.password.clear();
    ui.databasePath.clear();
    Run();
    ASSERT_EQ(ui.messageBoxes.size(), 1u);
    EXPECT_EQ(ui.messageBoxes[0].text, P + S);
    EXPECT_EQ(ui.messageBoxes[0].title, "Erro");
    EXPECT_EQ(ui.messageBoxes[0].kind, MessageKind::Error);
    EXPECT_TRUE(ui.fileExistsAsked.empty());
    EXPECT_TRUE(ui.log.empty());
}

TEST_P(JobGuard, AMissingFileGivesTheNotFoundBoxAfterTheInputsPassed) {
    ui.databasePath = (dir.Path() / "nao-existe.fdb").string();
    ui.user = "SYSDBA";
    ui.password = "ravenpike";
    Run();
    ASSERT_EQ(ui.messageBoxes.size(), 1u);
    EXPECT_EQ(ui.messageBoxes[0].text, kNotFound);
    EXPECT_EQ(ui.messageBoxes[0].title, "Erro");
    EXPECT_EQ(ui.messageBoxes[0].kind, MessageKind::Error);
    EXPECT_EQ(ui.fileExistsAsked, std::vector<std::string>{ui.databasePath});
    EXPECT_TRUE(ui.log.empty());
    EXPECT_TRUE(ui.inputGroupEnabled);
    EXPECT_TRUE(ui.mainMenuEnabled);
    EXPECT_FALSE(ui.busyCursor);
}

TEST_P(JobGuard, ADirectoryIsNotADatabaseFile) {
    ui.databasePath = dir.Path().string();
    Run();
    ASSERT_EQ(ui.messageBoxes.size(), 1u);
    EXPECT_EQ(ui.messageBoxes[0].text, kNotFound);
}

TEST_P(JobGuard, APathWithALeadingSpaceIsLookedForWithTheSpace) {
    const std::string file = dir.MakeFile("banco.fdb");
    ui.databasePath = " " + file;  // passes the input check, names no file
    Run();
    EXPECT_EQ(ui.fileExistsAsked, std::vector<std::string>{" " + file});
    ASSERT_EQ(ui.messageBoxes.size(), 1u);
    EXPECT_EQ(ui.messageBoxes[0].text, kNotFound);
}

INSTANTIATE_TEST_SUITE_P(Commands, JobGuard, ::testing::ValuesIn(kJobCommands),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(VerificationCommand, ClearsEncontrouErroFirstEvenWhenItThenDoesNothing) {
    FakeUiPort ui;
    TFrmPrincipal frm(ui);
    frm.EncontrouErro = true;
    frm.Executando = true;
    frm.ActnVerificarBancoExecute();
    EXPECT_FALSE(frm.EncontrouErro);

    frm.EncontrouErro = true;
    frm.Executando = false;
    ui.password.clear();  // stops at the input check
    frm.ActnVerificarBancoExecute();
    EXPECT_FALSE(frm.EncontrouErro);
}

// What lets the guard through: a regular file by its exact path, reached directly, through a
// link, or while another process holds it open and locked.
class GuardPasses : public ::testing::Test {
protected:
    bool GuardWith(const std::string& path) {
        ui.databasePath = path;
        ui.user = "SYSDBA";
        ui.password = "ravenpike";
        const bool passed = frm.JobGuardPasses();
        EXPECT_EQ(passed, ui.messageBoxes.empty());
        return passed;
    }

    TempDir dir;
    FakeUiPort ui;
    TFrmPrincipal frm{ui};
};

TEST_F(GuardPasses, ARegularFile) {
    EXPECT_TRUE(GuardWith(dir.MakeFile("banco.fdb")));
}

TEST_F(GuardPasses, ARegularFileWithSpacesInItsName) {
    EXPECT_TRUE(GuardWith(dir.MakeFile(" banco com espaço.fdb ")));
}

TEST_F(GuardPasses, ASymbolicLinkToARegularFile) {
    const std::string target = dir.MakeFile("banco.fdb");
    const auto link = dir.Path() / "atalho.fdb";
    std::filesystem::create_symlink(target, link);
    EXPECT_TRUE(GuardWith(link.string()));
}

TEST_F(GuardPasses, AFileHeldOpenAndLockedByAnotherProcess) {
    const std::string file = dir.MakeFile("banco.fdb");
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const int fd = ::open(file.c_str(), O_RDWR);
        ::flock(fd, LOCK_EX);
        struct flock whole {};
        whole.l_type = F_WRLCK;
        whole.l_whence = SEEK_SET;
        ::fcntl(fd, F_SETLK, &whole);
        ::chmod(file.c_str(), 0);  // and no one else may even read it
        (void)::write(ready[1], "x", 1);
        ::pause();
        ::_exit(0);
    }
    char signal = 0;
    ASSERT_EQ(::read(ready[0], &signal, 1), 1);
    EXPECT_TRUE(GuardWith(file));
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    ::close(ready[0]);
    ::close(ready[1]);
}

TEST_F(GuardPasses, NotADanglingSymbolicLink) {
    const auto link = dir.Path() / "quebrado.fdb";
    std::filesystem::create_symlink(dir.Path() / "sumiu.fdb", link);
    EXPECT_FALSE(GuardWith(link.string()));
    EXPECT_EQ(ui.messageBoxes.at(0).text, kNotFound);
}

TEST_F(GuardPasses, NotASymbolicLinkToADirectory) {
    const auto link = dir.Path() / "pasta.fdb";
    std::filesystem::create_directory(dir.Path() / "pasta");
    std::filesystem::create_directory_symlink(dir.Path() / "pasta", link);
    EXPECT_FALSE(GuardWith(link.string()));
}

}  // namespace
}  // namespace tovanel::testing
