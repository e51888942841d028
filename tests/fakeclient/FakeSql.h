// The SQL section of the fake client library: transactions, statements and blobs. Calls are
// recorded like every other call (FakeClient.h); a failure is scripted with Push(function,
// Failure(...)) as usual. What a successful call hands back is scripted here:
// - isc_dsql_describe / isc_dsql_describe_bind: the fields of the next description;
// - isc_dsql_fetch (and isc_dsql_execute2 with an output XSQLDA): the next row's values, raw
//   bytes as the client library holds them; no row left means end of cursor (100);
// - isc_get_segment: the next segment; none left means end of blob; a segment longer than the
//   caller's buffer comes in pieces (isc_segment), as the real client hands it over.
// isc_dsql_execute2 records each input field: "in[i].sqltype", "in[i].sqllen", "in[i].scale",
// "in[i].subtype", "in[i].null" (the indicator) and "in[i].data" (the value's bytes).
#pragma once

#include "FakeClient.h"

#include <ibase.h>

#include <optional>
#include <string>
#include <vector>

namespace fakeclient::sql {

struct Field {
    Field() = default;
    Field(short type, short bytes, short fieldScale = 0, short fieldSubtype = 0, std::string fieldName = {},
          std::string fieldRelation = {}, std::string fieldAlias = {})
        : sqltype(type), length(bytes), scale(fieldScale), subtype(fieldSubtype), name(std::move(fieldName)),
          relation(std::move(fieldRelation)), alias(std::move(fieldAlias))
    {
    }
    short sqltype = SQL_LONG;  // with or without the null bit
    short length = 4;
    short scale = 0;
    short subtype = 0;
    std::string name;
    std::string relation;
    std::string alias;
};

// A row: one entry per field, nullopt for NULL, else the value's bytes (VARCHAR: its two length
// bytes first).
using Row = std::vector<std::optional<std::string>>;

// Forgets everything FakeClient's Reset forgets, and the descriptions, rows and segments here.
void Reset();
void PushDescription(const std::string& function, std::vector<Field> fields);
void PushRow(Row row);
void PushSegment(std::string bytes);
// How many rows and segments are still queued.
std::size_t PendingRows();
std::size_t PendingSegments();

// The isc_dsql_sql_info reply giving a statement's type (isc_info_sql_stmt_...).
std::string StatementTypeReply(int type);
// The isc_blob_info reply for total length, segment count and longest segment.
std::string BlobInfoReply(int totalLength, int segments, int maxSegment);

// Handles handed out by the SQL calls that are not freed yet (statements, transactions,
// blobs), by kind: "statement", "transaction", "blob".
std::vector<std::string> OpenHandles();

// Little-endian bytes of a number, for expectations.
std::string LittleEndian(long long value, int bytes);

}  // namespace fakeclient::sql
