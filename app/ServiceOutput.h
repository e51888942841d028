#pragma once
// The one reader of a started service action's output: it asks for the next line, waiting off the
// user-interface thread, and hands every line to the caller, in the order the server sent them,
// until the empty line that ends the output. What a line means is the caller's business.

#include <cstddef>
#include <functional>
#include <string>

#include "IBServiceManager.h"
#include "ServerCallWaiter.h"

namespace tovanel {

using LineHandler = std::function<void(const std::string& line)>;

// Answers how many lines there were (0: the output was empty from the start).
std::size_t ReadServiceOutput(TIBControlAndQueryService& service, const ServerCallRunner& run,
                              const LineHandler& onLine);

inline std::size_t ReadServiceOutput(TIBControlAndQueryService& service, ServerCallWaiter& waiter,
                                     const LineHandler& onLine) {
    return ReadServiceOutput(service, waiter.AsRunner(), onLine);
}

}  // namespace tovanel
