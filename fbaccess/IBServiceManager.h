// The connection to the server's service manager: attach with a user name and password, start
// one administrative action from a start block, read the action's output, detach.
#pragma once

#include "ByteBuffer.h"
#include "ClientLibrary.h"
#include "IBErrors.h"
#include "ParamList.h"
#include "TraceFlags.h"

#include <ibase.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

enum class TProtocol : uint8_t { TCP = 0, SPX = 1, NamedPipe = 2, Local = 3 };

class TIBCustomService;

// Called after every successful attach.
using TNotifyEvent = std::function<void(TIBCustomService& Sender)>;
// Gets a copy of the parameter lines to fill in; the service then takes the copy as its Params.
using TIBLoginEvent = std::function<void(TIBCustomService& Database, TParamList& LoginParams)>;

class TIBCustomService {
public:
    TIBCustomService();
    virtual ~TIBCustomService();
    TIBCustomService(const TIBCustomService&) = delete;
    TIBCustomService& operator=(const TIBCustomService&) = delete;

    bool Active() const noexcept { return FHandle != 0; }
    void SetActive(bool Value);

    const std::string& ServerName() const noexcept { return FServerName; }
    void SetServerName(const std::string& Value);
    TProtocol Protocol() const noexcept { return FProtocol; }
    void SetProtocol(TProtocol Value);
    TParamList& Params() noexcept { return FParams; }
    const TParamList& Params() const noexcept { return FParams; }
    void SetParams(const TParamList& Value) { FParams.Assign(Value); }
    bool LoginPrompt() const noexcept { return FLoginPrompt; }
    void SetLoginPrompt(bool Value) noexcept { FLoginPrompt = Value; }
    TTraceFlags TraceFlags() const noexcept { return FTraceFlags; }
    void SetTraceFlags(TTraceFlags Value) noexcept { FTraceFlags = Value; }
    const TNotifyEvent& OnAttach() const noexcept { return FOnAttach; }
    void SetOnAttach(TNotifyEvent Value) { FOnAttach = std::move(Value); }
    const TIBLoginEvent& OnLogin() const noexcept { return FOnLogin; }
    void SetOnLogin(TIBLoginEvent Value) { FOnLogin = std::move(Value); }
    isc_svc_handle Handle() const noexcept { return FHandle; }

    void Attach();
    void Detach();

    // Loading from stored settings: while loading, writing Active is only remembered; Loaded
    // attaches when true was remembered.
    void BeginLoading() noexcept { FLoading = true; }
    virtual void Loaded();
    bool Loading() const noexcept { return FLoading; }

protected:
    // The client's status check: returns ErrCode, raising first when asked to and it failed.
    ISC_STATUS Call(ISC_STATUS ErrCode, bool RaiseError);
    // A failed client call: the handle is forgotten (no detach is tried), then the server's
    // error is raised.
    [[noreturn]] void ForgetHandleAndRaise();
    // Gives a subclass the chance to take a failed start or query's status as the action's
    // output instead of a failure; the handle is then kept.
    virtual bool TakeStatusAsOutput() { return false; }
    // Attaches first when stored settings asked for an attached service that is not attached.
    void CheckActive();

    // Sends FQueryParams, with the send items `Send` (none by default). Returns false when the
    // status of a failed query was taken as output (the output buffer then holds no answer).
    bool RunServiceQuery(std::string_view Send = {});
    // The part of the output buffer the client library was allowed to write.
    std::string_view Answer() const noexcept;

    std::string FQueryParams;
    isc_svc_handle FHandle = 0;
    std::shared_ptr<IGDSLibrary> FGDSLibrary;
    int32_t FBufferSize = 32000;
    TByteBuffer FOutputBuffer;

private:
    // The attach block for the lines; the block counts bytes of the converted values.
    static std::string BuildAttachSPB(const TParamList& Lines);
    std::string ServiceName() const;
    bool Login();
    void BeforeParamsChange();

    bool FIBLoaded = false;
    bool FParamsChanged = true;
    TByteBuffer FSPB;
    TByteBuffer FQuerySPB;
    int16_t FSPBLength = 0;
    int16_t FQuerySPBLength = 0;
    TTraceFlags FTraceFlags;
    TIBLoginEvent FOnLogin;
    bool FLoginPrompt = true;
    std::string FServerName;
    bool FStreamedActive = false;
    bool FLoading = false;
    TNotifyEvent FOnAttach;
    TProtocol FProtocol = TProtocol::Local;
    TParamList FParams;
};

class TIBControlService : public TIBCustomService {
public:
    void ServiceStart();
    bool IsServiceRunning();

protected:
    // Fills FStartParams with the action's start block; here it adds nothing.
    virtual void PrepareStartParams() {}
    // Appends a text item (nothing for an empty text) or an integer item.
    void AddStartParam(const std::string& Value, int Param);
    void AddStartParam(int32_t Value, int Param);
    void RunServiceStart();

    TBlockWriter FStartParams;

private:
    TByteBuffer FStartSPB;
    int32_t FStartSPBLength = 0;
};

class TIBControlAndQueryService : public TIBControlService {
public:
    // The next output line, or an empty string at the end of the output.
    std::string GetNextLine();
    // The next line as GetNextLine gives it, but the server answers within about `Wait` even
    // when the action has sent nothing meanwhile: nothing then (the output goes on).
    std::optional<std::string> GetNextLineWithin(std::chrono::seconds Wait);
    // As much output as the server sends at once, unconverted.
    std::string GetNextChunk();
    bool Eof() const noexcept { return FEof; }
    // The action's report came as the status of a start or query (see IsReportStatus).
    bool ReportTaken() const noexcept { return FReportTaken; }
    int32_t BufferSize() const noexcept { return FBufferSize; }
    void SetBufferSize(int32_t Value);

protected:
    // Every action's PrepareStartParams records its code before it builds the start block.
    void RecordAction(int32_t Action);
    // Whether a failed call's status is this action's report rather than a failure.
    virtual bool IsReportStatus(const ISC_STATUS* /*Status*/) const { return false; }
    // Whether a report status holds its heading alone. The server sometimes sends a start status
    // without the report's details; the following query's status then holds them.
    virtual bool IsHeadOnlyReport(const ISC_STATUS* /*Status*/) const { return false; }
    bool TakeStatusAsOutput() override;

    bool FEof = false;
    int32_t FAction = 0;

private:
    // The answer's data bytes after checking its first byte, length and end marker.
    std::string_view CheckedAnswer(char Item, std::string_view Markers);
    // GetNextLine's work; nothing when the server answered that `Send`'s wait ran out.
    std::optional<std::string> NextLine(std::string_view Send);
    std::string NextReportLine();
    // Asks the server once more for a report whose start status held its heading alone.
    void CompleteReport();

    // A report taken from a status: its lines, and how many were handed out.
    bool FReportTaken = false;
    std::vector<std::string> FReport;
    std::size_t FReportNext = 0;
    bool FReportHeadOnly = false;
};

class TIBBackupRestoreService : public TIBControlAndQueryService {
public:
    bool Verbose() const noexcept { return FVerbose; }
    void SetVerbose(bool Value) noexcept { FVerbose = Value; }

protected:
    // Items of backup and database files: lines "path" or "path=length"; blank lines skipped.
    void AddFileParams(const std::vector<std::string>& Lines, int FileParam, int LengthParam);

    bool FVerbose = false;
};

// Strict decimal reading of a whole number for the "path=length" lines.
int32_t StrToInt(std::string_view Text);
