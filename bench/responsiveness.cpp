// Responsiveness during a repair in the real window (offscreen): a zero-interval timer marks
// every pass of the event loop, and the longest pause between two passes is reported for each
// phase of the repair. The window's own log and output loop run unchanged; only its dialogs
// are answered here (Yes to the confirmation, the given file to the save dialog), and the time
// each line waited for the server is noted, so a pause can be split into the server's part and
// the program's part.
//
//   QT_QPA_PLATFORM=offscreen bench_responsiveness DAMAGED_DATABASE NEW_DATABASE
//
// User and password from ISC_USER and ISC_PASSWORD (default SYSDBA and ravenpike).
#include "BenchCommon.h"
#include "MainWindow.h"

#include <QAction>
#include <QApplication>
#include <QTimer>

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

namespace {

using bench::Clock;

enum class Phase { None, Validation, Backup, Restore };

const char* PhaseName(Phase phase) {
    switch (phase) {
        case Phase::Validation: return "sweep and mend";
        case Phase::Backup: return "backup";
        case Phase::Restore: return "restore";
        case Phase::None: break;
    }
    return "connection test, attach and detach";
}

struct Tick {
    Clock::time_point at;
    Phase phase;
};

// One turn of the output loop: the line appended, then the wait for the next line.
struct LoopTurn {
    Clock::time_point waitFrom;  // the append ended; GetNextLine runs
    Clock::time_point waitTo;    // the pending events are about to be processed
};

Phase CurrentPhase(tovanel::TFrmPrincipal& logic) {
    if (logic.IBBackupService.Active()) return Phase::Backup;
    if (logic.IBRestoreService.Active()) return Phase::Restore;
    if (logic.IBValidationService.Active()) return Phase::Validation;
    return Phase::None;
}

class MeasuredWindow : public tovanel::TMainWindow {
public:
    explicit MeasuredWindow(std::string newDatabase) : newDatabase_(std::move(newDatabase)) {}

    std::vector<LoopTurn> turns;
    std::vector<std::string> boxes;
    int errorBoxes = 0;
    long lines = 0;
    std::string lastLine;

    // When each phase's lines began and ended, to show where the repair's time goes.
    std::map<Phase, std::pair<Clock::time_point, Clock::time_point>> phaseLines;

    void AppendLog(const std::string& line) override {
        const auto now = Clock::now();
        const Phase phase = CurrentPhase(Logic());
        auto found = phaseLines.find(phase);
        if (found == phaseLines.end())
            phaseLines.emplace(phase, std::make_pair(now, now));
        else
            found->second.second = now;
        TMainWindow::AppendLog(line);
        ++lines;
        lastLine = line;
        appendEnded_ = Clock::now();
    }
    void ProcessPendingEvents() override {
        turns.push_back({appendEnded_, Clock::now()});
        TMainWindow::ProcessPendingEvents();
    }
    int ShowMessageBox(const std::string& text, const std::string& title, tovanel::MessageKind kind) override {
        boxes.push_back(title + ": " + text);
        if (kind != tovanel::MessageKind::Error) return tovanel::kButtonYes;
        ++errorBoxes;
        return tovanel::kButtonOk;
    }
    std::optional<std::string> ShowSaveDialog(const std::string&, const std::string&, tovanel::FileFilter) override {
        return newDatabase_;
    }

private:
    std::string newDatabase_;
    Clock::time_point appendEnded_;
};

// The server's share of the pause between two passes: the waits for lines that lie inside it.
double ServerWaitWithin(const std::vector<LoopTurn>& turns, Clock::time_point from, Clock::time_point to) {
    double wait = 0;
    for (const LoopTurn& turn : turns)
        if (turn.waitFrom >= from && turn.waitTo <= to) wait += bench::SecondsBetween(turn.waitFrom, turn.waitTo);
    return wait;
}

struct PhaseFigures {
    long passes = 0;
    double longest = 0;               // longest pause
    double longestServerWait = 0;     // the server's part of that pause
    double longestWhenServerFast = 0; // longest pause whose server wait stayed under 100 ms
    double longestProgramPart = 0;    // longest pause less its server wait
    long over100ms = 0;
};

}  // namespace

