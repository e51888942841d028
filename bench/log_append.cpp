// The log's cost per line: lines of 80 characters appended to the real main window's log widget
// (offscreen), each followed by a pass of the event loop, as the repair's output loop does.
// Reports the cost per line over the whole run and over its first and last thousand lines, and
// how much of it the append and the pass of the event loop take, and the process's peak resident
// memory; run one size per process for a clean memory figure:
//
//   QT_QPA_PLATFORM=offscreen bench_log_append --benchmark_filter='LogAppend/1000000$'
#include "BenchCommon.h"
#include "MainWindow.h"

#include <QApplication>
#include <algorithm>
#include <benchmark/benchmark.h>

#include <clocale>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// A line as wide as the server's verbose lines get, different for every number. Made as it is
// appended (a fraction of a microsecond), so the lines held in memory are the log's alone.
void LogLine(long number, std::string& text) {
    char line[96];
    const int length = std::snprintf(line, sizeof line, "gbak:    %012ld records written to table PEDIDOS_HISTORICO, page %08ld",
                                      number, number * 7 % 99999989);
    text.assign(line, static_cast<std::size_t>(std::min(length, 80)));
    text.resize(80, '.');
}

void LogAppend(benchmark::State& state) {
    const long lines = state.range(0);
    std::string text;
    double firstThousand = 0, lastThousand = 0, appendSeconds = 0, eventSeconds = 0;
    std::int64_t before = 0;
    for (auto _ : state) {
        tovanel::TMainWindow window;
        window.show();
        QApplication::processEvents();
        before = bench::ResidentKiB();
        const long edge = std::min<long>(1000, lines);
        const auto start = bench::Clock::now();
        auto mark = start;
        for (long n = 0; n < lines; ++n) {
            if (n == lines - edge) mark = bench::Clock::now();
            LogLine(n, text);
            const auto appendFrom = bench::Clock::now();
            window.AppendLog(text);
            const auto appended = bench::Clock::now();
            window.ProcessPendingEvents();
            appendSeconds += bench::SecondsBetween(appendFrom, appended);
            eventSeconds += bench::SecondsBetween(appended, bench::Clock::now());
            if (n + 1 == edge) firstThousand = bench::SecondsBetween(start, bench::Clock::now());
        }
        const auto end = bench::Clock::now();
        lastThousand = bench::SecondsBetween(mark, end);
        state.SetIterationTime(bench::SecondsBetween(start, end));
        state.counters["per_line_us"] = bench::SecondsBetween(start, end) / static_cast<double>(lines) * 1e6;
    }
    const double edge = static_cast<double>(std::min<long>(1000, lines));
    state.counters["first_1k_per_line_us"] = firstThousand / edge * 1e6;
    state.counters["last_1k_per_line_us"] = lastThousand / edge * 1e6;
    state.counters["append_part_us"] = appendSeconds / static_cast<double>(lines) * 1e6;
    state.counters["events_part_us"] = eventSeconds / static_cast<double>(lines) * 1e6;
    state.counters["rss_window_shown_MiB"] = static_cast<double>(before) / 1024.0;
    state.counters["peak_rss_MiB"] = static_cast<double>(bench::PeakResidentKiB()) / 1024.0;
}

BENCHMARK(LogAppend)->Arg(1000)->Arg(100000)->Arg(1000000)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char* argv[]) {
    if (!std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    std::setlocale(LC_ALL, "");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
