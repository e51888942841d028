// The service manager's calls over the client library's object interface. They make the same
// server requests as the isc_service_* entry points, but a failed call's status arrives whole:
// those entry points cut every status at 20 words, which drops the fifth and later count lines
// of a validation summary. The calls keep the entry points' shape (a status vector, a handle,
// the result word) so the service classes stay as they are.
#pragma once

#include <ibase.h>

#include <cstddef>
#include <map>
#include <mutex>

namespace Firebird {
class IMaster;
class IProvider;
class IService;
}  // namespace Firebird

class TServiceInterface {
public:
    // Status vectors handed in hold StatusLength words.
    TServiceInterface(Firebird::IMaster* Master, std::size_t StatusLength);
    TServiceInterface(const TServiceInterface&) = delete;
    TServiceInterface& operator=(const TServiceInterface&) = delete;

    ISC_STATUS Attach(ISC_STATUS* Status, unsigned short NameLength, const ISC_SCHAR* Name, isc_svc_handle* Handle,
                      unsigned short SpbLength, const ISC_SCHAR* Spb);
    ISC_STATUS Detach(ISC_STATUS* Status, isc_svc_handle* Handle);
    ISC_STATUS Start(ISC_STATUS* Status, isc_svc_handle* Handle, unsigned short SpbLength, const ISC_SCHAR* Spb);
    ISC_STATUS Query(ISC_STATUS* Status, isc_svc_handle* Handle, unsigned short SendLength,
                     const ISC_SCHAR* SendItems, unsigned short RequestLength, const ISC_SCHAR* RequestItems,
                     unsigned short BufferLength, ISC_SCHAR* Buffer);

private:
    Firebird::IService* Find(isc_svc_handle Handle);
    ISC_STATUS BadHandle(ISC_STATUS* Status) const;

    Firebird::IMaster* FMaster;
    Firebird::IProvider* FProvider;
    std::size_t FStatusLength;
    std::mutex FLock;  // guards the handle table; a worker thread may use a service
    std::map<isc_svc_handle, Firebird::IService*> FServices;
    isc_svc_handle FLastHandle = 0;
};
