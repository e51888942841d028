#pragma once
// A protected step with a clean-up that runs whether the step ended normally or by a failure;
// the failure then goes on to the caller. A failure of the clean-up itself takes its place.

#include <utility>

namespace tovanel {

template <class Body, class Cleanup>
void TryFinally(Body&& body, Cleanup&& cleanup) {
    try {
        std::forward<Body>(body)();
    } catch (...) {
        cleanup();
        throw;
    }
    cleanup();
}

}  // namespace tovanel
