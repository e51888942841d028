#include "ServiceOutput.h"

namespace tovanel {

std::size_t ReadServiceOutput(TIBControlAndQueryService& service, ServerCallWaiter& waiter,
                              const LineHandler& onLine) {
    std::size_t lines = 0;
    for (std::string line = waiter.Run([&] { return service.GetNextLine(); }); !line.empty();
         line = waiter.Run([&] { return service.GetNextLine(); })) {
        onLine(line);
        ++lines;
    }
    return lines;
}

}  // namespace tovanel
