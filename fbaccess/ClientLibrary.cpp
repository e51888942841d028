#include "ClientLibrary.h"

#include "IBErrors.h"
#include "ServiceInterface.h"

#include <dlfcn.h>

#include <cerrno>
#include <cmath>
#include <map>
#include <memory>

// isc_interprete is marked deprecated in ibase.h; the binding still has to name its type.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

// Required by every client, resolved in this order.
#define TOVANEL_CORE_ENTRY_POINTS(X)                                                                           \
    X(BLOB_get) X(BLOB_put) X(isc_sqlcode) X(isc_sql_interprete) X(isc_interprete) X(isc_vax_integer)           \
    X(isc_blob_info) X(isc_open_blob2) X(isc_close_blob) X(isc_get_segment) X(isc_put_segment)                 \
    X(isc_create_blob2) X(isc_cancel_blob) X(isc_array_gen_sdl) X(isc_array_get_slice)                         \
    X(isc_array_lookup_bounds) X(isc_array_lookup_desc) X(isc_array_set_desc) X(isc_array_put_slice)           \
    X(isc_blob_default_desc) X(isc_blob_gen_bpb) X(isc_blob_lookup_desc) X(isc_blob_set_desc)                  \
    X(isc_decode_date) X(isc_encode_date) X(isc_dsql_free_statement) X(isc_dsql_execute2) X(isc_dsql_execute) \
    X(isc_dsql_set_cursor_name) X(isc_dsql_fetch) X(isc_dsql_sql_info) X(isc_dsql_alloc_statement2)            \
    X(isc_dsql_prepare) X(isc_dsql_describe_bind) X(isc_dsql_describe) X(isc_dsql_execute_immediate)           \
    X(isc_drop_database) X(isc_detach_database) X(isc_attach_database) X(isc_database_info)                    \
    X(isc_start_multiple) X(isc_commit_transaction) X(isc_commit_retaining) X(isc_rollback_transaction)        \
    X(isc_cancel_events) X(isc_que_events) X(isc_event_counts) X(isc_event_block) X(isc_free) X(isc_add_user)  \
    X(isc_delete_user) X(isc_modify_user) X(isc_prepare_transaction) X(isc_prepare_transaction2)               \
    X(isc_transaction_info)

// Present from client version 6 on (isc_rollback_retaining is the test, looked up first).
#define TOVANEL_VERSION6_ENTRY_POINTS(X)                                                                       \
    X(isc_service_attach) X(isc_service_detach) X(isc_service_query) X(isc_service_start)                      \
    X(isc_decode_sql_date) X(isc_decode_sql_time) X(isc_decode_timestamp) X(isc_encode_sql_date)               \
    X(isc_encode_sql_time) X(isc_encode_timestamp)

// Version-gated groups that ibase.h does not declare: kept as untyped addresses, no wrapper.
#define TOVANEL_VERSION70_ENTRY_POINTS(X)                                                                      \
    X(isc_array_gen_sdl2) X(isc_array_get_slice2) X(isc_array_lookup_bounds2) X(isc_array_lookup_desc2)        \
    X(isc_array_set_desc2) X(isc_array_put_slice2) X(isc_blob_default_desc2) X(isc_blob_gen_bpb2)              \
    X(isc_blob_lookup_desc2) X(isc_blob_set_desc2)
#define TOVANEL_VERSION71_ENTRY_POINTS(X) X(isc_release_savepoint) X(isc_rollback_savepoint) X(isc_start_savepoint)
#define TOVANEL_VERSION80_ENTRY_POINTS(X) X(isc_dsql_batch_execute_immed) X(isc_dsql_batch_execute)

