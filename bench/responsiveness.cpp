// Responsiveness during a whole job in the real window (offscreen): a zero-interval timer marks
// every pass of the event loop, and the longest pause between two passes is reported for each
// phase of the job (the connection test, then the sweep, the mend, the backup and the restore of
// a repair, or the validation of a verification). The window's own log, output loops and waiting
// run unchanged; only its dialogs are answered here (Yes to the confirmation, the given file to
// the save dialog, No to the verification's offer to repair).
//
// A pause is split into the server's part and the program's part: the UI thread hands its events
// over from inside the wait for a server call, so a pause whose both ends lie in that wait is the
// wait's own sleep between two passes (the server's part), and everything else in a pause (the
// appending, painting, timers, the short client calls made on the UI thread) counts as the
// program's.
//
//   QT_QPA_PLATFORM=offscreen bench_responsiveness DATABASE NEW_DATABASE     (a repair)
//   QT_QPA_PLATFORM=offscreen bench_responsiveness --verify DATABASE         (a verification)
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
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace {

using bench::Clock;
using tovanel::ServerPhase;

// The phases in the order a job meets them; "none" before the first server call.
enum class Phase { None, Connection, Validation, Sweep, Mend, Backup, Restore };

Phase FromServerPhase(ServerPhase phase) {
    switch (phase) {
        case ServerPhase::Connection: return Phase::Connection;
        case ServerPhase::Validation: return Phase::Validation;
        case ServerPhase::Sweep: return Phase::Sweep;
        case ServerPhase::Mend: return Phase::Mend;
        case ServerPhase::Backup: return Phase::Backup;
        case ServerPhase::Restore: return Phase::Restore;
        case ServerPhase::Copy:
        case ServerPhase::Pump: break;  // the rescue's, not measured here
    }
    return Phase::None;
}

const char* PhaseName(Phase phase) {
    switch (phase) {
        case Phase::Connection: return "connection test";
        case Phase::Validation: return "validation";
        case Phase::Sweep: return "sweep";
        case Phase::Mend: return "mend";
        case Phase::Backup: return "backup";
        case Phase::Restore: return "restore";
        case Phase::None: break;
    }
    return "before the first server call";
}

struct Tick {
    Clock::time_point at;
    Phase phase;
    bool insideServerWait;  // the pass ran from inside the wait for a server call
};

class MeasuredWindow : public tovanel::TMainWindow {
public:
    explicit MeasuredWindow(std::string newDatabase) : newDatabase_(std::move(newDatabase)) {}

    std::vector<std::string> boxes;
    int errorBoxes = 0;
    long lines = 0;
    std::string lastLine;
    // The phase of the latest server call: a pass between two calls belongs to the one before.
    Phase phase = Phase::None;
    std::map<Phase, std::pair<Clock::time_point, Clock::time_point>> phaseSpan;

    Phase PhaseNow() {
        if (const auto waiting = Logic().ServerCallWaiting()) phase = FromServerPhase(*waiting);
        const auto now = Clock::now();
        auto found = phaseSpan.find(phase);
        if (found == phaseSpan.end())
            phaseSpan.emplace(phase, std::make_pair(now, now));
        else
            found->second.second = now;
        return phase;
    }
    void AppendLog(const std::string& line) override {
        TMainWindow::AppendLog(line);
        ++lines;
        lastLine = line;
    }
    int ShowMessageBox(const std::string& text, const std::string& title, tovanel::MessageKind kind) override {
        boxes.push_back(title + ": " + text);
        if (kind == tovanel::MessageKind::Error) {
            ++errorBoxes;
            return tovanel::kButtonOk;
        }
        // Yes to the confirmations; No to the verification's offer to repair.
        return kind == tovanel::MessageKind::QuestionYesDefault ? tovanel::kButtonNo : tovanel::kButtonYes;
    }
    std::optional<std::string> ShowSaveDialog(const std::string&, const std::string&, tovanel::FileFilter) override {
        return newDatabase_;
    }

private:
    std::string newDatabase_;
};

struct PhaseFigures {
    long passes = 0;
    double longest = 0;              // longest pause
    double longestServerPart = 0;    // the server's part of that pause
    double longestProgramPart = 0;   // longest program part of any pause
    long over100ms = 0;
};

}  // namespace

