#include "IBServiceManager.h"

#include "AsciiCase.h"
#include "ServerLimits.h"
#include "Text8Bit.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <limits>

namespace {

constexpr uint8_t kSpbVersion = isc_spb_version;
constexpr uint8_t kSpbCurrentVersion = isc_spb_current_version;

struct TAttachParam {
    std::string_view Name;
    uint8_t Code;
    bool Accepted;
};

// Looked up in this order; only the credentials and the instance name may go into the block.
constexpr std::array<TAttachParam, 13> kAttachParams{{
    {"user_name", isc_spb_user_name, true},
    {"sys_user_name", isc_spb_sys_user_name, false},
    {"sys_user_name_enc", isc_spb_sys_user_name_enc, false},
    {"password", isc_spb_password, true},
    {"password_enc", isc_spb_password_enc, false},
    {"command_line", isc_spb_command_line, false},
    {"db_name", isc_spb_dbname, false},
    {"verbose", isc_spb_verbose, false},
    {"options", isc_spb_options, false},
    {"connect_timeout", isc_spb_connect_timeout, false},
    {"dummy_packet_interval", isc_spb_dummy_packet_interval, false},
    {"sql_role_name", isc_spb_sql_role_name, false},
    {"instance_name", 75, true},
}};

constexpr std::string_view kSpbPrefix = "isc_spb_";

// Empty, or nothing but blanks and control characters.
bool IsBlank(std::string_view text)
{
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) <= ' '; });
}

const TAttachParam* FindAttachParam(std::string_view name)
{
    for (const auto& row : kAttachParams)
        if (row.Name == name)
            return &row;
    return nullptr;
}

// The name of a Params line as the table knows it: lower case, one "isc_spb_" prefix removed.
std::string AttachParamName(std::string_view line)
{
    std::string name = AsciiLower(TParamList::NameOf(line));
    if (name.starts_with(kSpbPrefix))
        name.erase(0, kSpbPrefix.size());
    return name;
}

// Login step without a handler: there is no login dialog in this layer, so it cannot succeed.
bool AskLoginDialog()
{
    return false;
}

}  // namespace

int32_t StrToInt(std::string_view Text)
{
    std::string_view digits = Text;
    if (digits.size() > 1 && digits.front() == '+' && digits[1] != '-')
        digits.remove_prefix(1);
    int32_t value = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (digits.empty() || error != std::errc() || end != digits.data() + digits.size())
        throw EConvertError::InvalidInteger(Text);
    return value;
}

// ---------------------------------------------------------------------------------------------
// TIBCustomService

TIBCustomService::TIBCustomService()
{
    FGDSLibrary = GDSLibraryInstance();
    FIBLoaded = false;
    FGDSLibrary->CheckIBLoaded();
    FIBLoaded = true;
    FParams.SetOnBeforeChange([this] { BeforeParamsChange(); });
    FParams.SetOnChange([this] { FParamsChanged = true; });
}

TIBCustomService::~TIBCustomService()
{
    if (FIBLoaded && Active()) {
        try {
            Detach();
        } catch (...) {
            // Nothing can be reported from a destructor; the handle is forgotten either way.
        }
    }
}

void TIBCustomService::BeforeParamsChange()
{
    if (Active())
        RaiseClientError(ceServiceAttached);
}

void TIBCustomService::SetActive(bool Value)
{
    if (FLoading) {
        FStreamedActive = Value;
        return;
    }
    if (Value == Active())
        return;
    if (Value)
        Attach();
    else
        Detach();
}

void TIBCustomService::Loaded()
{
    FLoading = false;
    if (FStreamedActive && !Active())
        Attach();
}

void TIBCustomService::CheckActive()
{
    if (FStreamedActive && !Active())
        Loaded();
}

void TIBCustomService::SetServerName(const std::string& Value)
{
    if (Value == FServerName)
        return;
    if (Active())
        RaiseClientError(ceServiceAttached);
    FServerName = Value;
    if (FProtocol == TProtocol::Local && !FServerName.empty())
        FProtocol = TProtocol::TCP;
    else if (FProtocol != TProtocol::Local && FServerName.empty())
        FProtocol = TProtocol::Local;
}

void TIBCustomService::SetProtocol(TProtocol Value)
{
    if (Value == FProtocol)
        return;
    if (Active())
        RaiseClientError(ceServiceAttached);
    FProtocol = Value;
    if (FProtocol == TProtocol::Local)
        FServerName.clear();
}

