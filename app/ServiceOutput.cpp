#include "ServiceOutput.h"

namespace tovanel {

namespace {

std::string NextLine(TIBControlAndQueryService& service, const ServerCallRunner& run) {
    std::string line;
    run([&] { line = service.GetNextLine(); });
    return line;
}

}  // namespace

std::size_t ReadServiceOutput(TIBControlAndQueryService& service, const ServerCallRunner& run,
                              const LineHandler& onLine) {
    std::size_t lines = 0;
    for (std::string line = NextLine(service, run); !line.empty(); line = NextLine(service, run)) {
        onLine(line);
        ++lines;
    }
    return lines;
}

}  // namespace tovanel