namespace {

constexpr const char* kDefaultLibraryFileName = "libfbclient.so.2";

constexpr std::string_view kVersion70Text =
    "%s is an InterBase 7.0 function. Please upgrade to InterBase 7.0 to use this functonality";
constexpr std::string_view kVersion71Text =
    "%s is an InterBase 7.1 function. Please upgrade to InterBase 7.1 to use this functonality";
constexpr std::string_view kVersion80Text =
    "%s is an InterBase 2007 function. Please upgrade to InterBase 2007 to use this functonality";

// Process-wide state, shared by every binding object.
void* gLibraryHandle = nullptr;
int64_t gClientVersion = 0;
std::string gLibraryFileName = kDefaultLibraryFileName;

// How an entry point that the client lacks fails when called.
struct TFallback {
    bool version6 = false;  // through ceVersion6Function with the bare name
    std::string text;       // otherwise the finished text
};

class TDynamicLibrary final : public IGDSLibrary {
public:
    void LoadIBLibrary() override;
    void FreeIBLibrary() override;
    bool TryIBLoad() override;
    void CheckIBLoaded() override;
    int64_t GetIBClientVersion() override;

    ISC_STATUS isc_attach_database(ISC_STATUS* status, short nameLength, const ISC_SCHAR* name,
                                   isc_db_handle* handle, short dpbLength, const ISC_SCHAR* dpb) override
    {
        return Entry(Fisc_attach_database, "isc_attach_database")(status, nameLength, name, handle, dpbLength,
                                                                  dpb);
    }
    ISC_STATUS isc_detach_database(ISC_STATUS* status, isc_db_handle* handle) override
    {
        return Entry(Fisc_detach_database, "isc_detach_database")(status, handle);
    }
    ISC_STATUS isc_database_info(ISC_STATUS* status, isc_db_handle* handle, short itemLength,
                                 const ISC_SCHAR* items, short bufferLength, ISC_SCHAR* buffer) override
    {
        return Entry(Fisc_database_info, "isc_database_info")(status, handle, itemLength, items, bufferLength,
                                                              buffer);
    }
    ISC_STATUS isc_service_attach(ISC_STATUS* status, unsigned short nameLength, const ISC_SCHAR* name,
                                  isc_svc_handle* handle, unsigned short spbLength, const ISC_SCHAR* spb) override
    {
        if (FServices)
            return FServices->Attach(status, nameLength, name, handle, spbLength, spb);
        return Entry(Fisc_service_attach, "isc_service_attach")(status, nameLength, name, handle, spbLength, spb);
    }
    ISC_STATUS isc_service_detach(ISC_STATUS* status, isc_svc_handle* handle) override
    {
        if (FServices)
            return FServices->Detach(status, handle);
        return Entry(Fisc_service_detach, "isc_service_detach")(status, handle);
    }
    ISC_STATUS isc_service_start(ISC_STATUS* status, isc_svc_handle* handle, isc_resv_handle* reserved,
                                 unsigned short spbLength, const ISC_SCHAR* spb) override
    {
        if (FServices)
            return FServices->Start(status, handle, spbLength, spb);
        return Entry(Fisc_service_start, "isc_service_start")(status, handle, reserved, spbLength, spb);
    }
    ISC_STATUS isc_service_query(ISC_STATUS* status, isc_svc_handle* handle, isc_resv_handle* reserved,
                                 unsigned short sendLength, const ISC_SCHAR* sendItems, unsigned short requestLength,
                                 const ISC_SCHAR* requestItems, unsigned short bufferLength,
                                 ISC_SCHAR* buffer) override
    {
        if (FServices)
            return FServices->Query(status, handle, sendLength, sendItems,
                                        requestLength, requestItems, bufferLength, buffer);
        return Entry(Fisc_service_query, "isc_service_query")(status, handle, reserved, sendLength, sendItems,
                                                              requestLength, requestItems, bufferLength, buffer);
    }
    ISC_LONG isc_vax_integer(const ISC_SCHAR* bytes, short length) override
    {
        return Entry(Fisc_vax_integer, "isc_vax_integer")(bytes, length);
    }
    ISC_LONG isc_sqlcode(const ISC_STATUS* status) override
    {
        return Entry(Fisc_sqlcode, "isc_sqlcode")(status);
    }
    ISC_LONG isc_interprete(ISC_SCHAR* buffer, ISC_STATUS** cursor) override
    {
        return Entry(Fisc_interprete, "isc_interprete")(buffer, cursor);
    }

