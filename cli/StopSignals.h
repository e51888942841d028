#pragma once
// The operator's stop on a terminal: an interrupt (Ctrl-C), a termination or a hang-up. A rescue
// must not end where it stands, leaving its working copy behind, so these signals stop it: a
// thread of its own waits for them (every other thread has them blocked, so no client call is
// cut half way) and records the first; the rescue asks between its calls and ends as a failure,
// its files removed. A rescue that has not ended by the grace below (a call the server does not
// answer) has its files removed by that thread, which then ends the process; so does a signal
// that comes before the rescue has begun, at once, with nothing to remove.

#include <chrono>

namespace tovanel::cli {

inline constexpr std::chrono::seconds kStopGrace{5};

// Blocks SIGINT, SIGTERM and SIGHUP in this thread and in every thread made after it, and starts
// the thread that waits for them. Call it before any other thread is made; once per process.
void CatchStopSignals();

// The first stop signal caught, or 0.
int CaughtStopSignal() noexcept;

}  // namespace tovanel::cli
