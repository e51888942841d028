#include "ServerCallWaiter.h"

#include <stdexcept>

namespace tovanel {

namespace {

// Clears the waiting mark however the wait ends.
class WaitingMark {
public:
    explicit WaitingMark(bool& mark) : mark_(mark) { mark_ = true; }
    ~WaitingMark() { mark_ = false; }
    WaitingMark(const WaitingMark&) = delete;
    WaitingMark& operator=(const WaitingMark&) = delete;

private:
    bool& mark_;
};

}  // namespace

ServerCallWaiter::ServerCallWaiter(UiPort& port) : port_(port) {}

ServerCallWaiter::~ServerCallWaiter() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_one();
    if (worker_.joinable()) worker_.join();
}

void ServerCallWaiter::BeginPhase(ServerPhase phase, Input input) {
    phase_ = phase;
    input_ = input;
    phaseStart_ = Clock::now();
    lastPass_ = phaseStart_;
}

void ServerCallWaiter::RunOnWorker(std::function<void()> call) {
    if (waiting_) throw std::logic_error("a server call was asked for while another one is running");
    WaitingMark mark(waiting_);
    std::unique_lock lock(mutex_);
    if (!worker_.joinable()) worker_ = std::thread([this] { WorkerLoop(); });
    task_ = std::move(call);
    done_ = false;
    failure_ = nullptr;
    wake_.notify_one();
    WaitProcessingEvents(lock);
    if (failure_) std::rethrow_exception(std::exchange(failure_, nullptr));
    lock.unlock();
    PassIfLongWithout();
}

void ServerCallWaiter::ProcessEvents() {
    if (input_ == Input::Held)
        port_.ProcessPendingEventsHoldingInput();
    else
        port_.ProcessPendingEvents();
    lastPass_ = Clock::now();
}

void ServerCallWaiter::PassIfLongWithout() {
    if (Clock::now() - lastPass_ >= kLongestWithoutPass) ProcessEvents();
}

void ServerCallWaiter::WorkerLoop() {
    std::unique_lock lock(mutex_);
    while (true) {
        wake_.wait(lock, [this] { return stop_ || task_; });
        if (stop_) return;
        std::function<void()> task = std::move(task_);
        task_ = nullptr;
        lock.unlock();
        std::exception_ptr failure;
        try {
            task();
        } catch (...) {
            failure = std::current_exception();
        }
        lock.lock();
        failure_ = failure;
        done_ = true;
        finished_.notify_one();
    }
}

// The call's objects live on this thread's stack, so this returns only when the call has ended,
// also when handling the events fails; that failure is raised afterwards unless the call's own
// failure takes precedence.
void ServerCallWaiter::WaitProcessingEvents(std::unique_lock<std::mutex>& lock) {
    const Clock::time_point start = Clock::now();
    Clock::time_point nextPass = start + kGrace;
    Clock::time_point nextSilence = start + kSilenceShown;
    bool silenceShown = false;
    std::exception_ptr eventFailure;
    while (!finished_.wait_until(lock, nextPass, [this] { return done_; })) {
        if (eventFailure) {
            nextPass = Clock::now() + kEventInterval;
            continue;
        }
        lock.unlock();
        try {
            ProcessEvents();
            const Clock::time_point now = Clock::now();
            if (now >= nextSilence) {
                using std::chrono::milliseconds;
                port_.ShowServerSilence(phase_, std::chrono::duration_cast<milliseconds>(now - phaseStart_));
                silenceShown = true;
                nextSilence += kSilenceShown;
            }
        } catch (...) {
            eventFailure = std::current_exception();
        }
        lock.lock();
        nextPass = Clock::now() + kEventInterval;
    }
    if (silenceShown) {
        lock.unlock();
        try {
            port_.EndServerSilence();
        } catch (...) {
            if (!eventFailure) eventFailure = std::current_exception();
        }
        lock.lock();
    }
    if (eventFailure && !failure_) failure_ = eventFailure;
}

}  // namespace tovanel