    ISC_STATUS isc_start_multiple(ISC_STATUS* status, isc_tr_handle* handle, short count, void* vector) override
    {
        return Entry(Fisc_start_multiple, "isc_start_multiple")(status, handle, count, vector);
    }
    ISC_STATUS isc_commit_transaction(ISC_STATUS* status, isc_tr_handle* handle) override
    {
        return Entry(Fisc_commit_transaction, "isc_commit_transaction")(status, handle);
    }
    ISC_STATUS isc_commit_retaining(ISC_STATUS* status, isc_tr_handle* handle) override
    {
        return Entry(Fisc_commit_retaining, "isc_commit_retaining")(status, handle);
    }
    ISC_STATUS isc_rollback_transaction(ISC_STATUS* status, isc_tr_handle* handle) override
    {
        return Entry(Fisc_rollback_transaction, "isc_rollback_transaction")(status, handle);
    }
    ISC_STATUS isc_dsql_execute_immediate(ISC_STATUS* status, isc_db_handle* database, isc_tr_handle* transaction,
                                          unsigned short length, const ISC_SCHAR* sql, unsigned short dialect,
                                          const XSQLDA* sqlda) override
    {
        return Entry(Fisc_dsql_execute_immediate, "isc_dsql_execute_immediate")(status, database, transaction, length,
                                                                                 sql, dialect, sqlda);
    }
    ISC_STATUS isc_dsql_alloc_statement2(ISC_STATUS* status, isc_db_handle* database, isc_stmt_handle* handle) override
    {
        return Entry(Fisc_dsql_alloc_statement2, "isc_dsql_alloc_statement2")(status, database, handle);
    }
    ISC_STATUS isc_dsql_prepare(ISC_STATUS* status, isc_tr_handle* transaction, isc_stmt_handle* handle, unsigned short length, const ISC_SCHAR* sql, unsigned short dialect, XSQLDA* sqlda) override
    {
        return Entry(Fisc_dsql_prepare, "isc_dsql_prepare")(status, transaction, handle, length, sql, dialect, sqlda);
    }
    ISC_STATUS isc_dsql_describe(ISC_STATUS* status, isc_stmt_handle* handle, unsigned short version, XSQLDA* sqlda) override
    {
        return Entry(Fisc_dsql_describe, "isc_dsql_describe")(status, handle, version, sqlda);
    }
    ISC_STATUS isc_dsql_describe_bind(ISC_STATUS* status, isc_stmt_handle* handle, unsigned short version, XSQLDA* sqlda) override
    {
        return Entry(Fisc_dsql_describe_bind, "isc_dsql_describe_bind")(status, handle, version, sqlda);
    }
    ISC_STATUS isc_dsql_sql_info(ISC_STATUS* status, isc_stmt_handle* handle, short itemLength, const ISC_SCHAR* items, short bufferLength, ISC_SCHAR* buffer) override
    {
        return Entry(Fisc_dsql_sql_info, "isc_dsql_sql_info")(status, handle, itemLength, items, bufferLength, buffer);
    }
    ISC_STATUS isc_dsql_execute2(ISC_STATUS* status, isc_tr_handle* transaction, isc_stmt_handle* handle, unsigned short version, const XSQLDA* in, const XSQLDA* out) override
    {
        return Entry(Fisc_dsql_execute2, "isc_dsql_execute2")(status, transaction, handle, version, in, out);
    }
    ISC_STATUS isc_dsql_fetch(ISC_STATUS* status, isc_stmt_handle* handle, unsigned short version, const XSQLDA* sqlda) override
    {
        return Entry(Fisc_dsql_fetch, "isc_dsql_fetch")(status, handle, version, sqlda);
    }
    ISC_STATUS isc_dsql_free_statement(ISC_STATUS* status, isc_stmt_handle* handle, unsigned short option) override
    {
        return Entry(Fisc_dsql_free_statement, "isc_dsql_free_statement")(status, handle, option);
    }
    ISC_STATUS isc_open_blob2(ISC_STATUS* status, isc_db_handle* database, isc_tr_handle* transaction, isc_blob_handle* handle, ISC_QUAD* id, ISC_USHORT bpbLength, const ISC_UCHAR* bpb) override
    {
        return Entry(Fisc_open_blob2, "isc_open_blob2")(status, database, transaction, handle, id, bpbLength, bpb);
    }
    ISC_STATUS isc_create_blob2(ISC_STATUS* status, isc_db_handle* database, isc_tr_handle* transaction, isc_blob_handle* handle, ISC_QUAD* id, short bpbLength, const ISC_SCHAR* bpb) override
    {
        return Entry(Fisc_create_blob2, "isc_create_blob2")(status, database, transaction, handle, id, bpbLength, bpb);
    }
    ISC_STATUS isc_blob_info(ISC_STATUS* status, isc_blob_handle* handle, short itemLength, const ISC_SCHAR* items, short bufferLength, ISC_SCHAR* buffer) override
    {
        return Entry(Fisc_blob_info, "isc_blob_info")(status, handle, itemLength, items, bufferLength, buffer);
    }
    ISC_STATUS isc_get_segment(ISC_STATUS* status, isc_blob_handle* handle, unsigned short* actualLength, unsigned short bufferLength, ISC_SCHAR* buffer) override
    {
        return Entry(Fisc_get_segment, "isc_get_segment")(status, handle, actualLength, bufferLength, buffer);
    }
    ISC_STATUS isc_put_segment(ISC_STATUS* status, isc_blob_handle* handle, unsigned short length, const ISC_SCHAR* buffer) override
    {
        return Entry(Fisc_put_segment, "isc_put_segment")(status, handle, length, buffer);
    }
    ISC_STATUS isc_close_blob(ISC_STATUS* status, isc_blob_handle* handle) override
    {
        return Entry(Fisc_close_blob, "isc_close_blob")(status, handle);
    }
    ISC_STATUS isc_cancel_blob(ISC_STATUS* status, isc_blob_handle* handle) override
    {
        return Entry(Fisc_cancel_blob, "isc_cancel_blob")(status, handle);
    }

