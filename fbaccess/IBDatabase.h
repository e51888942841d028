// The database connection: a connection string and a parameter list, turned into a database
// parameter block (DPB) and attached through the client library; reads the SQL dialect after
// attaching, tells whether the attachment still answers, and detaches.
#pragma once

#include "ByteBuffer.h"
#include "ClientLibrary.h"
#include "ParamList.h"
#include "TraceFlags.h"

#include <ibase.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

class TIBDatabase {
public:
    using TDatabaseEvent = std::function<void(TIBDatabase&)>;
    // The login step: receives a copy of Params to fill in; false declines the attach.
    using TLoginEvent = std::function<bool(TIBDatabase&, TParamList&)>;

    // Binds the client library first: a missing library fails the construction
    // (EIBClientError ceLibraryMissing).
    TIBDatabase();
    // Detaches when attached; a failing detach is force-closed and dropped.
    ~TIBDatabase();
    TIBDatabase(const TIBDatabase&) = delete;
    TIBDatabase& operator=(const TIBDatabase&) = delete;

    const std::string& DatabaseName() const noexcept { return FDBName; }
    // Refused while attached, unless the text is the current one.
    void SetDatabaseName(const std::string& value);

    // Every change is refused while attached and marks the DPB for rebuilding.
    TParamList& Params() noexcept { return FDBParams; }
    const TParamList& Params() const noexcept { return FDBParams; }
    void SetParams(const TParamList& value) { FDBParams.Assign(value); }

    bool Connected() const noexcept { return FHandle != 0; }
    void SetConnected(bool value);
    void Open() { SetConnected(true); }
    // Runs a CREATE DATABASE statement (it names the file and the login) and stays attached to
    // the new database; refused while attached. The server's refusal is raised as it comes.
    void CreateDatabase(std::string_view createStatement);
    void Close() { SetConnected(false); }
    // Whether the attachment still answers; never raises. A dead one is force-closed.
    bool TestConnected();
    // Detaches without reporting failures.
    void ForceClose();

    void CheckActive() const;
    void CheckInactive() const;
    void CheckDatabaseName() const;

    // The check of a client call's result: a lost connection force-closes and raises
    // EIBInterBaseError; otherwise the plain rule (raise when asked and ErrCode > 0).
    ISC_STATUS Call(ISC_STATUS ErrCode, bool RaiseError);

    // Index of the first Params line whose lower-cased text has its first occurrence of name
    // at its start or right after an "isc_dpb_" prefix; -1 when none.
    int IndexOfDBConst(std::string_view name) const;

    bool LoginPrompt() const noexcept { return FLoginPrompt; }
    void SetLoginPrompt(bool value) noexcept { FLoginPrompt = value; }
    int32_t SQLDialect() const noexcept { return FSQLDialect; }
    void SetSQLDialect(int32_t value) noexcept { FSQLDialect = value; }
    int32_t DBSQLDialect() const noexcept { return FDBSQLDialect; }
    TTraceFlags TraceFlags() const noexcept { return FTraceFlags; }
    void SetTraceFlags(TTraceFlags value) noexcept { FTraceFlags = value; }
    const std::string& CharacterSet() const noexcept { return FCharacterSet; }
    int32_t CharacterSetCodePage() const noexcept { return FCharacterSetCodePage; }
    isc_db_handle Handle() const noexcept { return FHandle; }
    isc_db_handle* HandleAddress() noexcept { return &FHandle; }
    IGDSLibrary& GDSLibrary() const noexcept { return *FGDSLibrary; }

    TDatabaseEvent BeforeConnect;
    TDatabaseEvent AfterConnect;
    TDatabaseEvent BeforeDisconnect;
    TDatabaseEvent AfterDisconnect;
    TDatabaseEvent OnDialectDowngradeWarning;
    TLoginEvent OnLogin;

private:
    void DoConnect();
    void DoDisconnect();
    void PrepareDPB();
    void CloseAttachment(bool force);

    std::shared_ptr<IGDSLibrary> FGDSLibrary;
    bool FIBLoaded = false;
    std::string FDBName;
    TParamList FDBParams;
    bool FDBParamsChanged = true;
    TByteBuffer FDPB;
    int16_t FDPBLength = 0;
    isc_db_handle FHandle = 0;
    bool FHandleIsShared = false;
    bool FLoginPrompt = true;
    int32_t FSQLDialect = 3;
    int32_t FDBSQLDialect = 3;
    TTraceFlags FTraceFlags;
    std::string FCharacterSet;
    int32_t FCharacterSetCodePage = 0;
};

// The database-information queries a connection needs: here only the SQL dialect.
class TIBDatabaseInfo {
public:
    explicit TIBDatabaseInfo(TIBDatabase& database);
    TIBDatabaseInfo(const TIBDatabaseInfo&) = delete;
    TIBDatabaseInfo& operator=(const TIBDatabaseInfo&) = delete;

    // isc_info_db_SQL_dialect of the attached database; 1 when the reply does not carry it.
    int32_t DBSQLDialect();
    // isc_info_forced_writes: whether the server writes each page through to the disk; false
    // when the reply does not carry it.
    bool ForcedWrites();

private:
    int32_t IntegerItem(char item, int32_t missing);

    std::shared_ptr<IGDSLibrary> FGDSLibrary;
    bool FIBLoaded = false;
    TIBDatabase& FDatabase;
};
