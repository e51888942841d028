// A transaction on one attachment: started with the caller's options when the object is made,
// ended by Commit or Rollback, and rolled back (failures dropped) if it is still open when the
// object dies. Move-only: moving hands the handle over.
#pragma once

#include <ibase.h>

#include <cstdint>
#include <optional>
#include <string>

class TIBDatabase;

enum class TIsolation : uint8_t {
    Snapshot,                 // concurrency: one view of the database for the whole transaction
    ReadCommitted,            // sees what others committed; reads the newest committed version
    ReadCommittedNoRecVersion,// read committed, but waits for (or fails on) uncommitted versions
    Consistency,              // table-level locks
};

struct TTransactionOptions {
    TIsolation isolation = TIsolation::Snapshot;
    bool readOnly = false;
    bool wait = true;
    // Seconds to wait for a lock before failing; only with wait. None: wait as long as it takes.
    std::optional<int16_t> lockTimeout;
    // No transaction-level undo log: a bulk load into a new database is cheaper, and a failure
    // there is undone by rolling back (statement savepoints still hold).
    bool noAutoUndo = false;

    // For reading a damaged source: read-only read committed, no wait. A read-only read-committed
    // transaction does not hold back garbage collection and asks nothing of the damaged file's
    // transaction inventory beyond its start.
    static TTransactionOptions ReadDamagedSource();
    // For writing the new database: a write transaction that waits for locks.
    static TTransactionOptions WriteTarget(TIsolation isolation = TIsolation::Snapshot);
};

// The transaction parameter block for the options (version 3, then the items).
std::string BuildTPB(const TTransactionOptions& options);

class TIBTransaction {
public:
    // Starts at once (isc_start_multiple with one database); a failure raises EIBSqlError and
    // leaves nothing to free.
    TIBTransaction(TIBDatabase& database, const TTransactionOptions& options);
    ~TIBTransaction();
    TIBTransaction(const TIBTransaction&) = delete;
    TIBTransaction& operator=(const TIBTransaction&) = delete;
    TIBTransaction(TIBTransaction&& other) noexcept;
    TIBTransaction& operator=(TIBTransaction&& other) noexcept;

    bool Active() const noexcept { return FHandle != 0; }
    // Ends the transaction. A failed commit keeps it open (the caller may roll back); a failed
    // rollback forgets the handle, since the server has nothing left to keep for it.
    void Commit();
    void Rollback();
    // Commits and keeps the transaction open with the same handle and a new view.
    void CommitRetaining();

    TIBDatabase& Database() const noexcept { return *FDatabase; }
    const TTransactionOptions& Options() const noexcept { return FOptions; }
    isc_tr_handle Handle() const noexcept { return FHandle; }
    isc_tr_handle* HandleAddress() noexcept { return &FHandle; }
    // Raises ceTransactionNotActive when ended (or moved from).
    void CheckActive() const;

private:
    void RollbackQuietly() noexcept;

    TIBDatabase* FDatabase;
    TTransactionOptions FOptions;
    isc_tr_handle FHandle = 0;
};