    void CheckEntryPoint(std::string_view name) override;

private:
    // The typed entry point, or the fallback's error when the client lacks it (or, never on
    // the program's paths, when the library is not loaded: the binding never calls an entry
    // point it did not resolve).
    template <typename Fn>
    Fn Entry(Fn fn, const char* name)
    {
        if (fn == nullptr)
            RaiseUnavailable(name);
        return fn;
    }
    [[noreturn]] void RaiseUnavailable(std::string_view name) const;

    void* Required(const char* name) const;
    void* Optional(const char* name) const;
    void ResolveCore();
    void ResolveVersion6();
    void QueryClientVersion();
    void ResolveVersionGatedGroups();
    void AddFallback(const char* name, std::string_view format, bool bareName);
    void ForgetEntryPoints() noexcept;
    void ResolveServiceInterface();

#define TOVANEL_TYPED_MEMBER(name) decltype(&::name) F##name = nullptr;
#define TOVANEL_UNTYPED_MEMBER(name) void* F##name = nullptr;
    TOVANEL_CORE_ENTRY_POINTS(TOVANEL_TYPED_MEMBER)
    TOVANEL_TYPED_MEMBER(isc_rollback_retaining)
    TOVANEL_VERSION6_ENTRY_POINTS(TOVANEL_TYPED_MEMBER)
    TOVANEL_TYPED_MEMBER(isc_get_client_version)
    TOVANEL_TYPED_MEMBER(isc_get_client_major_version)
    TOVANEL_TYPED_MEMBER(isc_get_client_minor_version)
    TOVANEL_VERSION70_ENTRY_POINTS(TOVANEL_UNTYPED_MEMBER)
    TOVANEL_VERSION71_ENTRY_POINTS(TOVANEL_UNTYPED_MEMBER)
    TOVANEL_VERSION80_ENTRY_POINTS(TOVANEL_UNTYPED_MEMBER)
#undef TOVANEL_TYPED_MEMBER
#undef TOVANEL_UNTYPED_MEMBER

