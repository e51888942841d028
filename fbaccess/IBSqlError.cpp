#include "IBSqlError.h"

#include "ClientLibrary.h"
#include "IBDatabase.h"

#include <algorithm>
#include <initializer_list>

namespace {

constexpr ISC_STATUS kLostConnection[] = {isc_lost_db_connection, isc_net_read_err, isc_net_write_err};
constexpr ISC_STATUS kUnusable[] = {isc_bug_check,    isc_lost_db_connection, isc_net_read_err, isc_net_write_err,
                                    isc_conn_lost,    isc_shutdown,           isc_att_shutdown,
                                    isc_network_error};

bool Contains(std::span<const ISC_STATUS> codes, std::span<const ISC_STATUS> wanted) noexcept
{
    return std::any_of(codes.begin(), codes.end(), [&](ISC_STATUS code) {
        return std::find(wanted.begin(), wanted.end(), code) != wanted.end();
    });
}

}  // namespace

std::vector<ISC_STATUS> StatusCodes(const ISC_STATUS* status)
{
    std::vector<ISC_STATUS> codes;
    const ISC_STATUS* const end = status + ISC_STATUS_LENGTH;
    for (const ISC_STATUS* word = status; word + 1 < end && *word != isc_arg_end;) {
        if (*word == isc_arg_gds)
            codes.push_back(word[1]);
        word += *word == isc_arg_cstring ? 3 : 2;
    }
    return codes;
}

bool AttachmentUsableAfter(std::span<const ISC_STATUS> codes) noexcept
{
    return !Contains(codes, kUnusable);
}

EIBSqlError::EIBSqlError(int32_t sqlCode, std::vector<ISC_STATUS> codes, std::string message)
    : EIBInterBaseError(sqlCode, codes.empty() ? 0 : static_cast<int32_t>(codes.front()), std::move(message)),
      FCodes(std::move(codes)),
      FAttachmentUsable(AttachmentUsableAfter(FCodes))
{
}

bool EIBSqlError::HasCode(ISC_STATUS code) const noexcept
{
    return std::find(FCodes.begin(), FCodes.end(), code) != FCodes.end();
}

EIBBlobLimitError::EIBBlobLimitError(std::size_t length, std::size_t limit)
    : EIBError(0, 0,
               "Blob of " + std::to_string(length) + " bytes is larger than the limit of " + std::to_string(limit) +
                   " bytes"),
      FLength(length),
      FLimit(limit)
{
}

template <typename E>
void RaiseSqlError(TIBDatabase& database)
{
    const ISC_STATUS* status = ThreadStatusVector();
    std::vector<ISC_STATUS> codes = StatusCodes(status);
    const auto sqlCode = static_cast<int32_t>(database.GDSLibrary().isc_sqlcode(status));
    std::string text = StatusMessage(status);
    if (Contains(codes, kLostConnection))
        database.ForceClose();
    throw E(sqlCode, std::move(codes), std::move(text));
}

template void RaiseSqlError<EIBSqlError>(TIBDatabase&);
template void RaiseSqlError<EIBBlobError>(TIBDatabase&);
