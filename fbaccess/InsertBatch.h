// Rows inserted into one table in batches: each batch is one round trip, an EXECUTE BLOCK that
// holds one INSERT per row, its parameters declared with the types of the target's columns, so
// a row whose shape matches those columns passes in as its bytes (TSqlMessage::CopyFrom).
#pragma once

#include "IBStatement.h"
#include "SqlMessage.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class TIBTransaction;

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

    // Adds one row (its fields in the column order given); sends the batch once it is full.
    void Add(const TSqlMessage& row, const TBlobIdMapper& blobs = {});
    // Sends the rows added since the last batch. A batch the server refuses raises EIBSqlError
    // and none of its rows is written.
    void Flush();

    std::size_t RowsPerBatch() const noexcept { return FRowsPerBatch; }
    std::size_t Pending() const noexcept { return FPending; }
    uint64_t RowsWritten() const noexcept { return FWritten; }
    uint64_t RoundTrips() const noexcept { return FRoundTrips; }

private:
    void Send(TIBStatement& statement, std::size_t rows);

    TIBTransaction& FTransaction;
    std::string FTable;
    std::vector<std::string> FColumns;
    std::size_t FRowsPerBatch;
    TIBStatement FFull;
    std::optional<TIBStatement> FRest;
    std::size_t FPending = 0;
    uint64_t FWritten = 0;
    uint64_t FRoundTrips = 0;
};
