// The reading of a service action's output: GetNextLine, GetNextChunk and IsServiceRunning
// over answers of any bytes and failures of any status, with any output buffer size. Each
// read either returns or raises the access layer's error; nothing is read outside the answer.
#include "FuzzSupport.h"
#include "IBBackupService.h"
#include "IBRestoreService.h"
#include "IBValidationService.h"

#include <memory>

namespace {

using fuzzsupport::Require;

std::unique_ptr<TIBControlAndQueryService> ServiceFrom(FuzzedDataProvider& input)
{
    switch (input.ConsumeIntegralInRange(0, 2)) {
    case 0: {
        auto service = std::make_unique<TIBValidationService>();
        service->SetDatabaseName("/data/banco.fdb");
        service->SetOptions(TValidateOptions::FromBits(input.ConsumeIntegral<uint8_t>()));
        return service;
    }
    case 1: {
        auto service = std::make_unique<TIBBackupService>();
        service->SetDatabaseName("/data/banco.fdb");
        service->SetBackupFile(TParamList{"/data/banco.GBK"});
        service->SetVerbose(true);
        return service;
    }
    default: {
        auto service = std::make_unique<TIBRestoreService>();
        service->SetDatabaseName(TParamList{"/data/banco_NOVO.FDB"});
        service->SetBackupFile(TParamList{"/data/banco.GBK"});
        service->SetVerbose(true);
        return service;
    }
    }
}

// The next answer of isc_service_query: bytes of the input, or a failure.
void ScriptQuery(FuzzedDataProvider& input)
{
    if (input.ConsumeIntegralInRange(0, 7) == 0)
        fakeclient::Push("isc_service_query", fuzzsupport::FailureFrom(input));
    else
        fakeclient::Push("isc_service_query", fakeclient::Output(input.ConsumeRandomLengthString(512)));
}

std::size_t QueryCount()
{
    return fakeclient::CallsTo("isc_service_query").size();
}

void ReadOutput(TIBControlAndQueryService& service, FuzzedDataProvider& input)
{
    for (int step = 0; step < 16 && input.remaining_bytes() > 0; ++step) {
        const int operation = input.ConsumeIntegralInRange(0, 2);
        ScriptQuery(input);
        const bool wasEof = service.Eof();
        const std::size_t queriesBefore = QueryCount();
        if (operation == 0) {
            const std::string line = service.GetNextLine();
            Require(fuzzsupport::IsValidUtf8(line), "a line is UTF-8");
            Require(line.empty() == service.Eof(), "an empty line and only an empty line ends the output");
            if (wasEof)
                Require(QueryCount() == queriesBefore, "after the end no query is sent");
        } else if (operation == 1) {
            const std::string chunk = service.GetNextChunk();
            Require(chunk.find('\0') == std::string::npos, "a chunk ends before its first zero byte");
            if (wasEof)
                Require(chunk.empty() && QueryCount() == queriesBefore, "after the end no query is sent");
        } else {
            (void)service.IsServiceRunning();
        }
        fakeclient::Reset();
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzzsupport::Init();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    fakeclient::Reset();
    std::unique_ptr<TIBControlAndQueryService> service = ServiceFrom(input);
    service->SetServerName("localhost");
    service->Params().SetValue("user_name", "SYSDBA");
    service->Params().SetValue("password", "masterkey");
    service->SetLoginPrompt(false);
    // Any size the property takes; the client is told at most the low 16 bits of it.
    service->SetBufferSize(input.ConsumeIntegralInRange<int32_t>(-2, 70000));
    try {
        service->Attach();
        if (input.ConsumeIntegralInRange(0, 3) == 0)
            fakeclient::Push("isc_service_start", fuzzsupport::FailureFrom(input));
        service->ServiceStart();
        ReadOutput(*service, input);
    } catch (const EIBError&) {
        // The access layer's own refusal or the client's failure: both are answers.
    }
    fakeclient::Reset();
    return 0;
}
