// An SQL statement on one attachment: allocated and prepared when the object is made, its select
// list and input parameters described once, executed with its parameters, fetched row by row,
// and freed in a noexcept destructor. Move-only: moving hands the handle over.
#pragma once

#include "SqlMessage.h"

#include <ibase.h>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

class TIBDatabase;
class TIBTransaction;

// isc_info_sql_stmt_type's answer.
enum class TStatementType : int32_t {
    Unknown = 0,
    Select = isc_info_sql_stmt_select,
    Insert = isc_info_sql_stmt_insert,
    Update = isc_info_sql_stmt_update,
    Delete = isc_info_sql_stmt_delete,
    Ddl = isc_info_sql_stmt_ddl,
    GetSegment = isc_info_sql_stmt_get_segment,
    PutSegment = isc_info_sql_stmt_put_segment,
    ExecProcedure = isc_info_sql_stmt_exec_procedure,
    StartTransaction = isc_info_sql_stmt_start_trans,
    Commit = isc_info_sql_stmt_commit,
    Rollback = isc_info_sql_stmt_rollback,
    SelectForUpdate = isc_info_sql_stmt_select_for_upd,
    SetGenerator = isc_info_sql_stmt_set_generator,
    Savepoint = isc_info_sql_stmt_savepoint,
};

class TIBStatement {
public:
    // Allocates on the transaction's attachment and prepares sql there, in the attachment's
    // dialect. A server refusal raises EIBSqlError with the server's text; the handle is freed.
    TIBStatement(TIBTransaction& transaction, std::string_view sql);
    ~TIBStatement();
    TIBStatement(const TIBStatement&) = delete;
    TIBStatement& operator=(const TIBStatement&) = delete;
    TIBStatement(TIBStatement&& other) noexcept;
    TIBStatement& operator=(TIBStatement&& other) noexcept;

    TStatementType Type() const noexcept { return FType; }
    // A select: Execute opens a cursor and rows come with Fetch.
    bool HasCursor() const noexcept;
    const std::string& Sql() const noexcept { return FSql; }

    // The input parameters, set before Execute; and the current row (or the output of an
    // EXECUTE PROCEDURE / EXECUTE BLOCK without SUSPEND / INSERT ... RETURNING).
    TSqlMessage& Params() noexcept { return FParams; }
    const TSqlMessage& Params() const noexcept { return FParams; }
    TSqlMessage& Columns() noexcept { return FColumns; }
    const TSqlMessage& Columns() const noexcept { return FColumns; }

    // Runs the statement with the current parameters in its transaction (an open cursor is
    // closed first). A select opens its cursor; anything else runs to its end.
    void Execute();
    // Uses another transaction of the same attachment from now on.
    void SetTransaction(TIBTransaction& transaction);
    // The next row into Columns(): true for a row, false at the end. A failure raises
    // EIBSqlError; the cursor stays open (CloseCursor) and the rows already read stay valid.
    bool Fetch();
    bool CursorOpen() const noexcept { return FCursorOpen; }
    void CloseCursor();
    // Executes, then hands each row to onRow (false from it stops), then closes the cursor.
    // Returns the rows handed over.
    uint64_t ForEachRow(const std::function<bool(const TSqlMessage&)>& onRow);

    isc_stmt_handle Handle() const noexcept { return FHandle; }
    TIBDatabase& Database() const noexcept { return *FDatabase; }
    TIBTransaction& Transaction() const noexcept { return *FTransaction; }

private:
    void CheckUsable() const;
    void ReadType();
    void Describe(TSqlMessage& message, bool input);
    void Free() noexcept;

    TIBDatabase* FDatabase;
    TIBTransaction* FTransaction;
    std::string FSql;
    isc_stmt_handle FHandle = 0;
    TStatementType FType = TStatementType::Unknown;
    TSqlMessage FParams{"Parameter"};
    TSqlMessage FColumns{"Column"};
    bool FCursorOpen = false;
};
