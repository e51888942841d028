// Failures of the SQL part of the layer (statements, transactions, blobs), and what a failure
// leaves of the attachment: after some the same attachment goes on working, after others every
// further call fails and only a new attachment helps.
#pragma once

#include "IBErrors.h"

#include <ibase.h>

#include <cstddef>
#include <span>
#include <string>
#include <vector>

class TIBDatabase;

// The error codes of a status vector (type-1 words, primary first).
std::vector<ISC_STATUS> StatusCodes(const ISC_STATUS* status);

// Whether the attachment is still usable after a failure with these codes. Unusable: an internal
// consistency check (the attachment then answers only "can't continue after bugcheck"), a lost or
// shut-down connection. Everything else (I/O errors, wrong page types, corrupt records, SQL
// errors) leaves it usable; measured on damaged files, see tests/server/NOTES.md.
bool AttachmentUsableAfter(std::span<const ISC_STATUS> codes) noexcept;

// A server failure of a statement, transaction or blob call, with the server's text.
class EIBSqlError : public EIBInterBaseError {
public:
    EIBSqlError(int32_t sqlCode, std::vector<ISC_STATUS> codes, std::string message);
    // False when the caller has to attach again before anything else works.
    bool AttachmentUsable() const noexcept { return FAttachmentUsable; }
    const std::vector<ISC_STATUS>& Codes() const noexcept { return FCodes; }
    bool HasCode(ISC_STATUS code) const noexcept;

private:
    std::vector<ISC_STATUS> FCodes;
    bool FAttachmentUsable;
};

// A blob could not be read or written; the statement that delivered its id is not affected.
class EIBBlobError : public EIBSqlError {
public:
    using EIBSqlError::EIBSqlError;
};

// A blob is larger than the caller allowed; nothing of it is returned.
class EIBBlobLimitError : public EIBError {
public:
    EIBBlobLimitError(std::size_t length, std::size_t limit);
    std::size_t Length() const noexcept { return FLength; }
    std::size_t Limit() const noexcept { return FLimit; }

private:
    std::size_t FLength;
    std::size_t FLimit;
};

// Raises the failure in the calling thread's status vector as E (EIBSqlError or EIBBlobError).
// A lost connection force-closes the database first, as its own calls do.
template <typename E = EIBSqlError>
[[noreturn]] void RaiseSqlError(TIBDatabase& database);

// The client call's result checked on the SQL path: raises E when it failed.
template <typename E = EIBSqlError>
inline void CheckSql(TIBDatabase& database, ISC_STATUS result)
{
    if (result != 0)
        RaiseSqlError<E>(database);
}
