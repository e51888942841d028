#include "MainWindow.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QStyle>
#include <QToolButton>
#include <QUrl>
#include <QValidator>

#include "AboutBox.h"
#include "PlatformFiles.h"
#include "QtMessageBox.h"
#include "UFrmSobre.h"
#include "WindowFonts.h"

namespace tovanel {

namespace {

QString Q(const char* utf8) {
    return QString::fromUtf8(utf8);
}

// The user edit holds upper-case text only: every letter typed or pasted is turned upper-case.
class UpperCaseValidator : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int& pos) const override {
        const qsizetype before = input.size();
        input = input.toUpper();
        pos = static_cast<int>(qBound<qsizetype>(0, pos + (input.size() - before), input.size()));
        return Acceptable;
    }
};

// Block geometry, measured from the top of the client area (the central widget).
constexpr int kBlockLeft = 13;
constexpr int kBlockWidth = 505;
constexpr QRect kInputGroupRect{kBlockLeft, 8, kBlockWidth, 153};
constexpr QRect kOptionsGroupRect{kBlockLeft, 167, kBlockWidth, 66};
constexpr QRect kLogRect{kBlockLeft, 248, kBlockWidth, 192};
constexpr QSize kCommandButtonSize{110, 25};

const QStringList kDatabaseFilters{QStringLiteral("Firebird (*.FDB)"),
                                   QStringLiteral("Interbase (*.GDB)")};
const QString kDefaultSuffix = QStringLiteral("FDB");

QLabel* MakeLabel(const char* text, QWidget* parent, QPoint at) {
    auto* label = new QLabel(Q(text), parent);
    label->setFont(WindowDefaultFont());
    label->adjustSize();
    label->move(at);
    return label;
}

// Hint texts stay out of sight: an accessible description, not a tooltip or a placeholder.
QLineEdit* MakeEdit(const char* name, const char* hint, QWidget* parent, QRect geometry) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(Q(name));
    edit->setFont(WindowDefaultFont());
    edit->setAccessibleDescription(Q(hint));
    edit->setGeometry(geometry);
    return edit;
}

void PrepareFileDialog(QFileDialog& dialog) {
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    // The filter list shows its two names; the patterns match without regard to case.
    dialog.setOption(QFileDialog::HideNameFilterDetails, true);
    dialog.setNameFilters(kDatabaseFilters);
    dialog.setDefaultSuffix(kDefaultSuffix);
    dialog.setSizeGripEnabled(true);
}

std::optional<std::string> ChosenPath(QFileDialog& dialog) {
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty()) return std::nullopt;
    return chosen.first().toStdString();
}

}  // namespace

TMainWindow::TMainWindow(QWidget* parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("FrmPrincipal"));
    setWindowTitle(Q("Tovanel 1.0-3 - Reparador de banco de dados Interbase/Firebird"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                   Qt::CustomizeWindowHint);
    setFont(WindowDefaultFont());

    auto* central = new QWidget(this);
    central->setObjectName(QStringLiteral("ClientArea"));
    central->setFixedSize(kClientWidth, kClientHeight);
    setCentralWidget(central);

    BuildInputGroup(central);
    BuildOptionsGroup(central);
    BuildLog(central);
    BuildActions();
    BuildMenu();

    // The window's size is the client area plus the menu bar, and stays so.
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    adjustSize();

    frm_ = std::make_unique<TFrmPrincipal>(*this);

    timer_ = new QTimer(this);
    timer_->setObjectName(QStringLiteral("Timer"));
    timer_->setInterval(1000);
    connect(timer_, &QTimer::timeout, this, [this] { RunGuarded(&TFrmPrincipal::TimerTimer); });
    timer_->start();

    frm_->FormCreate();
}

TMainWindow::~TMainWindow() {
    timer_->stop();
    logFrameEnd_->stop();
    lblEdtUsuarioBD_->removeEventFilter(this);
    mskEdtSenhaBD_->removeEventFilter(this);
}