    std::map<std::string, TFallback, std::less<>> FFallbacks;
    // The service calls over the object interface, when the client has one.
    std::unique_ptr<TServiceInterface> FServices;
};

void* TDynamicLibrary::Optional(const char* name) const
{
    return dlsym(gLibraryHandle, name);
}

// A missing required entry point is the operating system's error, with dlerror's text.
void* TDynamicLibrary::Required(const char* name) const
{
    dlerror();
    errno = 0;
    void* address = dlsym(gLibraryHandle, name);
    if (address == nullptr) {
        const int code = errno;
        const char* description = dlerror();
        throw EOSError(code, description != nullptr ? description : std::string("undefined symbol: ") + name);
    }
    return address;
}

void TDynamicLibrary::ResolveCore()
{
#define TOVANEL_RESOLVE(name) F##name = reinterpret_cast<decltype(F##name)>(Required(#name));
    TOVANEL_CORE_ENTRY_POINTS(TOVANEL_RESOLVE)
}

void TDynamicLibrary::AddFallback(const char* name, std::string_view format, bool bareName)
{
    const TErrorArg argument{bareName ? std::string(name) : std::string(name) + " "};
    FFallbacks[name] = TFallback{false, FormatErrorText(format, std::span(&argument, 1))};
}

void TDynamicLibrary::ResolveVersion6()
{
    Fisc_rollback_retaining = reinterpret_cast<decltype(Fisc_rollback_retaining)>(Optional("isc_rollback_retaining"));
    if (Fisc_rollback_retaining != nullptr) {
        gClientVersion = 60000;
        TOVANEL_VERSION6_ENTRY_POINTS(TOVANEL_RESOLVE)
        return;
    }
    gClientVersion = 50000;
    FFallbacks["isc_rollback_retaining"] = TFallback{true, {}};
#define TOVANEL_VERSION6_FALLBACK(name) FFallbacks[#name] = TFallback{true, {}};
    TOVANEL_VERSION6_ENTRY_POINTS(TOVANEL_VERSION6_FALLBACK)
#undef TOVANEL_VERSION6_FALLBACK
}

// major + minor / 10, rounded to ten-thousandths (major 2, minor 5 is 2.5).
void TDynamicLibrary::QueryClientVersion()
{
    Fisc_get_client_version = reinterpret_cast<decltype(Fisc_get_client_version)>(Optional("isc_get_client_version"));
    if (Fisc_get_client_version == nullptr) {
        AddFallback("isc_get_client_version", kVersion70Text, false);
        AddFallback("isc_get_client_major_version", kVersion70Text, false);
        AddFallback("isc_get_client_minor_version", kVersion70Text, false);
        return;
    }
    TOVANEL_RESOLVE(isc_get_client_major_version)
    TOVANEL_RESOLVE(isc_get_client_minor_version)
    const long double major = Fisc_get_client_major_version();
    const long double minor = Fisc_get_client_minor_version();
    gClientVersion = std::llround((major + minor / 10.0L) * 10000.0L);
}

void TDynamicLibrary::ResolveVersionGatedGroups()
{
    if (gClientVersion >= 70000) {
        TOVANEL_VERSION70_ENTRY_POINTS(TOVANEL_RESOLVE)
    } else {
#define TOVANEL_FALLBACK70(name) AddFallback(#name, kVersion70Text, false);
        TOVANEL_VERSION70_ENTRY_POINTS(TOVANEL_FALLBACK70)
#undef TOVANEL_FALLBACK70
    }
    if (gClientVersion >= 71000) {
        TOVANEL_VERSION71_ENTRY_POINTS(TOVANEL_RESOLVE)
    } else {
#define TOVANEL_FALLBACK71(name) AddFallback(#name, kVersion71Text, false);
        TOVANEL_VERSION71_ENTRY_POINTS(TOVANEL_FALLBACK71)
#undef TOVANEL_FALLBACK71
    }
    if (gClientVersion >= 80000) {
        TOVANEL_VERSION80_ENTRY_POINTS(TOVANEL_RESOLVE)
    } else {
#define TOVANEL_FALLBACK80(name) AddFallback(#name, kVersion80Text, true);
        TOVANEL_VERSION80_ENTRY_POINTS(TOVANEL_FALLBACK80)
#undef TOVANEL_FALLBACK80
    }
}
#undef TOVANEL_RESOLVE

// Clients from Firebird 3 on offer the object interface; older ones have only the isc_ calls.
void TDynamicLibrary::ResolveServiceInterface()
{
    using TGetMaster = Firebird::IMaster* (*)();
    const auto getMaster = reinterpret_cast<TGetMaster>(Optional("fb_get_master_interface"));
    if (getMaster != nullptr && Fisc_service_attach != nullptr)
        if (Firebird::IMaster* master = getMaster())
            FServices = std::make_unique<TServiceInterface>(master, kStatusVectorLength);
}

void TDynamicLibrary::ForgetEntryPoints() noexcept
{
#define TOVANEL_FORGET(name) F##name = nullptr;
    TOVANEL_CORE_ENTRY_POINTS(TOVANEL_FORGET)
    TOVANEL_FORGET(isc_rollback_retaining)
    TOVANEL_VERSION6_ENTRY_POINTS(TOVANEL_FORGET)
    TOVANEL_FORGET(isc_get_client_version)
    TOVANEL_FORGET(isc_get_client_major_version)
    TOVANEL_FORGET(isc_get_client_minor_version)
    TOVANEL_VERSION70_ENTRY_POINTS(TOVANEL_FORGET)
    TOVANEL_VERSION71_ENTRY_POINTS(TOVANEL_FORGET)
    TOVANEL_VERSION80_ENTRY_POINTS(TOVANEL_FORGET)
#undef TOVANEL_FORGET
    FFallbacks.clear();
    FServices.reset();
}

void TDynamicLibrary::LoadIBLibrary()
{
    gLibraryHandle = dlopen(gLibraryFileName.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (gLibraryHandle == nullptr)
        return;
    try {
        ResolveCore();
        ResolveVersion6();
        QueryClientVersion();
        ResolveVersionGatedGroups();
        ResolveServiceInterface();
    } catch (...) {
        // A client missing a required entry point is not used at all: unloaded, it counts as
        // not loaded, and the next check tries (and reports) again.
        ForgetEntryPoints();
        dlclose(gLibraryHandle);
        gLibraryHandle = nullptr;
        gClientVersion = 0;
        throw;
    }
}

void TDynamicLibrary::FreeIBLibrary()
{
    if (gLibraryHandle != nullptr) {
        ForgetEntryPoints();
        dlclose(gLibraryHandle);
        gLibraryHandle = nullptr;
    }
}

bool TDynamicLibrary::TryIBLoad()
{
    if (gLibraryHandle == nullptr)
        LoadIBLibrary();
    return gLibraryHandle != nullptr;
}

void TDynamicLibrary::CheckIBLoaded()
{
    if (!TryIBLoad())
        RaiseClientError(ceLibraryMissing, {std::string()});
}

int64_t TDynamicLibrary::GetIBClientVersion()
{
    CheckIBLoaded();
    return gClientVersion;
}

void TDynamicLibrary::RaiseUnavailable(std::string_view name) const
{
    const auto found = FFallbacks.find(name);
    if (found == FFallbacks.end())
        RaiseClientError(ceLibraryMissing, {std::string()});
    if (found->second.version6)
        RaiseClientError(ceVersion6Function, {std::string(name)});
    throw EIBClientError(0, 0, found->second.text);
}

void TDynamicLibrary::CheckEntryPoint(std::string_view name)
{
    if (FFallbacks.contains(name))
        RaiseUnavailable(name);
}

}  // namespace

#pragma GCC diagnostic pop

std::shared_ptr<IGDSLibrary> GDSLibraryInstance()
{
    static const std::shared_ptr<IGDSLibrary> instance = std::make_shared<TDynamicLibrary>();
    return instance;
}

int64_t ClientVersion()
{
    return gClientVersion;
}

void SetClientLibraryFileNameForTesting(std::string fileName)
{
    gLibraryFileName = std::move(fileName);
}
