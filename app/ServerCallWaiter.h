#pragma once
// The one way a job waits for the server. A client call that can block for long (an attach, a
// service start, an output query) runs on a worker thread while the user-interface thread keeps
// handling its pending events through the UI port, so the window repaints, its timer ticks and a
// second command or a close request meets the job guard instead of a frozen window. The client
// library is thread-safe and its status vector is per thread, so a failure raised on the worker is
// carried back and raised again here: the same exception object, with the same text.
//
// One call at a time: the window's handles are used by one job at a time, and a call asked for
// while another is waiting is a misuse (std::logic_error), never a second call on a busy handle.
// While a call has kept the server silent for over a second the port is told, about once a
// second, which phase is waiting and for how long; a front end may show it.

#include <chrono>
#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <type_traits>
#include <utility>

#include "UiPort.h"

namespace tovanel {

// Runs one client call to its end and raises what it raised: a front end's way of waiting for the
// server (the window's waiter, the rescue's runner), for code that must not know which.
using ServerCallRunner = std::function<void(const std::function<void()>& call)>;

class ServerCallWaiter {
public:
    using Clock = std::chrono::steady_clock;

    explicit ServerCallWaiter(UiPort& port);
    // Stops and joins the worker; no call is running by then (Run returns only after its call).
    ~ServerCallWaiter();
    ServerCallWaiter(const ServerCallWaiter&) = delete;
    ServerCallWaiter& operator=(const ServerCallWaiter&) = delete;

    // Runs `call` on the worker and returns its result, or raises what it raised, once it has
    // ended. Meanwhile the port's pending events are processed.
    template <class Call>
    std::invoke_result_t<Call&> Run(Call&& call) {
        using Result = std::invoke_result_t<Call&>;
        if constexpr (std::is_void_v<Result>) {
            RunOnWorker(std::function<void()>([&call] { call(); }));
        } else {
            std::optional<Result> result;
            RunOnWorker(std::function<void()>([&call, &result] { result.emplace(call()); }));
            return std::move(*result);
        }
    }

    // This waiter's Run as a runner.
    ServerCallRunner AsRunner() {
        return [this](const std::function<void()>& call) { Run(call); };
    }

    // Whether a call is running on the worker (a nested handler sees true).
    bool Waiting() const noexcept { return waiting_; }

    // What the user-interface thread handles while a call waits.
    enum class Input {
        Delivered,  // every event: the job has disabled what input could change
        Held,       // all but keyboard and mouse input, which waits for the call's end
    };

    // The phase the next calls belong to; its elapsed time counts from here.
    void BeginPhase(ServerPhase phase, Input input = Input::Delivered);
    ServerPhase Phase() const noexcept { return phase_; }

    // How long a call may take before the first pass over the pending events, and how often they
    // are processed after that. The grace keeps a quick call from handing the window events
    // between lines that it never had to wait for.
    static constexpr std::chrono::milliseconds kGrace{30};
    static constexpr std::chrono::milliseconds kEventInterval{20};
    // Quick calls in a row (a backup's output that is read but not shown) hand the window its
    // events after one of them once this long has gone by without a pass (with a call of up to the
    // grace on top, a pause stays well under the tenth of a second a user notices).
    static constexpr std::chrono::milliseconds kLongestWithoutPass{40};
    // Silence after which the port hears of it, and then how often.
    static constexpr std::chrono::seconds kSilenceShown{1};

private:
    void RunOnWorker(std::function<void()> call);
    void WorkerLoop();
    void WaitProcessingEvents(std::unique_lock<std::mutex>& lock);
    void ProcessEvents();
    void PassIfLongWithout();

    UiPort& port_;
    bool waiting_ = false;
    ServerPhase phase_ = ServerPhase::Connection;
    Input input_ = Input::Delivered;
    Clock::time_point phaseStart_ = Clock::now();
    Clock::time_point lastPass_ = Clock::now();

    std::mutex mutex_;
    std::condition_variable wake_;     // the worker: a call is posted, or stop
    std::condition_variable finished_; // the UI thread: the call has ended
    std::function<void()> task_;
    bool done_ = false;
    bool stop_ = false;
    std::exception_ptr failure_;
    std::thread worker_;  // started by the first call
};

}  // namespace tovanel