void TMainWindow::BuildInputGroup(QWidget* central) {
    grpBxDadosServidor_ = new QGroupBox(Q("[ Dados do servidor ]"), central);
    grpBxDadosServidor_->setObjectName(QStringLiteral("GrpBxDadosServidor"));
    grpBxDadosServidor_->setFont(BoldArialFont());
    grpBxDadosServidor_->setGeometry(kInputGroupRect);
    QWidget* group = grpBxDadosServidor_;

    MakeLabel("Caminho do banco de dados", group, {12, 20});
    lblEditBancodeDados_ = MakeEdit("LblEditBancodeDados", "Informe o caminho do banco de dados",
                                    group, {12, 36, 447, 21});

    spdBttnAbrirArquivo_ = new QToolButton(group);
    spdBttnAbrirArquivo_->setObjectName(QStringLiteral("SpdBttnAbrirArquivo"));
    spdBttnAbrirArquivo_->setGeometry(465, 34, 24, 24);
    spdBttnAbrirArquivo_->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
    spdBttnAbrirArquivo_->setAutoRaise(true);
    spdBttnAbrirArquivo_->setCursor(Qt::PointingHandCursor);
    spdBttnAbrirArquivo_->setToolTip(Q("Abre um banco de dados"));
    connect(spdBttnAbrirArquivo_, &QToolButton::clicked, this,
            [this] { RunGuarded(&TFrmPrincipal::ActnAbrirBancoExecute); });

    MakeLabel("Usuário", group, {12, 66});
    lblEdtUsuarioBD_ = MakeEdit("LblEdtUsuarioBD", "Informe o nome do usuário do banco de dados",
                                group, {12, 82, 130, 21});
    lblEdtUsuarioBD_->setValidator(new UpperCaseValidator(lblEdtUsuarioBD_));

    MakeLabel("Senha", group, {154, 66})->setObjectName(QStringLiteral("Label2"));
    mskEdtSenhaBD_ = MakeEdit("MskEdtSenhaBD", "Informe a senha do usuário do banco de dados",
                              group, {154, 82, 130, 21});
    mskEdtSenhaBD_->setEchoMode(QLineEdit::Password);
    // One "*" per character, whatever the style would draw.
    mskEdtSenhaBD_->setStyleSheet(QStringLiteral("QLineEdit { lineedit-password-character: 42; }"));

    for (QLineEdit* edit : {lblEdtUsuarioBD_, mskEdtSenhaBD_}) edit->installEventFilter(this);

    chckBxUsuarioSenhaPadrao_ = new QCheckBox(Q("Utilizar usuário e senha padrão"), group);
    chckBxUsuarioSenhaPadrao_->setObjectName(QStringLiteral("ChckBxUsuarioSenhaPadrao"));
    chckBxUsuarioSenhaPadrao_->setFont(WindowDefaultFont());
    chckBxUsuarioSenhaPadrao_->setChecked(true);
    chckBxUsuarioSenhaPadrao_->adjustSize();
    chckBxUsuarioSenhaPadrao_->move(296, 84);
    connect(chckBxUsuarioSenhaPadrao_, &QCheckBox::clicked, this,
            [this] { RunGuarded(&TFrmPrincipal::ChckBxUsuarioSenhaPadraoClick); });

    QLabel* label1 = MakeLabel("Status Firebird:", group, {12, 124});
    label1->setObjectName(QStringLiteral("Label1"));
    lblStatusFBServer_ = new QLabel(group);
    lblStatusFBServer_->setObjectName(QStringLiteral("LblStatusFBServer"));
    lblStatusFBServer_->setFont(BoldArialFont());
    lblStatusFBServer_->setGeometry(label1->geometry().right() + 6, 122, 300, 17);
}

void TMainWindow::BuildOptionsGroup(QWidget* central) {
    auto* group = new QGroupBox(Q("[ Opções ]"), central);
    group->setObjectName(QStringLiteral("GroupBox1"));
    group->setFont(BoldArialFont());
    group->setGeometry(kOptionsGroupRect);
    // Buttons are added once the actions exist (BuildActions).
}

