// The real Qt window, run offscreen: layout, captions, inputs, boxes, dialogs, cursor, timer and
// the close veto.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "AboutBox.h"
#include "MainWindow.h"
#include "ModalHelper.h"
#include "PlatformFiles.h"
#include "UFrmSobre.h"
#include "UrlRecorder.h"

namespace tovanel::testing {
namespace {

namespace fs = std::filesystem;

class QtWindow : public ::testing::Test {
protected:
    QtWindow() {
        window.show();
        window.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
    }
    ~QtWindow() override {
        window.Logic().Executando = false;
        while (QApplication::overrideCursor()) QApplication::restoreOverrideCursor();
    }

    template <class T>
    T* Child(const char* name) {
        T* found = window.findChild<T*>(QString::fromUtf8(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    QLineEdit* PathEdit() { return Child<QLineEdit>("LblEditBancodeDados"); }
    QLineEdit* UserEdit() { return Child<QLineEdit>("LblEdtUsuarioBD"); }
    QLineEdit* PasswordEdit() { return Child<QLineEdit>("MskEdtSenhaBD"); }
    QCheckBox* DefaultBox() { return Child<QCheckBox>("ChckBxUsuarioSenhaPadrao"); }

    TMainWindow window;
};

QString U(const char* utf8) {
    return QString::fromUtf8(utf8);
}

// Types text key by key, as a keyboard would, also letters outside ASCII.
void Type(QWidget* widget, const QString& text) {
    for (const QChar c : text) {
        const QString one(c);
        const bool asciiLetter = c.toLatin1() >= 'a' && c.toLatin1() <= 'z';
        const auto key = asciiLetter ? static_cast<Qt::Key>(Qt::Key_A + (c.toLatin1() - 'a'))
                                     : Qt::Key_unknown;
        QTest::sendKeyEvent(QTest::Press, widget, key, one, Qt::NoModifier);
        QTest::sendKeyEvent(QTest::Release, widget, key, one, Qt::NoModifier);
    }
}

// ---- the window and its blocks -------------------------------------------------------------

TEST_F(QtWindow, CaptionFixedClientAreaAndNoMaximizeBox) {
    EXPECT_EQ(window.windowTitle(), U("Tovanel 1.0-3 - Reparador de banco de dados Interbase/Firebird"));
    QWidget* client = window.centralWidget();
    EXPECT_EQ(client->size(), QSize(531, 475));
    EXPECT_EQ(client->y(), window.menuBar()->height()) << "the client area lies below the menu";
    EXPECT_EQ(window.minimumSize(), window.maximumSize()) << "not resizable";
    EXPECT_EQ(window.height(), 475 + window.menuBar()->height());
    const Qt::WindowFlags flags = window.windowFlags();
    EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowSystemMenuHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowCloseButtonHint));
}

TEST_F(QtWindow, WindowIsCentredOnItsScreen) {
    const QRect area = window.screen()->availableGeometry();
    const QPoint centre = window.frameGeometry().center();
    EXPECT_LE(std::abs(centre.x() - area.center().x()), 1);
    EXPECT_LE(std::abs(centre.y() - area.center().y()), 1);
}

TEST_F(QtWindow, ThreeBlocksOfEqualWidthAtTheirPlaces) {
    EXPECT_EQ(Child<QGroupBox>("GrpBxDadosServidor")->geometry(), QRect(13, 8, 505, 153));
    EXPECT_EQ(Child<QGroupBox>("GroupBox1")->geometry(), QRect(13, 167, 505, 66));
    EXPECT_EQ(Child<QPlainTextEdit>("MemoProgresso")->geometry(), QRect(13, 248, 505, 192));
    EXPECT_EQ(Child<QGroupBox>("GrpBxDadosServidor")->title(), U("[ Dados do servidor ]"));
    EXPECT_EQ(Child<QGroupBox>("GroupBox1")->title(), U("[ Opções ]"));
    EXPECT_TRUE(Child<QGroupBox>("GroupBox1")->font().bold());
}

TEST_F(QtWindow, EveryInputSitsInsideTheInputGroup) {
    auto* group = Child<QGroupBox>("GrpBxDadosServidor");
    for (const char* name : {"LblEditBancodeDados", "LblEdtUsuarioBD", "MskEdtSenhaBD",
                             "ChckBxUsuarioSenhaPadrao", "SpdBttnAbrirArquivo", "LblStatusFBServer"}) {
        QWidget* child = Child<QWidget>(name);
        ASSERT_NE(child, nullptr);
        EXPECT_EQ(child->parentWidget(), group) << name;
        EXPECT_TRUE(group->rect().contains(child->geometry()))
            << name << " lies outside the group: " << child->x() << "," << child->y() << " "
            << child->width() << "x" << child->height();
    }
    auto* open = Child<QToolButton>("SpdBttnAbrirArquivo");
    EXPECT_EQ(open->size(), QSize(24, 24));
    EXPECT_GT(open->x(), PathEdit()->geometry().right()) << "right of the path edit";
    EXPECT_EQ(open->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_GT(DefaultBox()->x(), PasswordEdit()->geometry().right()) << "right of the password";
}

TEST_F(QtWindow, FourCommandButtonsInOneRowWithCaptionsAndTooltips) {
    const struct {
        const char* name;
        const char* text;
        const char* tooltip;
    } expected[] = {
        {"BtBtnTesteConexaoBD", "&Teste conexão", "Executa o teste de conexão do banco de dados"},
        {"BtBtnVerificaBD", "&Verifica", "Executa a verificação em busca de erros"},
        {"BtBtnReparaBD", "&Repara", "Cria um novo banco de dados corrigindo erros  existentes"},
        {"BitBtn4", "&Sair", "Sair do sistema"},
    };
    int previousRight = -1;
    std::optional<int> rowY;
    for (const auto& e : expected) {
        auto* button = Child<QPushButton>(e.name);
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(button->text(), U(e.text));
        EXPECT_EQ(button->toolTip(), U(e.tooltip));
        EXPECT_EQ(button->size(), QSize(110, 25));
        EXPECT_EQ(button->parentWidget()->objectName(), QStringLiteral("GroupBox1"));
        EXPECT_GT(button->x(), previousRight);
        if (rowY) {
            EXPECT_EQ(button->y(), *rowY);
        }
        rowY = button->y();
        previousRight = button->geometry().right();
        EXPECT_TRUE(button->parentWidget()->rect().contains(button->geometry()));
    }
}

TEST_F(QtWindow, LabelsHintsAndTooltips) {
    auto texts = [&] {
        QStringList all;
        for (QLabel* label : window.findChildren<QLabel*>()) all << label->text();
        return all;
    }();
    for (const char* text : {"Caminho do banco de dados", "Usuário", "Senha", "Status Firebird:"})
        EXPECT_TRUE(texts.contains(U(text))) << text;
    EXPECT_EQ(Child<QLabel>("Label2")->text(), U("Senha"));
    EXPECT_EQ(Child<QLabel>("Label1")->text(), U("Status Firebird:"));
    EXPECT_EQ(DefaultBox()->text(), U("Utilizar usuário e senha padrão"));
    EXPECT_EQ(Child<QToolButton>("SpdBttnAbrirArquivo")->toolTip(), U("Abre um banco de dados"));

    const struct {
        QLineEdit* edit;
        const char* hint;
    } hints[] = {{PathEdit(), "Informe o caminho do banco de dados"},
                 {UserEdit(), "Informe o nome do usuário do banco de dados"},
                 {PasswordEdit(), "Informe a senha do usuário do banco de dados"}};
    for (const auto& h : hints) {
        EXPECT_EQ(h.edit->accessibleDescription(), U(h.hint));
        EXPECT_TRUE(h.edit->toolTip().isEmpty()) << "no tooltip on the edits";
        EXPECT_TRUE(h.edit->placeholderText().isEmpty()) << "the hint is not shown in the edit";
    }
}

TEST_F(QtWindow, LogIsBlackWithSilverBoldTextAndReadOnly) {
    auto* log = Child<QPlainTextEdit>("MemoProgresso");
    EXPECT_TRUE(log->isReadOnly());
    EXPECT_EQ(log->palette().color(QPalette::Base), QColor(Qt::black));
    EXPECT_EQ(log->palette().color(QPalette::Text), QColor(192, 192, 192));
    EXPECT_TRUE(log->font().bold());
    EXPECT_EQ(log->font().pixelSize(), 13);
    EXPECT_EQ(QFontInfo(log->font()).family(), QStringLiteral("Liberation Sans"));
    EXPECT_EQ(log->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_TRUE(log->toPlainText().isEmpty());
}

TEST_F(QtWindow, LogTakesLinesUnchangedEmptyOnesIncludedAndClears) {
    auto* log = Child<QPlainTextEdit>("MemoProgresso");
    window.AppendLog("Aguarde... Processo iniciado.");
    window.AppendLog("");
    window.AppendLog("A T E N Ç Ã O!!!!!");
    EXPECT_EQ(log->toPlainText(), U("Aguarde... Processo iniciado.\n\nA T E N Ç Ã O!!!!!"));
    window.ClearLog();
    EXPECT_TRUE(log->toPlainText().isEmpty());
    window.AppendLog("depois");
    EXPECT_EQ(log->toPlainText(), U("depois"));
}

TEST_F(QtWindow, StatusLineTakesTextAndColour) {
    auto* status = Child<QLabel>("LblStatusFBServer");
    EXPECT_TRUE(status->text().isEmpty()) << "empty until the first tick";
    EXPECT_GT(status->x(), Child<QLabel>("Label1")->geometry().right()) << "right of its caption";
    EXPECT_EQ(status->y() / 10, Child<QLabel>("Label1")->y() / 10) << "on the same row";
    EXPECT_TRUE(status->font().bold());
    window.SetStatusColor({0, 128, 0});
    window.SetStatusText("Rodando");
    EXPECT_EQ(status->text(), U("Rodando"));
    EXPECT_EQ(status->palette().color(QPalette::WindowText), QColor(0, 128, 0));
}

// ---- the menu and the actions ---------------------------------------------------------------

TEST_F(QtWindow, MenuEntriesInOrderWithMnemonicsAndSeparator) {
    const QList<QAction*> top = window.menuBar()->actions();
    ASSERT_EQ(top.size(), 3);
    EXPECT_EQ(top[0]->text(), U("&Banco de dados"));
    EXPECT_EQ(top[1]->text(), U("Sobre"));
    EXPECT_EQ(top[2]->text(), U("&Sair"));
    ASSERT_NE(top[0]->menu(), nullptr);
    const QList<QAction*> entries = top[0]->menu()->actions();
    ASSERT_EQ(entries.size(), 5);
    EXPECT_EQ(entries[0]->text(), U("&Abrir"));
    EXPECT_TRUE(entries[1]->isSeparator());
    EXPECT_EQ(entries[2]->text(), U("&Teste conexão"));
    EXPECT_EQ(entries[3]->text(), U("&Verifica"));
    EXPECT_EQ(entries[4]->text(), U("&Repara"));
    for (int i : {0, 2, 3, 4}) EXPECT_FALSE(entries[i]->icon().isNull()) << "image beside entry " << i;
}

TEST_F(QtWindow, SixActionsWithTheirTooltips) {
    const struct {
        const char* name;
        const char* text;
        const char* tooltip;
    } expected[] = {
        {"ActnAbrirBanco", "&Abrir", "Abre um banco de dados"},
        {"ActnTestaConexao", "&Teste conexão", "Executa o teste de conexão do banco de dados"},
        {"ActnVerificarBanco", "&Verifica", "Executa a verificação em busca de erros"},
        {"ActnReparabanco", "&Repara", "Cria um novo banco de dados corrigindo erros  existentes"},
        {"ActnSair", "&Sair", "Sair do sistema"},
    };
    for (const auto& e : expected) {
        auto* action = Child<QAction>(e.name);
        ASSERT_NE(action, nullptr);
        EXPECT_EQ(action->text(), U(e.text));
        EXPECT_EQ(action->toolTip(), U(e.tooltip));
    }
    EXPECT_EQ(Child<QAction>("ActnSobre")->text(), U("Sobre"));
}

TEST_F(QtWindow, ButtonMnemonicRunsItsCommand) {
    // Alt+V is "&Verifica": with no path it stops at the input check with its error box.
    PathEdit()->clear();
    QString shownText;
    QString shownTitle;
    WhenModal<QMessageBox>([&](QMessageBox* box) {
        shownText = box->text();
        shownTitle = box->windowTitle();
        box->button(QMessageBox::Ok)->click();
    });
    QTest::keyClick(&window, Qt::Key_V, Qt::AltModifier);
    QTest::qWait(0);
    for (int i = 0; i < 500 && shownTitle.isEmpty(); ++i) QTest::qWait(20);
    EXPECT_EQ(shownTitle, U("Erro"));
    EXPECT_EQ(shownText, U("* Caminho do banco de dados não informado!\n"));
}

TEST_F(QtWindow, AltSAsksToLeave) {
    QString shownText;
    WhenModal<QMessageBox>([&](QMessageBox* box) {
        shownText = box->text();
        box->button(QMessageBox::No)->click();
    });
    QTest::keyClick(&window, Qt::Key_S, Qt::AltModifier);
    for (int i = 0; i < 500 && shownText.isEmpty(); ++i) QTest::qWait(20);
    EXPECT_EQ(shownText, U("Deseja sair do sistema?"));
    EXPECT_TRUE(window.isVisible());
}

TEST_F(QtWindow, ADisabledMenuOpensNoEntryByItsMnemonic) {
    window.SetMainMenuEnabled(false);
    QTest::keyClick(&window, Qt::Key_B, Qt::AltModifier);
    QTest::qWait(50);
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
    window.SetMainMenuEnabled(true);
    QTest::keyClick(&window, Qt::Key_B, Qt::AltModifier);
    for (int i = 0; i < 100 && !QApplication::activePopupWidget(); ++i) QTest::qWait(20);
    QWidget* popup = QApplication::activePopupWidget();
    ASSERT_NE(popup, nullptr) << "the enabled menu opens by Alt+B";
    popup->close();
}

// ---- inputs ----------------------------------------------------------------------------------

TEST_F(QtWindow, StartsWithDefaultUserAndNineStarPassword) {
    EXPECT_EQ(UserEdit()->text(), U("SYSDBA"));
    EXPECT_EQ(PasswordEdit()->echoMode(), QLineEdit::Password);
    EXPECT_EQ(PasswordEdit()->displayText(), U("*********"));
    EXPECT_TRUE(DefaultBox()->isChecked());
    EXPECT_TRUE(PathEdit()->text().isEmpty());
}

TEST_F(QtWindow, TypedLowerCaseLettersAppearUpperCaseInTheUserEdit) {
    UserEdit()->clear();
    Type(UserEdit(), U("maria.joão_1"));
    EXPECT_EQ(UserEdit()->text(), U("MARIA.JOÃO_1"));
    EXPECT_FALSE(DefaultBox()->isChecked()) << "typing clears the default box";
}

TEST_F(QtWindow, TypingIntoThePasswordClearsTheTickAndKeepsTheText) {
    PasswordEdit()->setFocus();
    PasswordEdit()->end(false);
    QTest::keyClick(PasswordEdit(), Qt::Key_X);
    EXPECT_FALSE(DefaultBox()->isChecked());
    EXPECT_EQ(PasswordEdit()->text(), U("ravenpikex"));
    EXPECT_EQ(PasswordEdit()->displayText(), U("**********"));
}

TEST_F(QtWindow, ANavigationKeyAloneAlsoClearsTheTick) {
    QTest::keyClick(UserEdit(), Qt::Key_Left);
    EXPECT_FALSE(DefaultBox()->isChecked());
    EXPECT_EQ(UserEdit()->text(), U("SYSDBA"));
}

TEST_F(QtWindow, TickingTheBoxAgainRestoresTheDefaults) {
    UserEdit()->clear();
    QTest::keyClicks(UserEdit(), QStringLiteral("ana"));
    QTest::keyClicks(PasswordEdit(), QStringLiteral("123"));
    ASSERT_FALSE(DefaultBox()->isChecked());
    QTest::mouseClick(DefaultBox(), Qt::LeftButton, {}, QPoint(6, DefaultBox()->height() / 2));
    EXPECT_TRUE(DefaultBox()->isChecked());
    EXPECT_EQ(UserEdit()->text(), U("SYSDBA"));
    EXPECT_EQ(PasswordEdit()->text(), U("ravenpike"));

    QTest::mouseClick(DefaultBox(), Qt::LeftButton, {}, QPoint(6, DefaultBox()->height() / 2));
    EXPECT_FALSE(DefaultBox()->isChecked());
    EXPECT_EQ(UserEdit()->text(), U("SYSDBA")) << "clearing the tick by a click changes nothing";
}

TEST_F(QtWindow, DisablingTheInputGroupAndMenuLeavesTheCommandButtonsUsable) {
    window.SetInputGroupEnabled(false);
    window.SetMainMenuEnabled(false);
    for (const char* name : {"LblEditBancodeDados", "LblEdtUsuarioBD", "MskEdtSenhaBD",
                             "ChckBxUsuarioSenhaPadrao", "SpdBttnAbrirArquivo"})
        EXPECT_FALSE(Child<QWidget>(name)->isEnabled()) << name;
    EXPECT_FALSE(window.menuBar()->isEnabled());
    for (const char* name : {"BtBtnTesteConexaoBD", "BtBtnVerificaBD", "BtBtnReparaBD", "BitBtn4"})
        EXPECT_TRUE(Child<QWidget>(name)->isEnabled()) << name;

    window.SetInputGroupEnabled(true);
    window.SetMainMenuEnabled(true);
    EXPECT_TRUE(PathEdit()->isEnabled());
    EXPECT_TRUE(window.menuBar()->isEnabled());
}

// ---- message boxes --------------------------------------------------------------------------

struct BoxKind {
    const char* name;
    MessageKind kind;
    QMessageBox::Icon icon;
    QMessageBox::StandardButtons buttons;
    QMessageBox::StandardButton defaultButton;
    int enterAnswers;
};

void PrintTo(const BoxKind& value, std::ostream* out) {
    *out << value.name;
}

class QtMessageBoxes : public QtWindow, public ::testing::WithParamInterface<BoxKind> {};

TEST_P(QtMessageBoxes, KindGivesButtonsIconAndDefaultAndCrBreaksTheLine) {
    const BoxKind& k = GetParam();
    QMessageBox::Icon icon{};
    QMessageBox::StandardButtons buttons{};
    QAbstractButton* defaultButton = nullptr;
    QString text;
    QString title;
    QWidget* parent = nullptr;
    WhenModal<QMessageBox>([&](QMessageBox* box) {
        icon = box->icon();
        buttons = box->standardButtons();
        defaultButton = box->defaultButton();
        text = box->text();
        title = box->windowTitle();
        parent = box->parentWidget();
        EXPECT_EQ(defaultButton, box->button(k.defaultButton));
        QTest::keyClick(box, Qt::Key_Return);
    });
    const int answer = window.ShowMessageBox(" Foram encontrados erro no banco \rDeseja iniciar?",
                                             "Título", k.kind);
    EXPECT_EQ(icon, k.icon);
    EXPECT_EQ(buttons, k.buttons);
    EXPECT_EQ(answer, k.enterAnswers);
    EXPECT_EQ(text, U(" Foram encontrados erro no banco \nDeseja iniciar?"));
    EXPECT_EQ(title, U("Título"));
    EXPECT_EQ(parent, &window) << "modal over the main window";
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, QtMessageBoxes,
    ::testing::Values(BoxKind{"Error16", MessageKind::Error, QMessageBox::Critical, QMessageBox::Ok,
                              QMessageBox::Ok, kButtonOk},
                      BoxKind{"Confirmation292", MessageKind::Confirmation, QMessageBox::Question,
                              QMessageBox::Yes | QMessageBox::No, QMessageBox::No, kButtonNo},
                      BoxKind{"Question36", MessageKind::QuestionYesDefault, QMessageBox::Question,
                              QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes, kButtonYes}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(QtWindow, ClickingYesAnswersSixAndEscapeOnAQuestionAnswersNo) {
    WhenModal<QMessageBox>([](QMessageBox* box) { box->button(QMessageBox::Yes)->click(); });
    EXPECT_EQ(window.ShowMessageBox("?", "Pergunta", MessageKind::Confirmation), 6);
    WhenModal<QMessageBox>([](QMessageBox* box) { QTest::keyClick(box, Qt::Key_Escape); });
    EXPECT_EQ(window.ShowMessageBox("?", "Pergunta", MessageKind::QuestionYesDefault), kButtonNo);
}

// ---- close request --------------------------------------------------------------------------

TEST_F(QtWindow, EnterOnTheCloseQuestionAnswersNoAndTheWindowStays) {
    QString text;
    WhenModal<QMessageBox>([&](QMessageBox* box) {
        text = box->text();
        QTest::keyClick(box, Qt::Key_Return);
    });
    window.close();
    EXPECT_EQ(text, U("Deseja sair do sistema?"));
    EXPECT_TRUE(window.isVisible());
}

TEST_F(QtWindow, YesToTheCloseQuestionClosesTheWindow) {
    WhenModal<QMessageBox>([](QMessageBox* box) { box->button(QMessageBox::Yes)->click(); });
    Child<QPushButton>("BitBtn4")->click();
    EXPECT_FALSE(window.isVisible());
}

TEST_F(QtWindow, CloseButtonIsVetoedSilentlyWhileAJobRuns) {
    window.Logic().Executando = true;
    ExpectNoModal([&] {
        EXPECT_FALSE(window.close());
        Child<QPushButton>("BitBtn4")->click();
        window.menuBar()->actions().at(2)->trigger();  // the menu's own "&Sair"
    });
    EXPECT_TRUE(window.isVisible());
}

TEST_F(QtWindow, OpenCommandDoesNothingWhileAJobRuns) {
    window.Logic().Executando = true;
    ExpectNoModal([&] { Child<QToolButton>("SpdBttnAbrirArquivo")->click(); });
}

// ---- busy cursor ----------------------------------------------------------------------------

TEST_F(QtWindow, BusyCursorIsOneSettingNotAStack) {
    window.SetBusyCursor(true);
    window.SetBusyCursor(true);
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    window.SetBusyCursor(false);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    QApplication::setOverrideCursor(Qt::CrossCursor);  // someone else's override
    window.SetBusyCursor(true);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    window.SetBusyCursor(false);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "off removes every override";
}

TEST_F(QtWindow, AFailureInAHandlerTurnsTheBusyCursorOffBeforeItsBox) {
    window.SetBusyCursor(true);
    const QCursor* cursorDuringBox = reinterpret_cast<const QCursor*>(1);
    QString title;
    WhenModal<QMessageBox>([&](QMessageBox* box) {
        cursorDuringBox = QApplication::overrideCursor();
        title = box->windowTitle();
        box->button(QMessageBox::Ok)->click();
    });
    window.Logic().RunHandler([] { throw std::runtime_error("falhou"); });
    EXPECT_EQ(cursorDuringBox, nullptr);
    EXPECT_EQ(title, U("Erro!"));
}

// ---- timer ----------------------------------------------------------------------------------

TEST_F(QtWindow, TimerTicksEverySecondAlsoWhileAModalBoxIsOpen) {
    auto* timer = window.findChild<QTimer*>(QStringLiteral("Timer"));
    ASSERT_NE(timer, nullptr);
    EXPECT_EQ(timer->interval(), 1000);
    EXPECT_TRUE(timer->isActive());
    int ticks = 0;
    QObject::connect(timer, &QTimer::timeout, [&] { ++ticks; });
    int ticksWhileOpen = -1;
    WhenModal<QMessageBox>(
        [&](QMessageBox* box) {
            ticksWhileOpen = ticks;
            box->button(QMessageBox::Ok)->click();
        },
        [&] { return ticks >= 2; });
    window.ShowMessageBox("aberta", "Erro", MessageKind::Error);
    EXPECT_GE(ticksWhileOpen, 2);
}

// ---- file dialogs ---------------------------------------------------------------------------

// Presses the dialog's accepting button (Open or Save), as a user would.
void AcceptFileDialog(QFileDialog* dialog) {
    auto* buttons = dialog->findChild<QDialogButtonBox*>();
    ASSERT_NE(buttons, nullptr);
    for (QAbstractButton* button : buttons->buttons()) {
        if (buttons->buttonRole(button) == QDialogButtonBox::AcceptRole) {
            button->click();
            return;
        }
    }
    ADD_FAILURE() << "no accepting button";
}

class QtFileDialogs : public QtWindow {
protected:
    QtFileDialogs() {
        char pattern[] = "/tmp/tovanel-qt-XXXXXX";
        dir = ::mkdtemp(pattern);
    }
    ~QtFileDialogs() override { fs::remove_all(dir); }
    std::string Touch(const std::string& name) {
        std::ofstream(dir / name) << "x";
        return (dir / name).string();
    }
    fs::path dir;
};

TEST_F(QtFileDialogs, OpenDialogPutsTheChosenPathIntoThePathEdit) {
    const std::string file = Touch("BANCO.FDB");
    QString title;
    QStringList filters;
    QString selectedFilter;
    QString defaultSuffix;
    QString directory;
    bool nonNative = false;
    WhenModal<QFileDialog>([&](QFileDialog* dialog) {
        title = dialog->windowTitle();
        filters = dialog->nameFilters();
        selectedFilter = dialog->selectedNameFilter();
        defaultSuffix = dialog->defaultSuffix();
        directory = dialog->directory().absolutePath() + QLatin1Char('/');
        nonNative = dialog->testOption(QFileDialog::DontUseNativeDialog);
        // Typed into the name field and confirmed with Enter, as a user would.
        auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        ASSERT_NE(name, nullptr);
        name->setText(QString::fromStdString(file));
        QTest::keyClick(name, Qt::Key_Return);
    });
    Child<QToolButton>("SpdBttnAbrirArquivo")->click();

    EXPECT_EQ(title, U("Escolha um banco de dados"));
    EXPECT_EQ(filters, (QStringList{U("Firebird (*.FDB)"), U("Interbase (*.GDB)")}));
    EXPECT_EQ(selectedFilter, U("Firebird")) << "the list shows the names only";
    EXPECT_EQ(defaultSuffix, U("FDB"));
    EXPECT_TRUE(nonNative);
    EXPECT_EQ(directory.toStdString(), window.Logic().DiretorioAplicativo);
    EXPECT_EQ(PathEdit()->text().toStdString(), file);
}

TEST_F(QtFileDialogs, CancellingTheOpenDialogLeavesThePath) {
    PathEdit()->setText(U("/antes/banco.fdb"));
    WhenModal<QFileDialog>([](QFileDialog* dialog) { dialog->reject(); });
    Child<QAction>("ActnAbrirBanco")->trigger();
    EXPECT_EQ(PathEdit()->text(), U("/antes/banco.fdb"));
}

TEST_F(QtFileDialogs, SaveDialogProposesTheNameWithThePreselectedFilter) {
    QString title;
    QString typedName;
    QString selectedFilter;
    bool asksBeforeOverwrite = false;
    WhenModal<QFileDialog>([&](QFileDialog* dialog) {
        title = dialog->windowTitle();
        selectedFilter = dialog->selectedNameFilter();
        asksBeforeOverwrite = !dialog->testOption(QFileDialog::DontConfirmOverwrite);
        typedName = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->text();
        AcceptFileDialog(dialog);
    });
    const auto chosen = window.ShowSaveDialog(dir.string(), "banco_NOVO.GDB", FileFilter::Interbase);
    EXPECT_EQ(title, U("Informe o novo arquivo a ser gerado"));
    EXPECT_EQ(selectedFilter, U("Interbase"));
    EXPECT_EQ(typedName, U("banco_NOVO.GDB"));
    EXPECT_TRUE(asksBeforeOverwrite);
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(*chosen, (dir / "banco_NOVO.GDB").string());
}

TEST_F(QtFileDialogs, SaveDialogKeepsAnUnusualExtensionWithTheInterbaseFilter) {
    WhenModal<QFileDialog>([&](QFileDialog* dialog) { AcceptFileDialog(dialog); });
    const auto chosen = window.ShowSaveDialog(dir.string(), "banco_NOVO.OLD", FileFilter::Interbase);
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(*chosen, (dir / "banco_NOVO.OLD").string());
}

TEST_F(QtFileDialogs, SaveDialogAppendsFdbToANameWithoutExtension) {
    WhenModal<QFileDialog>([&](QFileDialog* dialog) { AcceptFileDialog(dialog); });
    const auto chosen = window.ShowSaveDialog(dir.string(), "banco_NOVO", FileFilter::Interbase);
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(*chosen, (dir / "banco_NOVO.FDB").string());
}

TEST_F(QtFileDialogs, SaveDialogAsksBeforeAcceptingAnExistingFile) {
    const std::string existing = Touch("existe.FDB");
    QString question;
    WhenModal<QFileDialog>([&](QFileDialog* dialog) {
        WhenModal<QMessageBox>([&](QMessageBox* box) {
            question = box->text();
            box->button(QMessageBox::Yes)->click();
        });
        AcceptFileDialog(dialog);
    });
    const auto chosen = window.ShowSaveDialog(dir.string(), "existe.FDB", FileFilter::Firebird);
    EXPECT_FALSE(question.isEmpty()) << "no overwrite question";
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(*chosen, existing);
}

TEST_F(QtFileDialogs, CancellingTheSaveDialogAnswersNothing) {
    WhenModal<QFileDialog>([&](QFileDialog* dialog) { dialog->reject(); });
    EXPECT_FALSE(window.ShowSaveDialog(dir.string(), "x.FDB", FileFilter::Firebird).has_value());
}

// ---- About box ------------------------------------------------------------------------------

TEST_F(QtWindow, AboutBoxIsFreshEachTimeAndGoneWhenClosed) {
    UrlRecorder recorder;
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &recorder, "Open");

    std::vector<QPointer<QDialog>> boxes;
    for (int round = 0; round < 2; ++round) {
        WhenModal<QDialog>([&](QDialog* box) {
            boxes.emplace_back(box);
            EXPECT_EQ(box->windowTitle(), U("Sobre"));
            EXPECT_EQ(box->size(), QSize(359, 139));
            EXPECT_EQ(box->findChild<QLabel*>(QStringLiteral("Label1"))->text(),
                      U("Reparador de banco de dados Firebird"));
            EXPECT_EQ(box->findChild<QLabel*>(QStringLiteral("LblVersao"))->text(), U("Versão " TOVANEL_VERSION));
            auto* url = box->findChild<QLabel*>(QStringLiteral("LblUrlClick"));
            EXPECT_EQ(url->text(), U(TFrmSobre::kMakerUrl));
            EXPECT_TRUE(url->font().bold());
            EXPECT_TRUE(url->font().underline());
            EXPECT_EQ(url->palette().color(QPalette::WindowText), QColor(0, 0, 255));
            EXPECT_EQ(url->cursor().shape(), Qt::PointingHandCursor);
            QTest::mouseClick(url, Qt::LeftButton);
            box->findChild<QPushButton*>(QStringLiteral("BtBtnOk"))->click();
        });
        Child<QAction>("ActnSobre")->trigger();
    }
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));

    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_TRUE(boxes[0].isNull()) << "the box is destroyed when it returns";
    EXPECT_TRUE(boxes[1].isNull());
    EXPECT_EQ(recorder.opened, (QStringList{U(TFrmSobre::kMakerUrl), U(TFrmSobre::kMakerUrl)}));
}

}  // namespace
}  // namespace tovanel::testing

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
