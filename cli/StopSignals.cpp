#include "StopSignals.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <stdexcept>
#include <thread>

#include "CliRun.h"
#include "RescueWorkingCopy.h"

namespace tovanel::cli {
namespace {

constexpr const char* kGaveUp = "\ntovanel-cli: o resgate não parou a tempo; seus arquivos foram apagados.\n";

std::atomic<int> caught{0};

sigset_t StopSet() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    return set;
}

[[noreturn]] void WaitForStops(sigset_t set) {
    int signal = 0;
    while (sigwait(&set, &signal) != 0) {
    }
    caught.store(signal);
    if (!AnyRescueUnfinished()) EndProcessRemovingRescueFiles(kExitFailure);
    // Further signals change nothing: the grace runs out once.
    std::this_thread::sleep_for(kStopGrace);
    if (AnyRescueUnfinished()) {
        [[maybe_unused]] const ssize_t ignored = ::write(STDERR_FILENO, kGaveUp, std::strlen(kGaveUp));
    }
    EndProcessRemovingRescueFiles(kExitFailure);
}

}  // namespace

void CatchStopSignals() {
    const sigset_t set = StopSet();
    if (pthread_sigmask(SIG_BLOCK, &set, nullptr) != 0) throw std::runtime_error("pthread_sigmask");
    // Lives as long as the process.
    std::thread([set] { WaitForStops(set); }).detach();
}

int CaughtStopSignal() noexcept {
    return caught.load();
}

}  // namespace tovanel::cli