ISC_STATUS TIBCustomService::Call(ISC_STATUS ErrCode, bool RaiseError)
{
    return CheckStatusResult(ErrCode, RaiseError);
}

void TIBCustomService::ForgetHandleAndRaise()
{
    FHandle = 0;
    RaiseStatusError();
}

std::string TIBCustomService::BuildAttachSPB(const TParamList& Lines)
{
    TBlockWriter block;
    block.Byte(kSpbVersion).Byte(kSpbCurrentVersion);
    for (const std::string& line : Lines.Lines()) {
        if (IsBlank(TParamList::NameOf(line)))
            continue;
        const TAttachParam* row = FindAttachParam(AttachParamName(line));
        if (row == nullptr)
            RaiseClientError(ceSPBConstantUnknown);
        if (!row->Accepted)
            RaiseClientError(ceSPBConstantNotSupported);
        const std::string value = ToLocal8Bit(TParamList::ValueOf(line));
        if (row->Code == isc_spb_user_name)
            CheckUserNameLength(value, "Value of isc_spb_user_name");
        block.Item8(row->Code, value);
    }
    // The client takes the block's length as a signed 16-bit number.
    if (block.Size() > static_cast<std::size_t>(std::numeric_limits<int16_t>::max()))
        RaiseValueTooLong(block.Size(), static_cast<std::size_t>(std::numeric_limits<int16_t>::max()));
    return block.Take();
}

bool TIBCustomService::Login()
{
    if (FOnLogin) {
        TParamList loginParams(FParams);
        FOnLogin(*this, loginParams);
        FParams.Assign(loginParams);
        return true;
    }
    return AskLoginDialog();
}

std::string TIBCustomService::ServiceName() const
{
    switch (FProtocol) {
    case TProtocol::TCP: return FServerName + ":service_mgr";
    case TProtocol::SPX: return FServerName + "@service_mgr";
    case TProtocol::NamedPipe: return "\\\\" + FServerName + "\\service_mgr";
    case TProtocol::Local: break;
    }
    return "service_mgr";
}

void TIBCustomService::Attach()
{
    if (Active())
        RaiseClientError(ceServiceAttached);
    if (FServerName.empty() && FProtocol != TProtocol::Local)
        RaiseClientError(ceServerNameMissing);
    if (FLoginPrompt && !Login())
        RaiseClientError(ceOperationCancelled);
    if (FParamsChanged) {
        // The flag stays set until a build succeeds, so a failed build never leaves a block
        // whose recorded length differs from its bytes.
        const std::string block = BuildAttachSPB(FParams);
        FSPB.Assign(block);
        FSPBLength = static_cast<int16_t>(block.size());
        FParamsChanged = false;
    }
    const std::string name = ToLocal8Bit(ServiceName());
    if (name.size() > std::numeric_limits<uint16_t>::max())
        RaiseValueTooLong(name.size(), std::numeric_limits<uint16_t>::max());
    if (Call(FGDSLibrary->isc_service_attach(ThreadStatusVector(), static_cast<unsigned short>(name.size()),
                                             name.data(), &FHandle, static_cast<unsigned short>(FSPBLength),
                                             FSPB.Data()),
             false) > 0)
        ForgetHandleAndRaise();
    if (FOnAttach)
        FOnAttach(*this);
}

void TIBCustomService::Detach()
{
    CheckActive();
    if (!Active())
        RaiseClientError(ceServiceNotAttached);
    const ISC_STATUS result = FGDSLibrary->isc_service_detach(ThreadStatusVector(), &FHandle);
    FHandle = 0;
    if (Call(result, false) > 0)
        RaiseStatusError();
}

std::string_view TIBCustomService::Answer() const noexcept
{
    // The client is told the low 16 bits of BufferSize, never more than the buffer holds.
    const auto told = static_cast<std::size_t>(static_cast<uint16_t>(FBufferSize));
    return FOutputBuffer.View().substr(0, std::min(told, FOutputBuffer.Size()));
}

