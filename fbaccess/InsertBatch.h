// Rows inserted into one table in batches: each batch is one round trip, an EXECUTE BLOCK that
// holds one INSERT per row, its parameters declared with the types of the target's columns, so
// a row whose shape matches those columns passes in as its bytes (TSqlMessage::CopyFrom).
#pragma once

#include "IBStatement.h"
#include "SqlMessage.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class TIBTransaction;
class EIBSqlError;

// What a batch does with a row the server refused when it went again on its own: the values
// hold the batch's rows one after another, the row's first field at `first`.
using TRefusedRow =
    std::function<void(std::size_t row, const TSqlMessage& values, std::size_t first, const EIBSqlError& refusal)>;
// Called before a row of a refused batch goes again on its own, with the same arguments (blob ids
// written for the refused statement may be gone with it).
using TRetryRow = std::function<void(std::size_t row, TSqlMessage& values, std::size_t first)>;

// Rows per batch: measured with bench/sql-copy.sh (BENCHMARKS.md, section 7). One row per round
// trip copies 2,800-4,800 rows/s; 64 rows per batch reach the plateau (11,400-14,900 rows/s),
// larger batches gain nothing and make longer statements.
inline constexpr std::size_t kRowsPerBatch = 64;

// The statement text of a batch of rows (for rows == 1 a plain INSERT with parameters).
std::string InsertBatchSql(std::string_view table, const std::vector<std::string>& columns, std::size_t rows);

class TInsertBatch {
public:
    // Prepares the full batch once; the last, shorter batch is prepared when it is flushed.
    TInsertBatch(TIBTransaction& transaction, std::string table, std::vector<std::string> columns,
                 std::size_t rowsPerBatch);

    // Adds one row (its first fields in the column order given; fields after them, such as a
    // select list's RDB$DB_KEY, are not inserted); sends the batch once it is full.
    void Add(const TSqlMessage& row, const TBlobIdMapper& blobs = {});
    // Sends the rows added since the last batch. A batch the server refuses raises EIBSqlError
    // and none of its rows is written, unless RetryRefusedRows was called.
    void Flush();
    // From now on a refused batch goes again one row per round trip, and each row the server
    // still refuses is handed to `refused` instead of an error: one bad row costs only itself.
    void RetryRefusedRows(TRefusedRow refused, TRetryRow beforeRetry = {});

    std::size_t RowsPerBatch() const noexcept { return FRowsPerBatch; }
    std::size_t Pending() const noexcept { return FPending; }
    uint64_t RowsWritten() const noexcept { return FWritten; }
    uint64_t RoundTrips() const noexcept { return FRoundTrips; }

private:
    void Send(TIBStatement& statement, std::size_t rows);
    void SendEachAlone(std::size_t rows);

    TIBTransaction& FTransaction;
    std::string FTable;
    std::vector<std::string> FColumns;
    std::size_t FRowsPerBatch;
    TIBStatement FFull;
    std::optional<TIBStatement> FRest;
    std::optional<TIBStatement> FSingle;
    TRefusedRow FRefused;
    TRetryRow FBeforeRetry;
    std::size_t FPending = 0;
    uint64_t FWritten = 0;
    uint64_t FRoundTrips = 0;
};
