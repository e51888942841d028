#include "IBServerLogService.h"

#include "Text8Bit.h"

namespace {

// The largest answer the client library can be told about (its length is 16 bits).
constexpr int32_t kLogChunkSize = 65535;

}  // namespace

TIBServerLogService::TIBServerLogService()
{
    SetBufferSize(kLogChunkSize);
}

void TIBServerLogService::PrepareStartParams()
{
    RecordAction(isc_action_svc_get_fb_log);
    FStartParams = TBlockWriter();
    FStartParams.Byte(isc_action_svc_get_fb_log);
}

std::string TIBServerLogService::FetchLog()
{
    ServiceStart();
    std::string log;
    while (!Eof())
        log += GetNextChunk();
    return FromLocal8Bit(log);
}
