#include "ServiceInterface.h"

#include <firebird/Interface.h>

#include <deque>
#include <string>

namespace {

// A status object of the client for one call, disposed of afterwards.
class TCallStatus {
public:
    explicit TCallStatus(Firebird::IMaster* master) : FStatus(master->getStatus()), FWrapper(FStatus) {}
    ~TCallStatus() { FStatus->dispose(); }
    TCallStatus(const TCallStatus&) = delete;
    TCallStatus& operator=(const TCallStatus&) = delete;

    Firebird::CheckStatusWrapper* Get() noexcept { return &FWrapper; }

    // Copies the call's errors into the caller's vector, whole clusters only, and answers the
    // primary error code (0 after success), as the isc_ entry points do. The texts the vector
    // points to are kept for the thread until its next call, since this status is disposed of.
    ISC_STATUS CopyTo(ISC_STATUS* status, std::size_t length)
    {
        thread_local std::deque<std::string> texts;
        texts.clear();
        const intptr_t* errors = (FWrapper.getState() & Firebird::IStatus::STATE_ERRORS) ? FWrapper.getErrors() : nullptr;
        if (errors == nullptr || errors[0] != isc_arg_gds || errors[1] == 0) {
            status[0] = isc_arg_gds;
            status[1] = 0;
            status[2] = isc_arg_end;
            return 0;
        }
        std::size_t used = 0;
        for (const intptr_t* word = errors; *word != isc_arg_end && used + 3 <= length;) {
            const intptr_t type = *word;
            if (type == isc_arg_cstring) {
                texts.emplace_back(reinterpret_cast<const char*>(word[2]), static_cast<std::size_t>(word[1]));
                word += 3;
            } else if (type == isc_arg_string || type == isc_arg_interpreted || type == isc_arg_sql_state) {
                texts.emplace_back(reinterpret_cast<const char*>(word[1]));
                word += 2;
            } else {
                status[used++] = type;
                status[used++] = word[1];
                word += 2;
                continue;
            }
            status[used++] = type == isc_arg_cstring ? isc_arg_string : type;
            status[used++] = reinterpret_cast<ISC_STATUS>(texts.back().c_str());
        }
        status[used] = isc_arg_end;
        return status[1];
    }

private:
    Firebird::IStatus* FStatus;
    Firebird::CheckStatusWrapper FWrapper;
};

const unsigned char* Bytes(const ISC_SCHAR* bytes)
{
    return reinterpret_cast<const unsigned char*>(bytes);
}

}  // namespace

TServiceInterface::TServiceInterface(Firebird::IMaster* Master, std::size_t StatusLength)
    : FMaster(Master), FProvider(Master->getDispatcher()), FStatusLength(StatusLength)
{
}

Firebird::IService* TServiceInterface::Find(isc_svc_handle Handle)
{
    const std::lock_guard lock(FLock);
    const auto found = FServices.find(Handle);
    return found == FServices.end() ? nullptr : found->second;
}

ISC_STATUS TServiceInterface::BadHandle(ISC_STATUS* Status) const
{
    Status[0] = isc_arg_gds;
    Status[1] = isc_bad_svc_handle;
    Status[2] = isc_arg_end;
    return Status[1];
}

ISC_STATUS TServiceInterface::Attach(ISC_STATUS* Status, unsigned short NameLength, const ISC_SCHAR* Name,
                                     isc_svc_handle* Handle, unsigned short SpbLength, const ISC_SCHAR* Spb)
{
    TCallStatus status(FMaster);
    const std::string name(Name, NameLength);
    Firebird::IService* service = FProvider->attachServiceManager(status.Get(), name.c_str(), SpbLength, Bytes(Spb));
    const ISC_STATUS result = status.CopyTo(Status, FStatusLength);
    if (result != 0 || service == nullptr)
        return result;
    const std::lock_guard lock(FLock);
    *Handle = ++FLastHandle;
    FServices[*Handle] = service;
    return 0;
}

ISC_STATUS TServiceInterface::Detach(ISC_STATUS* Status, isc_svc_handle* Handle)
{
    Firebird::IService* service = Find(*Handle);
    if (service == nullptr)
        return BadHandle(Status);
    {
        const std::lock_guard lock(FLock);
        FServices.erase(*Handle);
    }
    TCallStatus status(FMaster);
    service->detach(status.Get());
    const ISC_STATUS result = status.CopyTo(Status, FStatusLength);
    // A detach that succeeded has released the object; one that failed leaves it to us.
    if (result != 0)
        service->release();
    *Handle = 0;
    return result;
}

ISC_STATUS TServiceInterface::Start(ISC_STATUS* Status, isc_svc_handle* Handle, unsigned short SpbLength,
                                    const ISC_SCHAR* Spb)
{
    Firebird::IService* service = Find(*Handle);
    if (service == nullptr)
        return BadHandle(Status);
    TCallStatus status(FMaster);
    service->start(status.Get(), SpbLength, Bytes(Spb));
    return status.CopyTo(Status, FStatusLength);
}

ISC_STATUS TServiceInterface::Query(ISC_STATUS* Status, isc_svc_handle* Handle, unsigned short SendLength,
                                    const ISC_SCHAR* SendItems, unsigned short RequestLength,
                                    const ISC_SCHAR* RequestItems, unsigned short BufferLength, ISC_SCHAR* Buffer)
{
    Firebird::IService* service = Find(*Handle);
    if (service == nullptr)
        return BadHandle(Status);
    TCallStatus status(FMaster);
    service->query(status.Get(), SendLength, Bytes(SendItems), RequestLength, Bytes(RequestItems), BufferLength,
                   reinterpret_cast<unsigned char*>(Buffer));
    return status.CopyTo(Status, FStatusLength);
}
