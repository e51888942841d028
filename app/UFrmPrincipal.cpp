#include "UFrmPrincipal.h"

#include <memory>

#include "PlatformFiles.h"
#include "TextTrim.h"
#include "UFrmSobre.h"

namespace tovanel {

namespace {

constexpr const char* kDefaultUser = "SYSDBA";
constexpr const char* kDefaultPassword = "ravenpike";

constexpr const char* kMissingPath = "* Caminho do banco de dados não informado!\r";
constexpr const char* kMissingUser = "* Usuario do banco de dados não informado!";
constexpr const char* kMissingPassword = "* Senha do banco de dados não informada!";
constexpr const char* kDatabaseNotFound = "Banco de dados não encontrato!";
constexpr const char* kConfirmExit = "Deseja sair do sistema?";

}  // namespace

TFrmPrincipal::TFrmPrincipal(UiPort& port) : port_(port) {
    ApplyStoredSettings();
}

void TFrmPrincipal::FormCreate() {
    DiretorioAplicativo = DirectoryWithSeparator(port_.ExecutablePath());
    port_.SetOpenDialogInitialDir(DiretorioAplicativo);
    port_.SetSaveDialogInitialDir(DiretorioAplicativo);
    EncontrouErro = false;
    ChckBxUsuarioSenhaPadraoClick();
}

void TFrmPrincipal::ChckBxUsuarioSenhaPadraoClick() {
    if (!port_.CheckBoxChecked()) return;  // unticking leaves the edits as they are
    port_.SetEditText(UiEdit::LblEdtUsuarioBD, kDefaultUser);
    port_.SetEditText(UiEdit::MskEdtSenhaBD, kDefaultPassword);
}

void TFrmPrincipal::TeclaPressinadaEditUserSenha() {
    port_.SetCheckBoxChecked(false);
}

void TFrmPrincipal::ActnAbrirBancoExecute() {
    if (JobRunning()) return;
    if (auto chosen = port_.ShowOpenDialog())
        port_.SetEditText(UiEdit::LblEditBancodeDados, *chosen);
}

void TFrmPrincipal::ActnSairExecute() {
    port_.RequestClose();
}

void TFrmPrincipal::ActnSobreExecute() {
    // A fresh box each time, destroyed when it returns, also when showing it failed.
    auto box = std::make_unique<TFrmSobre>(port_);
    port_.ShowAboutBox(*box);
}

void TFrmPrincipal::FormCloseQuery(bool& CanClose) {
    if (JobRunning()) {
        CanClose = false;
        return;
    }
    CanClose = port_.ShowMessageBox(kConfirmExit, kQuestionTitle, MessageKind::Confirmation) ==
               kButtonYes;
}

// The three jobs, the status monitor and the failure presentation are in UFrmPrincipalJobs.cpp.

TErroServidor TFrmPrincipal::DadosServidorInseridos() const {
    TErroServidor result;
    std::string text;
    if (IsBlankAfterTrim(port_.EditText(UiEdit::LblEditBancodeDados))) {
        result.ExisteErro = true;
        text = kMissingPath;
    }
    if (IsBlankAfterTrim(port_.EditText(UiEdit::LblEdtUsuarioBD))) {
        result.ExisteErro = true;
        text += kMissingUser;
        text += "\r";
    }
    if (IsBlankAfterTrim(port_.EditText(UiEdit::MskEdtSenhaBD))) {
        result.ExisteErro = true;
        text += kMissingPassword;
    }
    result.Erro = text;
    return result;
}

bool TFrmPrincipal::JobGuardPasses() {
    if (JobRunning()) return false;
    const TErroServidor check = DadosServidorInseridos();
    if (check.ExisteErro) {
        port_.ShowMessageBox(check.Erro, kErrorTitle, MessageKind::Error);
        return false;
    }
    // The path exactly as typed: a leading space is part of the name.
    if (!port_.FileExists(port_.EditText(UiEdit::LblEditBancodeDados))) {
        port_.ShowMessageBox(kDatabaseNotFound, kErrorTitle, MessageKind::Error);
        return false;
    }
    return true;
}

void TFrmPrincipal::ReportUnknownFailure() noexcept {
    try {
        AppictinEvntsException(std::runtime_error(kUnknownFailureText));
    } catch (...) {
    }
}

}  // namespace tovanel
