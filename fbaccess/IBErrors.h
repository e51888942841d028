// The access layer's one exception family, the per-thread status vector and the helpers that
// turn a failed client-library call (or one of our own checks) into an exception.
#pragma once

#include <ibase.h>

#include <cstddef>
#include <cstdint>
#include <exception>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <variant>

// Root of every exception the access layer raises; what() is the UTF-8 message.
class Exception : public std::exception {
public:
    explicit Exception(std::string message);
    const char* what() const noexcept override;
    const std::string& Message() const noexcept { return FMessage; }

private:
    std::string FMessage;
};

class EDatabaseError : public Exception {
public:
    using Exception::Exception;
};

class EIBError : public EDatabaseError {
public:
    EIBError(int32_t ASQLCode, std::string Msg);
    EIBError(int32_t ASQLCode, int32_t AIBErrorCode, std::string Msg);
    int32_t SQLCode() const noexcept { return FSQLCode; }
    int32_t IBErrorCode() const noexcept { return FIBErrorCode; }

private:
    int32_t FSQLCode = 0;
    int32_t FIBErrorCode = 0;
};

// A failed client-library call: the text is the client library's own message lines.
class EIBInterBaseError : public EIBError {
public:
    using EIBError::EIBError;
};

// SQL code -551. Deliberately not a kind of EIBInterBaseError.
class EIBInterBaseRoleError : public EIBError {
public:
    using EIBError::EIBError;
};

// A wrong state or parameter found by the access layer itself.
class EIBClientError : public EIBError {
public:
    using EIBError::EIBError;
};

// The operating system refused something (a missing entry point of the client library).
class EOSError : public Exception {
public:
    // Text: "System Error.  Code: <code>.\r\n<description>".
    EOSError(int code, const std::string& description);
    int ErrorCode() const noexcept { return FErrorCode; }

private:
    int FErrorCode;
};

// A text that should have been a number.
class EConvertError : public Exception {
public:
    using Exception::Exception;
    // Text: "''<value>'' is not a valid integer value".
    static EConvertError InvalidInteger(std::string_view value);
};

// The access layer's own error conditions. The ordinal is the SQLCode of the EIBClientError
// raised for it; members this program never raises are left out, the ordinals kept.
enum TIBClientErrorKind : int32_t {
    ceUnknownError = 0,
    ceLibraryMissing = 1,
    ceVersion6Function = 3,
    ceOperationCancelled = 10,
    ceDPBConstantUnsupported = 11,
    ceDatabaseClosed = 15,
    ceDatabaseOpen = 16,
    ceDatabaseNameMissing = 17,
    ceSPBConstantNotSupported = 88,
    ceSPBConstantUnknown = 89,
    ceServiceNotAttached = 90,
    ceServiceAttached = 91,
    ceServerNameMissing = 92,
    ceQueryParamsError = 93,
    ceStartParamsError = 94,
    ceOutputParsingError = 95,
    ceDPBConstantUnknown = 114,
    // The SQL part of the layer (transactions, statements, blobs): misuse by the caller.
    ceTransactionNotActive = 200,
    ceStatementFreed = 201,
    ceNoCursor = 202,
    ceIndexOutOfRange = 203,
    ceTypeMismatch = 204,
    ceValueOutOfRange = 205,
    ceRowShapeMismatch = 206,
    ceForeignTransaction = 207,
    ceSqlTextTooLong = 208,
};

// The message format of a kind ("%s" takes a text, "%d" an integer).
std::string_view ClientErrorFormat(TIBClientErrorKind kind);

// One argument of a message format: a text (UTF-8) or an integer.
using TErrorArg = std::variant<std::string, int64_t>;

// Fills "%s" and "%d" in order from args ("%%" is a percent sign). A format without
// placeholders ignores the arguments; a missing argument leaves its place empty.
std::string FormatErrorText(std::string_view format, std::span<const TErrorArg> args);

// Words of the per-thread status vector. The client's isc_ entry points fill at most 20; the
// service calls fill more (see ServiceInterface.h): a validation summary with five or more
// count lines needs 23 words and more.
inline constexpr std::size_t kStatusVectorLength = 64;

// The calling thread's status vector (kStatusVectorLength words, zero when the thread starts).
ISC_STATUS* ThreadStatusVector() noexcept;

// The client library's message lines for a status vector, joined by CR LF (none after a line
// that already ends in LF), one trailing full stop removed; UTF-8. The vector is not changed.
std::string StatusMessage(const ISC_STATUS* status);

// Raises EIBInterBaseError (EIBInterBaseRoleError for SQL code -551) for the calling thread's
// status vector.
[[noreturn]] void RaiseStatusError();

// Raises EIBClientError of the kind, its format filled from args; SQLCode is the ordinal.
[[noreturn]] void RaiseClientError(TIBClientErrorKind kind, std::initializer_list<TErrorArg> args = {});

// Whether the calling thread's status vector holds any of the codes (as a type-1 or type-4
// value).
bool StatusHasCode(std::initializer_list<ISC_STATUS> codes);

// The plain result check every component's Call uses: returns ErrCode; raises the status error
// first when RaiseError is set and ErrCode is greater than 0.
ISC_STATUS CheckStatusResult(ISC_STATUS ErrCode, bool RaiseError);
