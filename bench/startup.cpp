// Start-up: from the start of a new process to the main window shown (its first paint done and
// the event loop idle again), and the resident memory at that moment. The child process starts
// up as the window program does (locale, application object, toolkit translations, the main
// window with FormCreate, show); only the measuring is added.
//
//   QT_QPA_PLATFORM=offscreen bench_startup [RUNS]
//
// The parent reads the monotonic clock just before fork, so loading the program and its
// libraries counts.
#include "BenchCommon.h"
#include "MainWindow.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTimer>
#include <QTranslator>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cinttypes>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

std::int64_t NowNanoseconds() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(bench::Clock::now().time_since_epoch()).count();
}

// Notes the first paint of any widget; once the event loop has handled what was queued with it,
// the window counts as shown.
class FirstPaint : public QObject {
public:
    explicit FirstPaint(std::int64_t started, int reportFd) : started_(started), reportFd_(reportFd) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && !seen_) {
            seen_ = true;
            QTimer::singleShot(0, [this] { Report(); });
        }
        return QObject::eventFilter(watched, event);
    }

private:
    void Report() {
        const double ms = static_cast<double>(NowNanoseconds() - started_) / 1e6;
        const std::string line = std::to_string(ms) + " " + std::to_string(bench::ResidentKiB()) + " " +
                                 std::to_string(bench::PeakResidentKiB()) + "\n";
        if (::write(reportFd_, line.data(), line.size()) < 0) std::perror("write");
        QCoreApplication::exit(0);  // not quit(): that would ask the window to close, and it asks first
    }

    std::int64_t started_;
    int reportFd_;
    bool seen_ = false;
};

int Child(std::int64_t started, int reportFd, int argc, char* argv[]) {
    std::setlocale(LC_ALL, "");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tovanel"));
    QTranslator translator;
    if (translator.load(QLocale::system(), QStringLiteral("qtbase"), QStringLiteral("_"),
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        app.installTranslator(&translator);
    FirstPaint watch(started, reportFd);
    app.installEventFilter(&watch);
    auto window = std::make_unique<tovanel::TMainWindow>();
    window->show();
    return QApplication::exec();
}

struct Sample {
    double ms = 0;
    double rssMiB = 0;
    double peakMiB = 0;
};

Sample RunOnce(const char* self) {
    int channel[2];
    if (::pipe(channel) != 0) throw std::runtime_error("pipe");
    const std::int64_t started = NowNanoseconds();
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(channel[0]);
        const std::string startedText = std::to_string(started), fdText = std::to_string(channel[1]);
        ::execl(self, self, "--child", startedText.c_str(), fdText.c_str(), static_cast<char*>(nullptr));
        std::_Exit(127);
    }
    ::close(channel[1]);
    std::string report;
    char buffer[256];
    for (ssize_t got; (got = ::read(channel[0], buffer, sizeof buffer)) > 0;) report.append(buffer, static_cast<std::size_t>(got));
    ::close(channel[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    Sample sample;
    long long rss = 0, peak = 0;
    if (std::sscanf(report.c_str(), "%lf %lld %lld", &sample.ms, &rss, &peak) != 3)
        throw std::runtime_error("the child reported nothing (status " + std::to_string(status) + ")");
    sample.rssMiB = static_cast<double>(rss) / 1024.0;
    sample.peakMiB = static_cast<double>(peak) / 1024.0;
    return sample;
}

}  // namespace

int main(int argc, char* argv[]) try {
    if (argc >= 4 && std::string(argv[1]) == "--child") {
        int childArgc = 1;
        return Child(std::strtoll(argv[2], nullptr, 10), std::atoi(argv[3]), childArgc, argv);
    }
    if (!std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    const int runs = argc > 1 ? std::atoi(argv[1]) : 20;
    std::vector<double> times, rss, peaks;
    RunOnce("/proc/self/exe");  // untimed: brings the program and its libraries into the page cache
    for (int run = 1; run <= runs; ++run) {
        const Sample sample = RunOnce("/proc/self/exe");
        std::printf("run %2d: shown after %7.1f ms, resident %6.1f MiB (peak %6.1f MiB)\n", run, sample.ms,
                    sample.rssMiB, sample.peakMiB);
        times.push_back(sample.ms);
        rss.push_back(sample.rssMiB);
        peaks.push_back(sample.peakMiB);
    }
    std::printf("median: shown after %.1f ms, resident %.1f MiB (peak %.1f MiB); slowest %.1f ms\n",
                bench::Median(times), bench::Median(rss), bench::Median(peaks),
                *std::max_element(times.begin(), times.end()));
    return 0;
} catch (const std::exception& failure) {
    std::fprintf(stderr, "bench_startup: %s\n", failure.what());
    return 1;
}
