// The waiting mechanism alone, over the fake UI port: a call runs on another thread while the
// port's events are processed, its result or its failure comes back unchanged, and a second call
// while one waits is refused.

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <stdexcept>
#include <thread>

#include "FakeUiPort.h"
#include "IBErrors.h"
#include "ServerCallWaiter.h"

namespace tovanel::testing {
namespace {

// A call that blocks until the test's event hook lets it go, so nothing depends on timing.
class Gate {
public:
    void Wait() { opened_.get_future().wait(); }
    void Open() {
        if (!open_) opened_.set_value();
        open_ = true;
    }

private:
    std::promise<void> opened_;
    bool open_ = false;
};

TEST(ServerCallWaiter, RunsTheCallOffThisThreadWhileThePortsEventsAreProcessed) {
    FakeUiPort port;
    ServerCallWaiter waiter(port);
    Gate gate;
    std::thread::id callThread;
    bool waitingSeenInsideEvents = false;
    port.onProcessPendingEvents = [&] {
        waitingSeenInsideEvents = waiter.Waiting();
        gate.Open();
    };
    const int answer = waiter.Run([&] {
        callThread = std::this_thread::get_id();
        gate.Wait();
        return 42;
    });
    EXPECT_EQ(answer, 42);
    EXPECT_NE(callThread, std::this_thread::get_id());
    EXPECT_GT(port.pendingEventsProcessed, 0);
    EXPECT_TRUE(waitingSeenInsideEvents);
    EXPECT_FALSE(waiter.Waiting());
}

// Output that is read but not shown comes as many quick calls: the window still gets its events
// between two of them, as a job that is still running (a command then meets the job guard).
TEST(ServerCallWaiter, QuickCallsInARowStillHandTheWindowItsEvents) {
    FakeUiPort port;
    ServerCallWaiter waiter(port);
    waiter.BeginPhase(ServerPhase::ReadCheck);
    bool waitingInEveryPass = true;
    port.onProcessPendingEvents = [&] { waitingInEveryPass = waitingInEveryPass && waiter.Waiting(); };
    const auto start = ServerCallWaiter::Clock::now();
    while (ServerCallWaiter::Clock::now() - start < 4 * ServerCallWaiter::kLongestWithoutPass)
        waiter.Run([] { std::this_thread::sleep_for(std::chrono::milliseconds(1)); });
    EXPECT_GE(port.pendingEventsProcessed, 2);
    EXPECT_TRUE(waitingInEveryPass);
}

TEST(ServerCallWaiter, AFailureOnTheWorkerArrivesAsTheSameExceptionWithTheSameText) {
    FakeUiPort port;
    ServerCallWaiter waiter(port);
    Gate gate;
    port.onProcessPendingEvents = [&] { gate.Open(); };
    try {
        waiter.Run([&] {
            gate.Wait();
            throw EIBInterBaseError(-902, 335544344, "I/O error during \"open\"");
        });
        FAIL() << "the failure did not arrive";
    } catch (const EIBInterBaseError& failure) {
        EXPECT_STREQ(failure.what(), "I/O error during \"open\"");
        EXPECT_EQ(failure.SQLCode(), -902);
        EXPECT_EQ(failure.IBErrorCode(), 335544344);
    }
    EXPECT_FALSE(waiter.Waiting());
    EXPECT_EQ(waiter.Run([] { return 7; }), 7) << "the worker is still usable";
}

TEST(ServerCallWaiter, ASecondCallWhileOneWaitsIsAMisuseAndTheFirstGoesOn) {
    FakeUiPort port;
    ServerCallWaiter waiter(port);
    Gate gate;
    bool refused = false;
    port.onProcessPendingEvents = [&] {
        try {
            waiter.Run([] {});
        } catch (const std::logic_error&) {
            refused = true;
        }
        gate.Open();
    };
    waiter.Run([&] { gate.Wait(); });
    EXPECT_TRUE(refused);
}

TEST(ServerCallWaiter, AFailureWhileHandlingEventsWaitsForTheCallThenArrives) {
    FakeUiPort port;
    ServerCallWaiter waiter(port);
    Gate gate;
    bool callEnded = false;
    port.onProcessPendingEvents = [&] {
        gate.Open();
        throw std::runtime_error("event failed");
    };
    EXPECT_THROW(waiter.Run([&] {
        gate.Wait();
        callEnded = true;
    }),
                 std::runtime_error);
    EXPECT_TRUE(callEnded) << "the call's objects stay alive until it has ended";
}

}  // namespace
}  // namespace tovanel::testing
