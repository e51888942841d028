// Rows per second copied table to table through the access layer: a natural scan of the source
// table, its rows passed as bytes into batches of inserts (TInsertBatch, one EXECUTE BLOCK per
// batch), one commit, then the primary key built on the loaded table.
//
//   bench_sql_copy SOURCE TARGET TABLE KEY_COLUMN ROWS_PER_BATCH [no-undo]
//
// SOURCE and TARGET are paths the local server opens; TARGET holds the table without its key.
// ROWS_PER_BATCH 0 only scans the source (what the reading side costs alone); no-undo writes in a
// transaction without its undo log (isc_tpb_no_auto_undo).
// User and password come from ISC_USER and ISC_PASSWORD; FIREBIRD chooses the instance.
#include "BenchCommon.h"
#include "IBDatabase.h"
#include "IBMetadata.h"
#include "IBStatement.h"
#include "IBTransaction.h"
#include "InsertBatch.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string>

namespace {

std::unique_ptr<TIBDatabase> Attach(const std::string& path)
{
    auto db = std::make_unique<TIBDatabase>();
    db->SetLoginPrompt(false);
    db->SetDatabaseName("localhost:" + path);
    db->Params().SetValue("user_name", bench::EnvOr("ISC_USER", "SYSDBA"));
    db->Params().SetValue("password", bench::EnvOr("ISC_PASSWORD", "ravenpike"));
    db->Open();
    return db;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 6 && argc != 7) {
        std::fprintf(stderr, "usage: %s SOURCE TARGET TABLE KEY_COLUMN ROWS_PER_BATCH [no-undo]\n", argv[0]);
        return 2;
    }
    const std::string table = argv[3];
    const std::string key = argv[4];
    const auto rowsPerBatch = static_cast<std::size_t>(std::strtoul(argv[5], nullptr, 10));
    try {
        auto source = Attach(argv[1]);
        auto target = Attach(argv[2]);
        const auto start = bench::Clock::now();
        TIBTransaction read(*source, TTransactionOptions::ReadDamagedSource());
        TTransactionOptions writeOptions = TTransactionOptions::WriteTarget();
        writeOptions.noAutoUndo = argc == 7 && std::string(argv[6]) == "no-undo";
        TIBTransaction write(*target, writeOptions);
        std::vector<std::string> columns;
        for (const TTableInfo& info : ReadUserTables(read))
            if (info.name == table)
                columns = ColumnNames(info);
        if (columns.empty())
            throw std::runtime_error("no table " + table);
        const std::string list = QuoteIdentifiers(columns);
        TIBStatement select(read, "select " + list + " from " + QuoteIdentifier(table) + " plan (" +
                                      QuoteIdentifier(table) + " natural)");
        if (rowsPerBatch == 0) {
            const uint64_t rows = select.ForEachRow([](const TSqlMessage&) { return true; });
            const double seconds = bench::SecondsBetween(start, bench::Clock::now());
            std::printf("scan only: rows %llu, %.3f s, %.0f rows/s\n", static_cast<unsigned long long>(rows), seconds,
                        static_cast<double>(rows) / seconds);
            return 0;
        }
        TInsertBatch batch(write, table, columns, rowsPerBatch);
        select.ForEachRow([&](const TSqlMessage& row) {
            batch.Add(row);
            return true;
        });
        batch.Flush();
        write.Commit();
        const auto loaded = bench::Clock::now();
        TIBTransaction ddl(*target, TTransactionOptions::WriteTarget());
        TIBStatement(ddl, "alter table " + QuoteIdentifier(table) + " add primary key (" + QuoteIdentifier(key) + ")")
            .Execute();
        ddl.Commit();
        const auto indexed = bench::Clock::now();
        const double load = bench::SecondsBetween(start, loaded);
        const double total = bench::SecondsBetween(start, indexed);
        std::printf("rows per batch %zu%s: rows %llu, round trips %llu, load %.3f s, key %.3f s, total %.3f s, "
                    "%.0f rows/s\n",
                    rowsPerBatch, writeOptions.noAutoUndo ? " (no undo log)" : "",
                    static_cast<unsigned long long>(batch.RowsWritten()),
                    static_cast<unsigned long long>(batch.RoundTrips()), load, total - load, total,
                    static_cast<double>(batch.RowsWritten()) / total);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "rows per batch %zu: %s\n", rowsPerBatch, e.what());
        return 1;
    }
    return 0;
}
