#include "IBErrors.h"

#include "ClientLibrary.h"
#include "Text8Bit.h"

#include <array>
#include <cstring>
#include <vector>

Exception::Exception(std::string message) : FMessage(std::move(message)) {}

const char* Exception::what() const noexcept
{
    return FMessage.c_str();
}

EIBError::EIBError(int32_t ASQLCode, std::string Msg) : EDatabaseError(std::move(Msg)), FSQLCode(ASQLCode) {}

EIBError::EIBError(int32_t ASQLCode, int32_t AIBErrorCode, std::string Msg)
    : EDatabaseError(std::move(Msg)), FSQLCode(ASQLCode), FIBErrorCode(AIBErrorCode)
{
}

EOSError::EOSError(int code, const std::string& description)
    : Exception("System Error.  Code: " + std::to_string(code) + ".\r\n" + description), FErrorCode(code)
{
}

EConvertError EConvertError::InvalidInteger(std::string_view value)
{
    return EConvertError("''" + std::string(value) + "'' is not a valid integer value");
}

std::string_view ClientErrorFormat(TIBClientErrorKind kind)
{
    switch (kind) {
    case ceUnknownError: return "Unknown error";
    case ceLibraryMissing:
        return "InterBase library gds32.dll not found in the path. Please install InterBase to use this "
               "functionality";
    case ceVersion6Function:
        return "%s is an InterBase 6 function. Please upgrade to InterBase 6 to use this functonality";
    case ceOperationCancelled: return "Operation cancelled at user's request";
    case ceDPBConstantUnsupported: return "DPB Constant (isc_dpb_%s) is unsupported";
    case ceDatabaseClosed: return "Cannot perform operation -- DB is not open";
    case ceDatabaseOpen: return "Cannot perform operation -- DB is currently open";
    case ceDatabaseNameMissing: return "Database name is missing";
    case ceSPBConstantNotSupported: return "SPB Constant Not supported";
    case ceSPBConstantUnknown: return "SPB Constant Unknown";
    case ceServiceNotAttached: return "Cannot perform operation -- service is not attached";
    case ceServiceAttached: return "Cannot perform operation -- service is attached";
    case ceServerNameMissing: return "Server Name Missing";
    case ceQueryParamsError: return "Query Parameters missing or incorrect";
    case ceStartParamsError: return "start Parameters missing or incorrect";
    case ceOutputParsingError: return "Unexpected Output buffer value";
    case ceDPBConstantUnknown: return "DPB Constant (%s) is unknown";
    case ceTransactionNotActive: return "Cannot perform operation -- transaction is not active";
    case ceStatementFreed: return "Cannot perform operation -- statement was moved or freed";
    case ceNoCursor: return "Cannot fetch -- statement has no open cursor";
    case ceIndexOutOfRange: return "%s index %d is out of range (the statement has %d)";
    case ceTypeMismatch: return "%s %d (%s) is %s and cannot be used as %s";
    case ceValueOutOfRange: return "Value %s does not fit %s %d (%s) of type %s";
    case ceRowShapeMismatch: return "Cannot copy the row: %s";
    case ceForeignTransaction: return "Cannot perform operation -- transaction belongs to another attachment";
    case ceSqlTextTooLong: return "SQL text of %d bytes is longer than %d bytes";
    }
    return "Unknown error";
}

namespace {

std::string ArgText(const TErrorArg& arg)
{
    if (const auto* text = std::get_if<std::string>(&arg))
        return *text;
    return std::to_string(std::get<int64_t>(arg));
}

}  // namespace

std::string FormatErrorText(std::string_view format, std::span<const TErrorArg> args)
{
    std::string text;
    std::size_t next = 0;
    for (std::size_t i = 0; i < format.size(); ++i) {
        const char c = format[i];
        if (c != '%' || i + 1 >= format.size()) {
            text += c;
            continue;
        }
        const char conversion = format[++i];
        if (conversion == 's' || conversion == 'd') {
            if (next < args.size())
                text += ArgText(args[next]);
            ++next;
        } else if (conversion == '%') {
            text += '%';
        } else {
            text += c;
            text += conversion;
        }
    }
    return text;
}

ISC_STATUS* ThreadStatusVector() noexcept
{
    thread_local std::array<ISC_STATUS, kStatusVectorLength> vector{};
    return vector.data();
}

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
std::string StatusMessage(const ISC_STATUS* status)
{
    constexpr std::size_t kLineBufferSize = 20480;
    const auto library = GDSLibraryInstance();
    std::vector<ISC_SCHAR> line(kLineBufferSize + 1, 0);
    // The client library advances its own cursor; the vector itself stays as it is.
    auto* cursor = const_cast<ISC_STATUS*>(status);
    std::string text;
    while (library->isc_interprete(line.data(), &cursor) > 0) {
        if (!text.empty() && text.back() != '\n')
            text += "\r\n";
        text += FromLocal8Bit(std::string_view(line.data(), strnlen(line.data(), kLineBufferSize)));
    }
    if (!text.empty() && text.back() == '.')
        text.pop_back();
    return text;
}
#pragma GCC diagnostic pop

void RaiseStatusError()
{
    const ISC_STATUS* status = ThreadStatusVector();
    const auto errorCode = static_cast<int32_t>(status[1]);
    const auto sqlCode = static_cast<int32_t>(GDSLibraryInstance()->isc_sqlcode(status));
    std::string text = StatusMessage(status);
    if (sqlCode == -551)
        throw EIBInterBaseRoleError(sqlCode, errorCode, std::move(text));
    throw EIBInterBaseError(sqlCode, errorCode, std::move(text));
}

void RaiseClientError(TIBClientErrorKind kind, std::initializer_list<TErrorArg> args)
{
    throw EIBClientError(static_cast<int32_t>(kind),
                         FormatErrorText(ClientErrorFormat(kind), std::span(args.begin(), args.size())));
}

bool StatusHasCode(std::initializer_list<ISC_STATUS> codes)
{
    const ISC_STATUS* word = ThreadStatusVector();
    const ISC_STATUS* const end = word + kStatusVectorLength;
    bool found = false;
    while (word < end && *word != 0 && !found) {
        switch (*word) {
        case isc_arg_gds:
        case isc_arg_number:
            ++word;
            if (word >= end)
                return false;
            for (ISC_STATUS code : codes) {
                if (*word == code) {
                    found = true;
                    break;
                }
            }
            ++word;
            break;
        case isc_arg_cstring: word += 3; break;
        default: word += 2; break;
        }
    }
    return found;
}

ISC_STATUS CheckStatusResult(ISC_STATUS ErrCode, bool RaiseError)
{
    if (RaiseError && ErrCode > 0)
        RaiseStatusError();
    return ErrCode;
}