bool TIBCustomService::RunServiceQuery(std::string_view Send)
{
    if (FQueryParams.empty())
        RaiseClientError(ceQueryParamsError);
    FQuerySPBLength = static_cast<int16_t>(FQueryParams.size());
    FQuerySPB.Assign(FQueryParams);
    if (!FOutputBuffer.Allocated())
        FOutputBuffer.Resize(static_cast<std::size_t>(std::max(FBufferSize, 0)), 0);
    const auto bufferLength = static_cast<unsigned short>(Answer().size());
    const ISC_STATUS result = FGDSLibrary->isc_service_query(
        ThreadStatusVector(), &FHandle, nullptr, static_cast<unsigned short>(Send.size()),
        Send.empty() ? nullptr : Send.data(), static_cast<unsigned short>(FQuerySPBLength),
        FQuerySPB.Data(), bufferLength, FOutputBuffer.Data());
    FQuerySPB.Release();
    FQuerySPBLength = 0;
    FQueryParams.clear();
    if (Call(result, false) > 0) {
        if (TakeStatusAsOutput())
            return false;
        ForgetHandleAndRaise();
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// TIBControlService

void TIBControlService::ServiceStart()
{
    CheckActive();
    if (!Active())
        RaiseClientError(ceServiceNotAttached);
    try {
        PrepareStartParams();
    } catch (...) {
        // A block left half-built by a refused value must never be sent by a later start.
        FStartParams = TBlockWriter();
        throw;
    }
    RunServiceStart();
}

void TIBControlService::AddStartParam(const std::string& Value, int Param)
{
    if (Value.empty())
        return;
    FStartParams.Item16(static_cast<uint8_t>(Param), ToLocal8Bit(Value));
}

void TIBControlService::AddStartParam(int32_t Value, int Param)
{
    FStartParams.Byte(static_cast<uint8_t>(Param)).Int32(Value);
}

void TIBControlService::RunServiceStart()
{
    const std::string block = FStartParams.Take();
    FStartParams = TBlockWriter();
    if (block.empty())
        RaiseClientError(ceStartParamsError);
    // The client takes the length as 16 bits; a longer block would be sent cut short.
    if (block.size() > std::numeric_limits<uint16_t>::max())
        RaiseValueTooLong(block.size(), std::numeric_limits<uint16_t>::max());
    FStartSPBLength = static_cast<int32_t>(block.size());
    FStartSPB.Assign(block);
    const ISC_STATUS result = FGDSLibrary->isc_service_start(
        ThreadStatusVector(), &FHandle, nullptr, static_cast<unsigned short>(FStartSPBLength), FStartSPB.Data());
    FStartSPB.Release();
    FStartSPBLength = 0;
    if (Call(result, false) > 0 && !TakeStatusAsOutput())
        ForgetHandleAndRaise();
}

bool TIBControlService::IsServiceRunning()
{
    FQueryParams.assign(1, static_cast<char>(isc_info_svc_running));
    // A report taken from the query's status means the action has ended.
    if (!RunServiceQuery())
        return false;
    const std::string_view answer = Answer();
    if (answer.size() < 5 || answer[0] != static_cast<char>(isc_info_svc_running))
        RaiseClientError(ceOutputParsingError);
    return FGDSLibrary->isc_vax_integer(answer.data() + 1, 4) == 1;
}

// ---------------------------------------------------------------------------------------------
// TIBControlAndQueryService

void TIBControlAndQueryService::SetBufferSize(int32_t Value)
{
    if (Value == FBufferSize)
        return;
    FBufferSize = Value;
    if (FOutputBuffer.Allocated())
        FOutputBuffer.Resize(static_cast<std::size_t>(std::max(FBufferSize, 0)), 0);
}

void TIBControlAndQueryService::RecordAction(int32_t Action)
{
    FAction = Action;
    FEof = false;
    FReportTaken = false;
    FReport.clear();
    FReportNext = 0;
    FReportHeadOnly = false;
}

bool TIBControlAndQueryService::TakeStatusAsOutput()
{
    if (!IsReportStatus(ThreadStatusVector()))
        return false;
    const std::string text = StatusMessage(ThreadStatusVector());
    FReport.clear();
    FReportNext = 0;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        // An empty line would read as the end of the output.
        if (!line.empty())
            FReport.push_back(std::move(line));
        start = end + 1;
    }
    FReportTaken = true;
    FReportHeadOnly = IsHeadOnlyReport(ThreadStatusVector());
    return true;
}

void TIBControlAndQueryService::CompleteReport()
{
    FReportHeadOnly = false;
    FQueryParams.assign(1, static_cast<char>(isc_info_svc_line));
    // A query that fails with the report's status replaces the heading with the whole report;
    // an ordinary answer leaves the heading as the report.
    RunServiceQuery();
}

std::string TIBControlAndQueryService::NextReportLine()
{
    if (FReportNext < FReport.size()) {
        FEof = false;
        return FReport[FReportNext++];
    }
    FEof = true;
    return {};
}

std::string_view TIBControlAndQueryService::CheckedAnswer(char Item, std::string_view Markers)
{
    const std::string_view answer = Answer();
    if (answer.size() < 3 || answer[0] != Item)
        RaiseClientError(ceOutputParsingError);
    // The length is unsigned 16 bits, but the client reads its last byte with the sign: an
    // answer of 32 KB or more (a buffer over 32767 bytes) would read as negative.
    const auto n = static_cast<std::size_t>(FGDSLibrary->isc_vax_integer(answer.data() + 1, 2) & 0xFFFF);
    // The end marker must lie inside the answer; anything else is not read.
    if (n + 3 >= answer.size())
        RaiseClientError(ceOutputParsingError);
    if (Markers.find(answer.at(3 + n)) == std::string_view::npos)
        RaiseClientError(ceOutputParsingError);
    return answer.substr(3, n);
}

std::string TIBControlAndQueryService::GetNextLine()
{
    return NextLine({}).value_or(std::string());
}

std::optional<std::string> TIBControlAndQueryService::GetNextLineWithin(std::chrono::seconds Wait)
{
    const auto seconds = static_cast<int32_t>(std::clamp<std::chrono::seconds::rep>(Wait.count(), 1, INT32_MAX));
    TBlockWriter send;
    send.Byte(isc_info_svc_timeout).Length16(4).Int32(seconds);
    return NextLine(send.Block());
}

std::optional<std::string> TIBControlAndQueryService::NextLine(std::string_view Send)
{
    if (FEof)
        return std::string();
    if (FAction == 0)
        RaiseClientError(ceQueryParamsError);
    if (FReportTaken) {
        if (FReportHeadOnly && FReportNext == 0)
            CompleteReport();
        return NextReportLine();
    }
    FQueryParams.assign(1, static_cast<char>(isc_info_svc_line));
    if (!RunServiceQuery(Send))
        return NextReportLine();
    // A wait that ran out answers an empty line followed by the timeout item.
    const std::string_view answer = Answer();
    if (!Send.empty() && answer.size() >= 4 && answer[0] == static_cast<char>(isc_info_svc_line) &&
        answer[1] == 0 && answer[2] == 0 && answer[3] == static_cast<char>(isc_info_svc_timeout))
        return std::nullopt;
    const std::string_view data = CheckedAnswer(static_cast<char>(isc_info_svc_line), "\x01");
    if (data.empty()) {
        FEof = true;
        return std::string();
    }
    FEof = false;
    return FromLocal8Bit(data.substr(0, data.find('\0')));
}

std::string TIBControlAndQueryService::GetNextChunk()
{
    if (FEof)
        return {};
    if (FAction == 0)
        RaiseClientError(ceQueryParamsError);
    if (!FReportTaken) {
        FQueryParams.assign(1, static_cast<char>(isc_info_svc_to_eof));
        if (RunServiceQuery()) {
            const std::string_view data = CheckedAnswer(static_cast<char>(isc_info_svc_to_eof), "\x01\x02");
            FEof = Answer()[3 + data.size()] == static_cast<char>(isc_info_end);
            return std::string(data.substr(0, data.find('\0')));
        }
    }
    // A report taken from a status comes as one chunk of 8-bit lines.
    std::string chunk;
    for (; FReportNext < FReport.size(); ++FReportNext)
        chunk += ToLocal8Bit(FReport[FReportNext]) + "\n";
    FEof = true;
    return chunk;
}

// ---------------------------------------------------------------------------------------------
// TIBBackupRestoreService

void TIBBackupRestoreService::AddFileParams(const std::vector<std::string>& Lines, int FileParam, int LengthParam)
{
    for (const std::string& line : Lines) {
        if (IsBlank(line))
            continue;
        const auto eq = line.find('=');
        if (eq == std::string::npos) {
            AddStartParam(line, FileParam);
        } else {
            AddStartParam(line.substr(0, eq), FileParam);
            AddStartParam(StrToInt(std::string_view(line).substr(eq + 1)), LengthParam);
        }
    }
}