int main(int argc, char* argv[]) {
    const bool verify = argc >= 2 && std::strcmp(argv[1], "--verify") == 0;
    if (argc < 3) {
        std::fprintf(stderr, "usage: bench_responsiveness DATABASE NEW_DATABASE | --verify DATABASE\n");
        return 2;
    }
    if (!std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    std::setlocale(LC_ALL, "");
    QApplication app(argc, argv);
    const std::string source = verify ? argv[2] : argv[1];
    MeasuredWindow window(verify ? std::string() : argv[2]);
    window.show();

    std::vector<Tick> ticks;
    QTimer everyPass;
    everyPass.setInterval(0);
    QObject::connect(&everyPass, &QTimer::timeout, [&] {
        const bool waiting = window.Logic().ServerCallWaiting().has_value();
        ticks.push_back({Clock::now(), window.PhaseNow(), waiting});
    });

    double jobSeconds = 0;
    Clock::time_point jobStart;
    Clock::time_point jobEnd;
    QTimer::singleShot(0, [&] {
        window.SetCheckBoxChecked(false);
        window.SetEditText(tovanel::UiEdit::LblEditBancodeDados, source);
        window.SetEditText(tovanel::UiEdit::LblEdtUsuarioBD, bench::EnvOr("ISC_USER", "SYSDBA"));
        window.SetEditText(tovanel::UiEdit::MskEdtSenhaBD, bench::EnvOr("ISC_PASSWORD", "ravenpike"));
        const QString name = verify ? QStringLiteral("ActnVerificarBanco") : QStringLiteral("ActnReparabanco");
        auto* command = window.findChild<QAction*>(name);
        everyPass.start();
        jobStart = Clock::now();
        command->trigger();
        jobEnd = Clock::now();
        jobSeconds = bench::SecondsBetween(jobStart, jobEnd);
        everyPass.stop();
        QCoreApplication::exit(0);  // not quit(): that would ask the window to close, and it asks first
    });
    QApplication::exec();

    for (const std::string& box : window.boxes) std::printf("message box: %s\n", box.c_str());
    std::printf("%s %.3f s, %ld log lines, last \"%s\", %zu event-loop passes\n", verify ? "verification" : "repair",
                jobSeconds, window.lines, window.lastLine.c_str(), ticks.size());
    if (!ticks.empty())
        std::printf("first pass of the event loop %.3f s after the command\n",
                    bench::SecondsBetween(jobStart, ticks.front().at));
    for (const auto& [phase, span] : window.phaseSpan)
        std::printf("passes of %-30s from %8.3f s to %8.3f s after the command\n", PhaseName(phase),
                    bench::SecondsBetween(jobStart, span.first), bench::SecondsBetween(jobStart, span.second));

    std::map<Phase, PhaseFigures> figures;
    PhaseFigures whole;
    // The command's return is the end of its last pause: until then the loop gets no pass.
    if (!ticks.empty()) ticks.push_back({jobEnd, ticks.back().phase, false});
    for (std::size_t k = 1; k < ticks.size(); ++k) {
        const double pause = bench::SecondsBetween(ticks[k - 1].at, ticks[k].at);
        // Both ends inside one wait: the UI thread slept in it, the server worked.
        const bool waited = ticks[k - 1].insideServerWait && ticks[k].insideServerWait;
        const double server = waited ? pause : 0;
        for (PhaseFigures* f : {&figures[ticks[k].phase], &whole}) {
            ++f->passes;
            if (pause > f->longest) {
                f->longest = pause;
                f->longestServerPart = server;
            }
            f->longestProgramPart = std::max(f->longestProgramPart, pause - server);
            if (pause > 0.1) ++f->over100ms;
        }
    }
    auto print = [](const char* name, const PhaseFigures& f) {
        std::printf("%-30s passes %8ld, longest pause %8.1f ms (server %8.1f ms), longest program part %6.1f ms, "
                    "pauses over 100 ms %ld\n",
                    name, f.passes, f.longest * 1e3, f.longestServerPart * 1e3, f.longestProgramPart * 1e3,
                    f.over100ms);
    };
    for (const auto& [phase, f] : figures) print(PhaseName(phase), f);
    print("the whole job", whole);
    const bool ended = window.errorBoxes == 0 && (verify || window.lastLine == "Processo concluido!");
    return ended ? 0 : 1;
}