void TMainWindow::BuildLog(QWidget* central) {
    memoProgresso_ = new QPlainTextEdit(central);
    memoProgresso_->setObjectName(QStringLiteral("MemoProgresso"));
    memoProgresso_->setGeometry(kLogRect);
    memoProgresso_->setReadOnly(true);
    memoProgresso_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // The server's text is Latin: laid out without shaping (no ligatures or kerning, as in a
    // plain memo) a line costs half as much to append.
    QFont font = LogFont();
    font.setStyleStrategy(QFont::PreferNoShaping);
    memoProgresso_->setFont(font);
    // Nothing to undo in a read-only log; an undo stack would hold a second copy of every line.
    memoProgresso_->setUndoRedoEnabled(false);
    logFrameEnd_ = new QTimer(this);
    logFrameEnd_->setSingleShot(true);
    logFrameEnd_->setInterval(kLogFrameMs);
    connect(logFrameEnd_, &QTimer::timeout, this, [this] {
        memoProgresso_->setUpdatesEnabled(true);
        logHeld_ = false;
        logPainted_.start();
    });
    QPalette colours = memoProgresso_->palette();
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        colours.setColor(group, QPalette::Base, Qt::black);
        colours.setColor(group, QPalette::Text, QColor(192, 192, 192));  // silver
    }
    memoProgresso_->setPalette(colours);
}

QAction* TMainWindow::MakeAction(const char* name, const char* caption, const char* tooltip,
                                 int image, Handler handler) {
    // The menu images, in image-list order.
    static constexpr QStyle::StandardPixmap kImages[] = {
        QStyle::SP_DialogOpenButton, QStyle::SP_DriveNetIcon, QStyle::SP_FileDialogContentsView,
        QStyle::SP_BrowserReload, QStyle::SP_DialogCloseButton};
    auto* action = new QAction(Q(caption), this);
    action->setObjectName(Q(name));
    if (tooltip) action->setToolTip(Q(tooltip));
    if (image >= 0) action->setIcon(style()->standardIcon(kImages[image]));
    connect(action, &QAction::triggered, this, [this, handler] { RunGuarded(handler); });
    return action;
}

void TMainWindow::BuildActions() {
    actnAbrirBanco_ = MakeAction("ActnAbrirBanco", "&Abrir", "Abre um banco de dados", 0,
                                 &TFrmPrincipal::ActnAbrirBancoExecute);
    actnTestaConexao_ = MakeAction("ActnTestaConexao", "&Teste conexão",
                                   "Executa o teste de conexão do banco de dados", 1,
                                   &TFrmPrincipal::ActnTestaConexaoExecute);
    actnVerificarBanco_ = MakeAction("ActnVerificarBanco", "&Verifica",
                                     "Executa a verificação em busca de erros", 2,
                                     &TFrmPrincipal::ActnVerificarBancoExecute);
    actnReparabanco_ = MakeAction("ActnReparabanco", "&Repara",
                                  "Cria um novo banco de dados corrigindo erros  existentes", 3,
                                  &TFrmPrincipal::ActnReparabancoExecute);
    actnResgate_ = MakeAction("ActnResgate", "Res&gate",
                              "Copia o banco de dados e recupera os registros que o servidor ainda lê", -1,
                              &TFrmPrincipal::ActnResgateExecute);
    actnSair_ = MakeAction("ActnSair", "&Sair", "Sair do sistema", 4,
                           &TFrmPrincipal::ActnSairExecute);
    actnSobre_ = MakeAction("ActnSobre", "Sobre", nullptr, -1, &TFrmPrincipal::ActnSobreExecute);

    auto* options = findChild<QGroupBox*>(QStringLiteral("GroupBox1"));
    const struct {
        const char* name;
        QAction* action;
    } buttons[] = {{"BtBtnTesteConexaoBD", actnTestaConexao_},
                   {"BtBtnVerificaBD", actnVerificarBanco_},
                   {"BtBtnReparaBD", actnReparabanco_},
                   {"BitBtn4", actnSair_}};
    int left = 13;
    for (const auto& [name, action] : buttons) {
        auto* button = new QPushButton(action->text(), options);
        button->setObjectName(Q(name));
        button->setFont(WindowDefaultFont());
        button->setToolTip(action->toolTip());
        button->setGeometry(QRect(QPoint(left, 27), kCommandButtonSize));
        connect(button, &QPushButton::clicked, action, &QAction::trigger);
        left += kCommandButtonSize.width() + 13;
    }
    // The exit button's Alt+S belongs to the menu bar's own "&Sair", which does the same; two
    // owners of one key would leave Qt unable to choose, and the key would do nothing.
    findChild<QPushButton*>(QStringLiteral("BitBtn4"))->setShortcut(QKeySequence());
}

