// Questions to the service manager about the server itself, answered without starting an action.
#pragma once

#include "IBServiceManager.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The databases the server holds open right now, as the server names them.
struct TAttachedDatabases {
    int32_t Attachments = 0;
    int32_t Databases = 0;
    std::vector<std::string> Names;
};

class TIBServerInfoService : public TIBCustomService {
public:
    // isc_info_svc_svr_db_info: asked on the attached service; the service stays attached.
    TAttachedDatabases AttachedDatabases();
};

// Reads the answer to isc_info_svc_svr_db_info (item byte, then counts and names, then
// isc_info_flag_end). Raises EIBClientError ceOutputParsingError for anything else, also for a
// truncated answer, so a half-read list never passes for the whole one.
TAttachedDatabases ParseAttachedDatabases(std::string_view answer);