int main(int argc, char* argv[]) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: bench_responsiveness DAMAGED_DATABASE NEW_DATABASE\n");
        return 2;
    }
    if (!std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    std::setlocale(LC_ALL, "");
    QApplication app(argc, argv);
    const std::string source = argv[1];
    MeasuredWindow window(argv[2]);
    window.show();

    std::vector<Tick> ticks;
    QTimer everyPass;
    everyPass.setInterval(0);
    QObject::connect(&everyPass, &QTimer::timeout,
                     [&] { ticks.push_back({Clock::now(), CurrentPhase(window.Logic())}); });

    double repairSeconds = 0;
    Clock::time_point repairStart;
    QTimer::singleShot(0, [&] {
        window.SetCheckBoxChecked(false);
        window.SetEditText(tovanel::UiEdit::LblEditBancodeDados, source);
        window.SetEditText(tovanel::UiEdit::LblEdtUsuarioBD, bench::EnvOr("ISC_USER", "SYSDBA"));
        window.SetEditText(tovanel::UiEdit::MskEdtSenhaBD, bench::EnvOr("ISC_PASSWORD", "ravenpike"));
        auto* repair = window.findChild<QAction*>(QStringLiteral("ActnReparabanco"));
        everyPass.start();
        repairStart = Clock::now();
        repair->trigger();
        repairSeconds = bench::SecondsBetween(repairStart, Clock::now());
        everyPass.stop();
        QCoreApplication::exit(0);  // not quit(): that would ask the window to close, and it asks first
    });
    QApplication::exec();

    for (const std::string& box : window.boxes) std::printf("message box: %s\n", box.c_str());
    std::printf("repair %.3f s, %ld log lines, last \"%s\", %zu event-loop passes\n", repairSeconds, window.lines,
                window.lastLine.c_str(), ticks.size());

    if (!ticks.empty())
        std::printf("first pass of the event loop %.3f s after the command (connection test, then the sweep's "
                    "start, which returns when the sweep has ended)\n",
                    bench::SecondsBetween(repairStart, ticks.front().at));
    for (const auto& [phase, span] : window.phaseLines)
        std::printf("lines of %-36s from %7.3f s to %7.3f s after the command\n", PhaseName(phase),
                    bench::SecondsBetween(repairStart, span.first), bench::SecondsBetween(repairStart, span.second));

    std::map<Phase, PhaseFigures> figures;
    PhaseFigures between;
    for (std::size_t k = 1; k < ticks.size(); ++k) {
        const double pause = bench::SecondsBetween(ticks[k - 1].at, ticks[k].at);
        const double server = ServerWaitWithin(window.turns, ticks[k - 1].at, ticks[k].at);
        PhaseFigures& f = ticks[k - 1].phase == ticks[k].phase ? figures[ticks[k].phase] : between;
        ++f.passes;
        if (pause > f.longest) {
            f.longest = pause;
            f.longestServerWait = server;
        }
        if (server < 0.1) f.longestWhenServerFast = std::max(f.longestWhenServerFast, pause);
        f.longestProgramPart = std::max(f.longestProgramPart, pause - server);
        if (pause > 0.1) ++f.over100ms;
    }
    auto print = [](const char* name, const PhaseFigures& f) {
        std::printf("%-36s passes %7ld, longest pause %8.1f ms (server %8.1f ms), longest with server wait "
                    "< 100 ms %6.1f ms, longest program part %6.1f ms, pauses over 100 ms %ld\n",
                    name, f.passes, f.longest * 1e3, f.longestServerWait * 1e3, f.longestWhenServerFast * 1e3,
                    f.longestProgramPart * 1e3, f.over100ms);
    };
    for (const auto& [phase, f] : figures) print(PhaseName(phase), f);
    print("from one phase to the next", between);
    return window.errorBoxes == 0 && window.lastLine == "Processo concluido!" ? 0 : 1;
}