void TMainWindow::BuildMenu() {
    QMenuBar* mnMnu = menuBar();
    mnMnu->setObjectName(QStringLiteral("MnMnu"));
    QMenu* banco = mnMnu->addMenu(Q("&Banco de dados"));
    banco->setObjectName(QStringLiteral("Bancodedados1"));
    banco->addAction(actnAbrirBanco_);
    banco->addSeparator()->setObjectName(QStringLiteral("N1"));
    banco->addAction(actnTestaConexao_);
    banco->addAction(actnVerificarBanco_);
    banco->addAction(actnReparabanco_);
    banco->addAction(actnResgate_);
    mnMnu->addAction(actnSobre_);

    // The menu's own exit entry runs the same handler as ActnSair without being bound to it.
    auto* sair1 = new QAction(Q("&Sair"), this);
    sair1->setObjectName(QStringLiteral("Sair1"));
    sair1->setStatusTip(Q("Sair do sistema"));
    connect(sair1, &QAction::triggered, this, [this] { RunGuarded(&TFrmPrincipal::ActnSairExecute); });
    mnMnu->addAction(sair1);
}

void TMainWindow::showEvent(QShowEvent* event) {
    // Centred when first shown, once the menu bar has its final height.
    if (!centred_) {
        centred_ = true;
        CentreOnScreen();
    }
    QMainWindow::showEvent(event);
}

void TMainWindow::CentreOnScreen() {
    if (const QScreen* screen = this->screen()) {
        const QRect area = screen->availableGeometry();
        QRect frame = frameGeometry();
        frame.moveCenter(area.center());
        move(frame.topLeft());
    }
}

void TMainWindow::RunGuarded(Handler handler) {
    frm_->RunHandler([this, handler] { ((*frm_).*handler)(); });
}

void TMainWindow::closeEvent(QCloseEvent* event) {
    bool canClose = true;
    // A close query that failed counts as a refusal.
    if (!frm_->RunHandler([this, &canClose] { frm_->FormCloseQuery(canClose); })) canClose = false;
    if (canClose)
        event->accept();
    else
        event->ignore();
}

bool TMainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyRelease &&
        (watched == lblEdtUsuarioBD_ || watched == mskEdtSenhaBD_))
        RunGuarded(&TFrmPrincipal::TeclaPressinadaEditUserSenha);
    return QMainWindow::eventFilter(watched, event);
}

QLineEdit* TMainWindow::Edit(UiEdit edit) const {
    switch (edit) {
        case UiEdit::LblEditBancodeDados: return lblEditBancodeDados_;
        case UiEdit::LblEdtUsuarioBD: return lblEdtUsuarioBD_;
        case UiEdit::MskEdtSenhaBD: break;
    }
    return mskEdtSenhaBD_;
}

// ---- UiPort ---------------------------------------------------------------------------------

void TMainWindow::AppendLog(const std::string& line) {
    HoldLogPaintingToFrame();
    memoProgresso_->appendPlainText(QString::fromStdString(line));
}

// The output loops let the window handle its events after every line, and repainting the log
// and its scroll bar costs many times more than appending a line. A line that follows the last
// painted one within a frame therefore waits for the frame's end to be painted, together with
// every line that comes meanwhile; the text is in the log at once, and events are still handled
// after every line.
void TMainWindow::HoldLogPaintingToFrame() {
    if (logHeld_) return;
    if (logPainted_.isValid() && logPainted_.elapsed() < kLogFrameMs) {
        logHeld_ = true;
        memoProgresso_->setUpdatesEnabled(false);
        logFrameEnd_->start();
    } else {
        logPainted_.start();
    }
}

void TMainWindow::ClearLog() {
    memoProgresso_->clear();
}

int TMainWindow::ShowMessageBox(const std::string& text, const std::string& title,
                                MessageKind kind) {
    return ShowQtMessageBox(this, text, title, kind);
}

