// The one process-wide binding to the client library. It is loaded at run time by plain name
// (never linked), each entry point is resolved by name and typed after the client's own
// ibase.h, and entry points an older client lacks get fallbacks that raise a readable error.
#pragma once

#include <ibase.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

// The operations of the client library the program calls, plus the loading operations.
class IGDSLibrary {
public:
    virtual ~IGDSLibrary() = default;

    // Loads the library and resolves its entry points; raises nothing when the library itself
    // cannot be loaded, EOSError when a required entry point is missing.
    virtual void LoadIBLibrary() = 0;
    // Unloads the library. Nothing in the program calls it.
    virtual void FreeIBLibrary() = 0;
    // Loads when not loaded yet; answers whether the library is loaded.
    virtual bool TryIBLoad() = 0;
    // Raises EIBClientError ceLibraryMissing when TryIBLoad answers false.
    virtual void CheckIBLoaded() = 0;
    // ClientVersion in ten-thousandths (6.0 is 60000), after CheckIBLoaded.
    virtual int64_t GetIBClientVersion() = 0;

    virtual ISC_STATUS isc_attach_database(ISC_STATUS* status, short nameLength, const ISC_SCHAR* name,
                                           isc_db_handle* handle, short dpbLength, const ISC_SCHAR* dpb) = 0;
    virtual ISC_STATUS isc_detach_database(ISC_STATUS* status, isc_db_handle* handle) = 0;
    virtual ISC_STATUS isc_database_info(ISC_STATUS* status, isc_db_handle* handle, short itemLength,
                                         const ISC_SCHAR* items, short bufferLength, ISC_SCHAR* buffer) = 0;
    virtual ISC_STATUS isc_service_attach(ISC_STATUS* status, unsigned short nameLength, const ISC_SCHAR* name,
                                          isc_svc_handle* handle, unsigned short spbLength,
                                          const ISC_SCHAR* spb) = 0;
    virtual ISC_STATUS isc_service_detach(ISC_STATUS* status, isc_svc_handle* handle) = 0;
    virtual ISC_STATUS isc_service_start(ISC_STATUS* status, isc_svc_handle* handle, isc_resv_handle* reserved,
                                         unsigned short spbLength, const ISC_SCHAR* spb) = 0;
    virtual ISC_STATUS isc_service_query(ISC_STATUS* status, isc_svc_handle* handle, isc_resv_handle* reserved,
                                         unsigned short sendLength, const ISC_SCHAR* sendItems,
                                         unsigned short requestLength, const ISC_SCHAR* requestItems,
                                         unsigned short bufferLength, ISC_SCHAR* buffer) = 0;
    virtual ISC_LONG isc_vax_integer(const ISC_SCHAR* bytes, short length) = 0;
    virtual ISC_LONG isc_sqlcode(const ISC_STATUS* status) = 0;
    virtual ISC_LONG isc_interprete(ISC_SCHAR* buffer, ISC_STATUS** cursor) = 0;

    // Raises the fallback's error when the named entry point is held by a fallback (an older
    // client lacks it); does nothing when it was resolved. For entry points without a wrapper.
    virtual void CheckEntryPoint(std::string_view name) = 0;
};

// The shared binding: created on first request (loading nothing), the same object afterwards.
std::shared_ptr<IGDSLibrary> GDSLibraryInstance();

// The client version in ten-thousandths; 0 until the library is loaded.
int64_t ClientVersion();

// The library file name is "libfbclient.so.2" in the program; tests point it elsewhere to
// simulate a missing library, since the real client is installed system-wide.
void SetClientLibraryFileNameForTesting(std::string fileName);
