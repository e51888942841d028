#include "InsertBatch.h"

#include "IBErrors.h"
#include "IBSqlError.h"
#include "IBMetadata.h"

std::string InsertBatchSql(std::string_view table, const std::vector<std::string>& columns, std::size_t rows)
{
    const std::string target = QuoteIdentifier(table);
    const std::string names = QuoteIdentifiers(columns);
    if (rows == 1) {
        std::string marks;
        for (std::size_t c = 0; c < columns.size(); ++c)
            marks += c == 0 ? "?" : ", ?";
        return "insert into " + target + " (" + names + ") values (" + marks + ")";
    }
    std::string declarations;
    std::string body;
    for (std::size_t r = 0; r < rows; ++r) {
        std::string values;
        for (std::size_t c = 0; c < columns.size(); ++c) {
            const std::string parameter = "P" + std::to_string(r) + "_" + std::to_string(c);
            declarations += (declarations.empty() ? "" : ", ") + parameter + " type of column " + target + "." +
                            QuoteIdentifier(columns[c]) + " = ?";
            values += (c == 0 ? ":" : ", :") + parameter;
        }
        body += "insert into " + target + " (" + names + ") values (" + values + "); ";
    }
    return "execute block (" + declarations + ") as begin " + body + "end";
}

TInsertBatch::TInsertBatch(TIBTransaction& transaction, std::string table, std::vector<std::string> columns,
                           std::size_t rowsPerBatch)
    : FTransaction(transaction),
      FTable(std::move(table)),
      FColumns(std::move(columns)),
      FRowsPerBatch(rowsPerBatch == 0 ? 1 : rowsPerBatch),
      FFull(transaction, InsertBatchSql(FTable, FColumns, FRowsPerBatch))
{
}

void TInsertBatch::Add(const TSqlMessage& row, const TBlobIdMapper& blobs)
{
    if (row.Count() < FColumns.size())
        RaiseClientError(ceRowShapeMismatch, {std::to_string(row.Count()) + " values for " +
                                              std::to_string(FColumns.size()) + " columns of " + FTable});
    FFull.Params().CopyFrom(row, FPending * FColumns.size(), blobs, FColumns.size());
    if (++FPending == FRowsPerBatch)
        Send(FFull, FPending);
}

void TInsertBatch::Flush()
{
    if (FPending == 0)
        return;
    const std::size_t count = FPending;
    if (!FRest || FRest->Params().Count() != count * FColumns.size())
        FRest.emplace(FTransaction, InsertBatchSql(FTable, FColumns, count));
    // The pending rows' bytes sit in the first fields of the full batch, in the same order.
    FRest->Params().CopyFields(FFull.Params(), 0, count * FColumns.size(), 0);
    Send(*FRest, count);
}

void TInsertBatch::RetryRefusedRows(TRefusedRow refused, TRetryRow beforeRetry)
{
    FRefused = std::move(refused);
    FBeforeRetry = std::move(beforeRetry);
}

void TInsertBatch::Send(TIBStatement& statement, std::size_t rows)
{
    // A refused batch is dropped whole (the server wrote none of its rows); the caller still has
    // them, and so has FFull's message until the next Add.
    FPending = 0;
    ++FRoundTrips;
    try {
        statement.Execute();
    } catch (const EIBSqlError&) {
        if (!FRefused)
            throw;
        SendEachAlone(rows);
        return;
    }
    FWritten += rows;
}

void TInsertBatch::SendEachAlone(std::size_t rows)
{
    if (!FSingle)
        FSingle.emplace(FTransaction, InsertBatchSql(FTable, FColumns, 1));
    TSqlMessage& values = FFull.Params();
    const std::size_t columns = FColumns.size();
    for (std::size_t r = 0; r < rows; ++r) {
        if (FBeforeRetry)
            FBeforeRetry(r, values, r * columns);
        FSingle->Params().CopyFields(values, r * columns, columns, 0);
        ++FRoundTrips;
        try {
            FSingle->Execute();
            ++FWritten;
        } catch (const EIBSqlError& refusal) {
            FRefused(r, values, r * columns, refusal);
        }
    }
}
