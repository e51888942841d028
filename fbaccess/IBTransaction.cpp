#include "IBTransaction.h"

#include "ByteBuffer.h"
#include "IBDatabase.h"
#include "IBSqlError.h"

#include <utility>

namespace {

// One database of isc_start_multiple's vector, as the client library reads it.
struct TTransactionElement {
    isc_db_handle* database;
    int tpbLength;
    const char* tpb;
};

}  // namespace

TTransactionOptions TTransactionOptions::ReadDamagedSource()
{
    return TTransactionOptions{TIsolation::ReadCommitted, true, false, std::nullopt, false};
}

TTransactionOptions TTransactionOptions::WriteTarget(TIsolation isolation)
{
    return TTransactionOptions{isolation, false, true, std::nullopt, false};
}

std::string BuildTPB(const TTransactionOptions& options)
{
    TBlockWriter tpb;
    tpb.Byte(isc_tpb_version3);
    switch (options.isolation) {
    case TIsolation::Snapshot: tpb.Byte(isc_tpb_concurrency); break;
    case TIsolation::ReadCommitted: tpb.Byte(isc_tpb_read_committed).Byte(isc_tpb_rec_version); break;
    case TIsolation::ReadCommittedNoRecVersion:
        tpb.Byte(isc_tpb_read_committed).Byte(isc_tpb_no_rec_version);
        break;
    case TIsolation::Consistency: tpb.Byte(isc_tpb_consistency); break;
    }
    tpb.Byte(options.readOnly ? isc_tpb_read : isc_tpb_write);
    tpb.Byte(options.wait ? isc_tpb_wait : isc_tpb_nowait);
    if (options.wait && options.lockTimeout)
        tpb.Byte(isc_tpb_lock_timeout).Length8(2).Int16(*options.lockTimeout);
    if (options.noAutoUndo)
        tpb.Byte(isc_tpb_no_auto_undo);
    return tpb.Take();
}

TIBTransaction::TIBTransaction(TIBDatabase& database, const TTransactionOptions& options)
    : FDatabase(&database), FOptions(options)
{
    database.CheckActive();
    const std::string tpb = BuildTPB(options);
    TTransactionElement vector{database.HandleAddress(), static_cast<int>(tpb.size()), tpb.data()};
    CheckSql(database, database.GDSLibrary().isc_start_multiple(ThreadStatusVector(), &FHandle, 1, &vector));
}

TIBTransaction::~TIBTransaction()
{
    RollbackQuietly();
}

TIBTransaction::TIBTransaction(TIBTransaction&& other) noexcept
    : FDatabase(other.FDatabase), FOptions(other.FOptions), FHandle(std::exchange(other.FHandle, 0))
{
}

TIBTransaction& TIBTransaction::operator=(TIBTransaction&& other) noexcept
{
    if (this != &other) {
        RollbackQuietly();
        FDatabase = other.FDatabase;
        FOptions = other.FOptions;
        FHandle = std::exchange(other.FHandle, 0);
    }
    return *this;
}

void TIBTransaction::CheckActive() const
{
    if (!Active())
        RaiseClientError(ceTransactionNotActive);
}

void TIBTransaction::Commit()
{
    CheckActive();
    CheckSql(*FDatabase, FDatabase->GDSLibrary().isc_commit_transaction(ThreadStatusVector(), &FHandle));
    FHandle = 0;
}

void TIBTransaction::CommitRetaining()
{
    CheckActive();
    CheckSql(*FDatabase, FDatabase->GDSLibrary().isc_commit_retaining(ThreadStatusVector(), &FHandle));
}

void TIBTransaction::Rollback()
{
    CheckActive();
    const ISC_STATUS result = FDatabase->GDSLibrary().isc_rollback_transaction(ThreadStatusVector(), &FHandle);
    FHandle = 0;
    CheckSql(*FDatabase, result);
}

void TIBTransaction::RollbackQuietly() noexcept
{
    if (!Active())
        return;
    // The status vector of a failure being raised elsewhere is already copied into its exception.
    ISC_STATUS status[ISC_STATUS_LENGTH] = {};
    try {
        FDatabase->GDSLibrary().isc_rollback_transaction(status, &FHandle);
    } catch (...) {
    }
    FHandle = 0;
}