void TMainWindow::SetBusyCursor(bool busy) {
    // Qt keeps override cursors on a stack; here it is one setting.
    if (busy) {
        if (QApplication::overrideCursor())
            QApplication::changeOverrideCursor(Qt::WaitCursor);
        else
            QApplication::setOverrideCursor(Qt::WaitCursor);
    } else {
        while (QApplication::overrideCursor()) QApplication::restoreOverrideCursor();
    }
}

void TMainWindow::SetInputGroupEnabled(bool enabled) {
    grpBxDadosServidor_->setEnabled(enabled);
}

void TMainWindow::SetMainMenuEnabled(bool enabled) {
    menuBar()->setEnabled(enabled);
}

void TMainWindow::SetOpenDialogInitialDir(const std::string& directory) {
    openDialogDir_ = QString::fromStdString(directory);
}

void TMainWindow::SetSaveDialogInitialDir(const std::string& directory) {
    saveDialogDir_ = QString::fromStdString(directory);
}

std::optional<std::string> TMainWindow::ShowOpenDialog() {
    QFileDialog dialog(this, Q("Escolha um banco de dados"), openDialogDir_);
    dialog.setObjectName(QStringLiteral("FileOpenDlg"));
    PrepareFileDialog(dialog);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    // Like the original dialog, a typed name need not exist yet; the job guard looks for it.
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.selectNameFilter(kDatabaseFilters.first());
    return ChosenPath(dialog);
}

std::optional<std::string> TMainWindow::ShowSaveDialog(const std::string& initialDir,
                                                       const std::string& proposedName,
                                                       FileFilter preselected) {
    saveDialogDir_ = QString::fromStdString(initialDir);
    QFileDialog dialog(this, Q("Informe o novo arquivo a ser gerado"), saveDialogDir_);
    dialog.setObjectName(QStringLiteral("FileSaveDlg"));
    PrepareFileDialog(dialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
    // The filter first: choosing a filter in a save dialog rewrites the extension of the name
    // already in it, and the proposed name must stay as proposed.
    dialog.selectNameFilter(kDatabaseFilters.at(preselected == FileFilter::Firebird ? 0 : 1));
    dialog.selectFile(QString::fromStdString(proposedName));
    return ChosenPath(dialog);
}

void TMainWindow::ProcessPendingEvents() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void TMainWindow::ProcessPendingEventsHoldingInput() {
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

std::string TMainWindow::EditText(UiEdit edit) const {
    return Edit(edit)->text().toStdString();
}

void TMainWindow::SetEditText(UiEdit edit, const std::string& text) {
    QString value = QString::fromStdString(text);
    if (edit == UiEdit::LblEdtUsuarioBD) value = value.toUpper();
    Edit(edit)->setText(value);
}

bool TMainWindow::CheckBoxChecked() const {
    return chckBxUsuarioSenhaPadrao_->isChecked();
}

void TMainWindow::SetCheckBoxChecked(bool checked) {
    chckBxUsuarioSenhaPadrao_->setChecked(checked);
}

void TMainWindow::SetStatusColor(Rgb color) {
    QPalette palette = lblStatusFBServer_->palette();
    palette.setColor(QPalette::WindowText, QColor(color.red, color.green, color.blue));
    lblStatusFBServer_->setPalette(palette);
}

void TMainWindow::SetStatusText(const std::string& text) {
    lblStatusFBServer_->setText(QString::fromStdString(text));
}

void TMainWindow::ShowAboutBox(TFrmSobre& box) {
    TAboutBox dialog(this, box, *frm_);
    dialog.exec();
}

bool TMainWindow::ShellOpen(const std::string& url) {
    return QDesktopServices::openUrl(QUrl(QString::fromStdString(url)));
}

std::string TMainWindow::ExecutablePath() const {
    return RunningExecutablePath();
}

bool TMainWindow::FileExists(const std::string& path) const {
    return RegularFileExists(path);
}

bool TMainWindow::RemoveFile(const std::string& path) {
    return RemoveFileQuietly(path);
}

void TMainWindow::RequestClose() {
    close();
}

}  // namespace tovanel
