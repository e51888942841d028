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

    // Transactions, statements and blobs (all core entry points, resolved at load).
    virtual ISC_STATUS isc_start_multiple(ISC_STATUS* status, isc_tr_handle* handle, short count, void* vector) = 0;
    virtual ISC_STATUS isc_commit_transaction(ISC_STATUS* status, isc_tr_handle* handle) = 0;
    virtual ISC_STATUS isc_commit_retaining(ISC_STATUS* status, isc_tr_handle* handle) = 0;
    virtual ISC_STATUS isc_rollback_transaction(ISC_STATUS* status, isc_tr_handle* handle) = 0;
    virtual ISC_STATUS isc_dsql_alloc_statement2(ISC_STATUS* status, isc_db_handle* database,
                                                 isc_stmt_handle* handle) = 0;
    virtual ISC_STATUS isc_dsql_prepare(ISC_STATUS* status, isc_tr_handle* transaction, isc_stmt_handle* handle,
                                        unsigned short length, const ISC_SCHAR* sql, unsigned short dialect,
                                        XSQLDA* sqlda) = 0;
    virtual ISC_STATUS isc_dsql_describe(ISC_STATUS* status, isc_stmt_handle* handle, unsigned short version,
                                         XSQLDA* sqlda) = 0;
    virtual ISC_STATUS isc_dsql_describe_bind(ISC_STATUS* status, isc_stmt_handle* handle, unsigned short version,
                                              XSQLDA* sqlda) = 0;
    virtual ISC_STATUS isc_dsql_sql_info(ISC_STATUS* status, isc_stmt_handle* handle, short itemLength,
                                         const ISC_SCHAR* items, short bufferLength, ISC_SCHAR* buffer) = 0;
    virtual ISC_STATUS isc_dsql_execute2(ISC_STATUS* status, isc_tr_handle* transaction, isc_stmt_handle* handle,
                                         unsigned short version, const XSQLDA* in, const XSQLDA* out) = 0;
    virtual ISC_STATUS isc_dsql_fetch(ISC_STATUS* status, isc_stmt_handle* handle, unsigned short version,
                                      const XSQLDA* sqlda) = 0;
    virtual ISC_STATUS isc_dsql_free_statement(ISC_STATUS* status, isc_stmt_handle* handle,
                                               unsigned short option) = 0;
    virtual ISC_STATUS isc_dsql_execute_immediate(ISC_STATUS* status, isc_db_handle* database,
                                                  isc_tr_handle* transaction, unsigned short length,
                                                  const ISC_SCHAR* sql, unsigned short dialect, const XSQLDA* sqlda) = 0;
    virtual ISC_STATUS isc_open_blob2(ISC_STATUS* status, isc_db_handle* database, isc_tr_handle* transaction,
                                      isc_blob_handle* handle, ISC_QUAD* id, ISC_USHORT bpbLength,
                                      const ISC_UCHAR* bpb) = 0;
    virtual ISC_STATUS isc_create_blob2(ISC_STATUS* status, isc_db_handle* database, isc_tr_handle* transaction,
                                        isc_blob_handle* handle, ISC_QUAD* id, short bpbLength,
                                        const ISC_SCHAR* bpb) = 0;
    virtual ISC_STATUS isc_blob_info(ISC_STATUS* status, isc_blob_handle* handle, short itemLength,
                                     const ISC_SCHAR* items, short bufferLength, ISC_SCHAR* buffer) = 0;
    virtual ISC_STATUS isc_get_segment(ISC_STATUS* status, isc_blob_handle* handle, unsigned short* actualLength,
                                       unsigned short bufferLength, ISC_SCHAR* buffer) = 0;
    virtual ISC_STATUS isc_put_segment(ISC_STATUS* status, isc_blob_handle* handle, unsigned short length,
                                       const ISC_SCHAR* buffer) = 0;
    virtual ISC_STATUS isc_close_blob(ISC_STATUS* status, isc_blob_handle* handle) = 0;
    virtual ISC_STATUS isc_cancel_blob(ISC_STATUS* status, isc_blob_handle* handle) = 0;

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
