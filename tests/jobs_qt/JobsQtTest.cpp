// The real window, offscreen, with its real buttons, boxes, dialogs, label and timer, running
// the jobs against the private instance.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <clocale>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>

#include "MainWindow.h"
#include "ModalHelper.h"
#include "PrivateServer.h"

namespace tovanel::testing {
namespace {

namespace fs = std::filesystem;

QString U(const char* utf8) {
    return QString::fromUtf8(utf8);
}

class JobsInTheWindow : public testserver::RealServerTest {
protected:
    void SetUp() override {
        RealServerTest::SetUp();  // the instance's FIREBIRD goes into the environment first
        if (HasFatalFailure() || IsSkipped()) return;
        window = std::make_unique<TMainWindow>();
        window->show();
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }
    void TearDown() override {
        if (window) window->Logic().Executando = false;  // lets the window go in any case
        window.reset();
        while (QApplication::overrideCursor()) QApplication::restoreOverrideCursor();
        RealServerTest::TearDown();
    }

    template <class T>
    T* Child(const char* name) {
        T* found = window->findChild<T*>(QString::fromUtf8(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    QTimer* Timer() { return Child<QTimer>("Timer"); }
    QStringList Log() { return Child<QPlainTextEdit>("MemoProgresso")->toPlainText().split(QLatin1Char('\n')); }
    void Click(const char* button) { Child<QPushButton>(button)->click(); }
    // Yes to the repair's confirmation, then the new file typed into the save dialog.
    static void ConfirmRepairInto(const fs::path& target) {
        ConfirmInto(target, U("Esse processo poderá levar alguns minutos."));
    }
    // The same for the job whose confirmation starts with `question`.
    static void ConfirmInto(const fs::path& target, const QString& question);

    // What the timer saw while a job waited for the server: ticks per phase, and whether a close
    // request and the commands tried at the first tick of each phase changed nothing.
    struct WaitWatch {
        std::map<ServerPhase, int> ticks;
        std::map<ServerPhase, bool> checked;
        int refusals = 0;
        int busyCursorMissing = 0;
    };
    // The timer ticks every 50 ms, so that even the mend of the large database, a quarter of a
    // second on a quiet machine, sees some; at each phase's first tick the window is asked to close
    // and `tryCommands` runs.
    void WatchServerWaits(WaitWatch& watch, std::function<void()> tryCommands) {
        Timer()->setInterval(50);
        QObject::connect(Timer(), &QTimer::timeout, window.get(), [this, &watch, tryCommands] {
            const auto phase = window->Logic().ServerCallWaiting();
            if (!phase) return;
            ++watch.ticks[*phase];
            if (!QApplication::overrideCursor()) ++watch.busyCursorMissing;
            if (watch.checked[*phase]) return;
            watch.checked[*phase] = true;
            const QStringList before = Log();
            window->close();
            tryCommands();
            if (window->isVisible() && Log() == before) ++watch.refusals;
        });
    }
    void ExpectEverythingKeptOut(const WaitWatch& watch) {
        EXPECT_EQ(watch.refusals, static_cast<int>(watch.checked.size()))
            << "commands and close requests kept out in every phase";
        EXPECT_EQ(watch.busyCursorMissing, 0);
        for (const auto& [phase, count] : watch.ticks)
            RecordProperty("ticks_phase_" + std::to_string(static_cast<int>(phase)), count);
    }

    std::unique_ptr<TMainWindow> window;
};

// Presses the button of a message box that carries the given standard role.
void Press(QMessageBox* box, QMessageBox::StandardButton which) {
    ASSERT_NE(box->button(which), nullptr);
    box->button(which)->click();
}

void JobsInTheWindow::ConfirmInto(const fs::path& target, const QString& question) {
    WhenModal<QMessageBox>([target, question](QMessageBox* box) {
        EXPECT_TRUE(box->text().startsWith(question)) << box->text().toStdString();
        Press(box, QMessageBox::Yes);
        WhenModal<QFileDialog>([target](QFileDialog* dialog) {
            dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))
                ->setText(QString::fromStdString(target.string()));
            auto* buttons = dialog->findChild<QDialogButtonBox*>();
            for (QAbstractButton* button : buttons->buttons())
                if (buttons->buttonRole(button) == QDialogButtonBox::AcceptRole) button->click();
        });
    });
}

TEST_F(JobsInTheWindow, ATickShowsTheRunningInstanceOnTheLabelInGreen) {
    QLabel* label = Child<QLabel>("LblStatusFBServer");
    EXPECT_EQ(label->text(), QString()) << "empty until the first tick";
    ASSERT_TRUE(QTest::qWaitFor([&] { return !label->text().isEmpty(); }, 5000));
    EXPECT_EQ(label->text(), U("Rodando"));
    EXPECT_EQ(label->palette().color(QPalette::WindowText), QColor(0, 128, 0));
}

TEST_F(JobsInTheWindow, AFailureFromAButtonReachesTheErrorBoxAndTheWindowStaysUsable) {
    const fs::path db = server().freshPath("qt_senha");
    server().createHealthyDatabase(db);
    Child<QLineEdit>("LblEditBancodeDados")->setText(QString::fromStdString(db.string()));
    Child<QLineEdit>("MskEdtSenhaBD")->setText(QStringLiteral("errada"));

    QString text, title;
    bool groupEnabledDuringBox = false;
    WhenModal<QMessageBox>([&](QMessageBox* box) {
        text = box->text();
        title = box->windowTitle();
        groupEnabledDuringBox = Child<QGroupBox>("GrpBxDadosServidor")->isEnabled();
        Press(box, QMessageBox::Ok);
    });
    Click("BtBtnTesteConexaoBD");
    EXPECT_EQ(title, U("Erro!"));
    EXPECT_EQ(text, U("Usuário ou senha inválidos"));
    EXPECT_TRUE(groupEnabledDuringBox);
    // The server's own words follow the box.
    EXPECT_EQ(Log(), (QStringList{U("Aguarde... Verificando conexão"), QString(),
                                  U("Your user name and password are not defined. Ask your database administrator to "
                                    "set up a Firebird login")}));

    Child<QLineEdit>("MskEdtSenhaBD")->setText(QString::fromStdString(server().password()));
    ExpectNoModal([&] { Click("BtBtnTesteConexaoBD"); });
    EXPECT_EQ(Log(), (QStringList{U("Aguarde... Verificando conexão"), U("Banco de dados conectado com sucesso!")}));
    EXPECT_TRUE(Child<QGroupBox>("GrpBxDadosServidor")->isEnabled());
}

TEST_F(JobsInTheWindow, AFileOfAnotherVersionIsNamedInTheBoxAndTheServersLinesFollowInTheLog) {
    const fs::path healthy = server().freshPath("qt_ods");
    server().createHealthyDatabase(healthy);
    const fs::path db = server().freshPath("qt_ods13");
    server().copyDatabase(healthy, db);
    fbdamage::setOdsVersion(db, 13, 0);
    Child<QLineEdit>("LblEditBancodeDados")->setText(QString::fromStdString(db.string()));

    QString text;
    WhenModal<QMessageBox>([&](QMessageBox* box) {
        text = box->text();
        Press(box, QMessageBox::Ok);
    });
    Click("BtBtnTesteConexaoBD");

    const QStringList boxLines = text.split(QLatin1Char('\n'));
    ASSERT_EQ(boxLines.size(), 4) << text.toStdString();
    EXPECT_EQ(boxLines[0], U("BD com estrutura em disco ODS 13.0 (Firebird 4)!"));
    const QStringList log = Log();
    ASSERT_EQ(log.size(), 5) << log.join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(log[2], boxLines.join(QLatin1Char(' '))) << "the box's text as one log line";
    EXPECT_TRUE(log[3].startsWith(QString::fromStdString("unsupported on-disk structure for file " + db.string() +
                                                         "; found 13.0, support 12.")))
        << log[3].toStdString();
    EXPECT_EQ(log[4], U("IProvider::attachDatabase failed when loading mapping cache"));
}

TEST_F(JobsInTheWindow, ARepairLetsTheTimerTickInItsOutputLoopsAndRefusesToClose) {
    const fs::path source = server().freshPath("qt_reparo");
    server().createDamagedDatabase(source, fbdamage::Kind::Records);
    const fs::path target = server().freshPath("qt_reparo_novo");
    Child<QLineEdit>("LblEditBancodeDados")->setText(QString::fromStdString(source.string()));

    // A shorter interval than the window's second, so that several ticks fall into a repair of
    // this small database.
    Timer()->setInterval(100);
    int ticksDuringServiceWork = 0;
    int closeRequestsRefused = 0;
    int commandsIgnored = 0;
    QObject::connect(Timer(), &QTimer::timeout, window.get(), [&] {
        if (!window->Logic().Executando) return;
        ++ticksDuringServiceWork;
        if (ticksDuringServiceWork > 1) return;
        const QStringList before = Log();
        window->close();
        if (window->isVisible()) ++closeRequestsRefused;
        Click("BtBtnTesteConexaoBD");
        Click("BtBtnVerificaBD");
        Click("BtBtnReparaBD");
        Click("BitBtn4");  // "&Sair": one more close request
        if (Log() == before && window->isVisible()) ++commandsIgnored;
    });

    ConfirmRepairInto(target);
    Click("BtBtnReparaBD");

    EXPECT_GE(ticksDuringServiceWork, 1);
    EXPECT_EQ(closeRequestsRefused, 1);
    EXPECT_EQ(commandsIgnored, 1);
    EXPECT_TRUE(window->isVisible());
    const QStringList log = Log();
    ASSERT_GE(log.size(), 3);
    EXPECT_EQ(log.mid(log.size() - 3), (QStringList{QString(), U("A T E N Ç Ã O!!!!!"), U("Processo concluido!")}));
    EXPECT_TRUE(fs::exists(target));
    EXPECT_FALSE(fs::exists(window->Logic().ArquivoBackup));
    EXPECT_FALSE(window->Logic().Executando);
    EXPECT_TRUE(Child<QGroupBox>("GrpBxDadosServidor")->isEnabled());
}

// The server holds the sweep's and the mend's start until the action has ended; the window keeps
// handling its events meanwhile. The database is large enough that each of the two lasts several
// of the test's ticks (about 340 MB: the sweep takes ten seconds or more, the mend 0.2-1 s).
TEST_F(JobsInTheWindow, TheTimerTicksWhileTheServerSweepsAndMendsALargeDatabase) {
    const fs::path source = server().freshPath("qt_grande");
    server().createLargeDatabase(source, 80000);
    const fs::path target = server().freshPath("qt_grande_novo");
    Child<QLineEdit>("LblEditBancodeDados")->setText(QString::fromStdString(source.string()));

    WaitWatch watch;
    WatchServerWaits(watch, [&] {
        Click("BtBtnTesteConexaoBD");
        Click("BtBtnVerificaBD");
        Click("BtBtnReparaBD");
    });

    ConfirmRepairInto(target);
    Click("BtBtnReparaBD");

    EXPECT_GE(watch.ticks[ServerPhase::Sweep], 1) << "ticks while the sweep ran";
    EXPECT_GE(watch.ticks[ServerPhase::Mend], 1) << "ticks while the mend ran";
    ExpectEverythingKeptOut(watch);
    const QStringList log = Log();
    ASSERT_GE(log.size(), 2);
    EXPECT_EQ(log.last(), U("Processo concluido!"));
    EXPECT_TRUE(fs::exists(target));
    EXPECT_FALSE(window->Logic().JobRunning());
}

// The rescue's long calls wait as the repair's do: the server answers the validation start of the
// working copy only when the validation has ended (over a second for this database), and the copy,
// the backup and the restore take long too. Meanwhile the timer ticks, the busy cursor shows, and
// every command and close request is kept out.
TEST_F(JobsInTheWindow, TheTimerTicksAndCloseIsRefusedWhileTheServerValidatesARescuesWorkingCopy) {
    const fs::path source = server().freshPath("qt_resgate_grande");
    server().createLargeDatabase(source, 80000);
    const fs::path target = server().freshPath("qt_resgate_grande_novo");
    Child<QLineEdit>("LblEditBancodeDados")->setText(QString::fromStdString(source.string()));
    QAction* rescue = Child<QAction>("ActnResgate");
    ASSERT_NE(rescue, nullptr);

    WaitWatch watch;
    WatchServerWaits(watch, [&] {
        rescue->trigger();
        Click("BtBtnVerificaBD");
        Click("BtBtnReparaBD");
        Click("BitBtn4");  // "&Sair"
    });

    ConfirmInto(target, U("O resgate copia o banco de dados"));
    rescue->trigger();

    EXPECT_GE(watch.ticks[ServerPhase::Validation], 1) << "ticks while the server validated the working copy";
    ExpectEverythingKeptOut(watch);
    const QStringList log = Log();
    ASSERT_GE(log.size(), 2);
    EXPECT_EQ(log.last(), U("Resgate concluído!")) << log.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(fs::exists(target));
    EXPECT_FALSE(fs::exists(target.parent_path() / (target.stem().string() + "_COPIA.tmp")));
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(window->Logic().JobRunning());
    EXPECT_TRUE(Child<QGroupBox>("GrpBxDadosServidor")->isEnabled());
}

}  // namespace
}  // namespace tovanel::testing

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    std::setlocale(LC_ALL, "");  // after Qt, which sets the locale too
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
