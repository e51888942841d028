// The server's own log, handed over by the service manager (administrators only).
#pragma once

#include "IBServiceManager.h"

#include <string>

class TIBServerLogService : public TIBControlAndQueryService {
public:
    TIBServerLogService();

    // Starts the action and reads the whole log, as large chunks (one line per round trip
    // would take minutes on a log of a hundred megabytes). The text is converted from 8 bits.
    std::string FetchLog();

protected:
    void PrepareStartParams() override;
};
