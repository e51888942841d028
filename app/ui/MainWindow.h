#pragma once
// The main window in Qt: its widgets, menu, actions, dialogs and timer, and the UI port that the
// console's logic (TFrmPrincipal, owned here) drives. Every event the window receives reaches the
// logic through the logic's failure guard, so no exception ever crosses Qt's event loop.

#include <QElapsedTimer>
#include <QMainWindow>
#include <memory>

#include "UFrmPrincipal.h"
#include "UiPort.h"

class QAction;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTimer;
class QToolButton;

namespace tovanel {

class TMainWindow : public QMainWindow, public UiPort {
public:
    // Builds the window and runs FormCreate; the window is then ready to be shown. A failure of
    // either is not caught here: start-up reports it and ends.
    explicit TMainWindow(QWidget* parent = nullptr);
    ~TMainWindow() override;

    TFrmPrincipal& Logic() { return *frm_; }

    static constexpr int kClientWidth = 531;
    static constexpr int kClientHeight = 475;

    // ---- UiPort ---------------------------------------------------------------------------
    void AppendLog(const std::string& line) override;
    void ClearLog() override;
    int ShowMessageBox(const std::string& text, const std::string& title, MessageKind kind) override;
    void SetBusyCursor(bool busy) override;
    void SetInputGroupEnabled(bool enabled) override;
    void SetMainMenuEnabled(bool enabled) override;
    void SetOpenDialogInitialDir(const std::string& directory) override;
    void SetSaveDialogInitialDir(const std::string& directory) override;
    std::optional<std::string> ShowOpenDialog() override;
    std::optional<std::string> ShowSaveDialog(const std::string& initialDir,
                                              const std::string& proposedName,
                                              FileFilter preselected) override;
    void ProcessPendingEvents() override;
    void ProcessPendingEventsHoldingInput() override;
    std::string EditText(UiEdit edit) const override;
    void SetEditText(UiEdit edit, const std::string& text) override;
    bool CheckBoxChecked() const override;
    void SetCheckBoxChecked(bool checked) override;
    void SetStatusColor(Rgb color) override;
    void SetStatusText(const std::string& text) override;
    void ShowAboutBox(TFrmSobre& box) override;
    bool ShellOpen(const std::string& url) override;
    std::string ExecutablePath() const override;
    bool FileExists(const std::string& path) const override;
    bool RemoveFile(const std::string& path) override;
    void RequestClose() override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    using Handler = void (TFrmPrincipal::*)();

    void BuildInputGroup(QWidget* central);
    void BuildOptionsGroup(QWidget* central);
    void BuildLog(QWidget* central);
    void BuildActions();
    void BuildMenu();
    void CentreOnScreen();
    void HoldLogPaintingToFrame();
    QAction* MakeAction(const char* name, const char* caption, const char* tooltip, int image,
                        Handler handler);
    void RunGuarded(Handler handler);
    QLineEdit* Edit(UiEdit edit) const;

    std::unique_ptr<TFrmPrincipal> frm_;

    QGroupBox* grpBxDadosServidor_ = nullptr;
    QLineEdit* lblEditBancodeDados_ = nullptr;
    QToolButton* spdBttnAbrirArquivo_ = nullptr;
    QLineEdit* lblEdtUsuarioBD_ = nullptr;
    QLineEdit* mskEdtSenhaBD_ = nullptr;
    QCheckBox* chckBxUsuarioSenhaPadrao_ = nullptr;
    QLabel* lblStatusFBServer_ = nullptr;
    QPlainTextEdit* memoProgresso_ = nullptr;

    QAction* actnAbrirBanco_ = nullptr;
    QAction* actnTestaConexao_ = nullptr;
    QAction* actnVerificarBanco_ = nullptr;
    QAction* actnReparabanco_ = nullptr;
    QAction* actnResgate_ = nullptr;
    QAction* actnSair_ = nullptr;
    QAction* actnSobre_ = nullptr;

    QTimer* timer_ = nullptr;

    // The log paints at most once a frame while lines stream in (HoldLogPaintingToFrame).
    static constexpr int kLogFrameMs = 16;
    QTimer* logFrameEnd_ = nullptr;
    QElapsedTimer logPainted_;
    bool logHeld_ = false;
    bool centred_ = false;
    QString openDialogDir_;
    QString saveDialogDir_;
};

}  // namespace tovanel
