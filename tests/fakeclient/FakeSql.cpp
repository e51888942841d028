// The SQL section of the fake client library (FakeSql.h), with the client's own prototypes.
#include "FakeSql.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>

namespace fakeclient::detail {
void RecordCall(std::string function, std::vector<Arg> args);
Arg NumberArg(std::string name, int64_t value);
Arg BlockArg(std::string name, const void* data, std::size_t length);
bool TakeAnswer(const std::string& function, Reply& reply);
ISC_STATUS WriteStatusWords(ISC_STATUS* status, const Reply& reply);
void WriteOutputBytes(const Reply& reply, bool scripted, ISC_SCHAR* buffer, std::size_t length);
}  // namespace fakeclient::detail

namespace fakeclient::sql {

namespace {

using detail::BlockArg;
using detail::NumberArg;

struct TSqlState {
    std::mutex lock;
    std::map<std::string, std::deque<std::vector<Field>>> descriptions;
    std::deque<Row> rows;
    std::deque<std::string> segments;
    std::map<FB_API_HANDLE, std::string> open;  // handle -> kind
    FB_API_HANDLE nextHandle = 500;
    unsigned nextBlob = 1;
};

TSqlState& State()
{
    static TSqlState state;
    return state;
}

// Runs the scripted answer of a call: its status and result; on success `then` runs.
template <typename Then>
ISC_STATUS Answer(const std::string& function, ISC_STATUS* status, Then then)
{
    Reply reply;
    const bool scripted = detail::TakeAnswer(function, reply);
    const ISC_STATUS result = detail::WriteStatusWords(status, reply);
    if (result == 0)
        then(reply, scripted);
    return result;
}

FB_API_HANDLE Open(const std::string& kind, const Reply& reply)
{
    std::lock_guard guard(State().lock);
    const FB_API_HANDLE handle = reply.handle ? *reply.handle : State().nextHandle++;
    State().open[handle] = kind;
    return handle;
}

void Close(FB_API_HANDLE* handle)
{
    std::lock_guard guard(State().lock);
    State().open.erase(*handle);
    *handle = 0;
}

Arg HandleArg(const std::string& name, const FB_API_HANDLE* handle)
{
    return NumberArg(name, handle != nullptr ? *handle : -1);
}

std::size_t DataSize(const XSQLVAR& var)
{
    const short type = static_cast<short>(var.sqltype & ~1);
    if (type == SQL_VARYING)
        return static_cast<std::size_t>(var.sqllen) + 2;
    if (type == SQL_NULL)
        return 0;
    return static_cast<std::size_t>(var.sqllen);
}

void Describe(const std::string& function, XSQLDA* sqlda)
{
    std::vector<Field> fields;
    {
        std::lock_guard guard(State().lock);
        auto& queue = State().descriptions[function];
        if (!queue.empty()) {
            // Kept until a description with room for every field takes it, as the server
            // describes the same statement again.
            fields = queue.front();
            if (sqlda == nullptr || static_cast<std::size_t>(sqlda->sqln) >= fields.size())
                queue.pop_front();
        }
    }
    if (sqlda == nullptr)
        return;
    sqlda->sqld = static_cast<ISC_SHORT>(fields.size());
    for (std::size_t i = 0; i < fields.size() && i < static_cast<std::size_t>(sqlda->sqln); ++i) {
        XSQLVAR& var = sqlda->sqlvar[i];
        const Field& field = fields[i];
        var.sqltype = field.sqltype;
        var.sqllen = field.length;
        var.sqlscale = field.scale;
        var.sqlsubtype = field.subtype;
        auto name = [](ISC_SCHAR* to, ISC_SHORT& length, const std::string& text) {
            length = static_cast<ISC_SHORT>(std::min<std::size_t>(text.size(), 31));
            std::memcpy(to, text.data(), static_cast<std::size_t>(length));
            to[length] = 0;
        };
        name(var.sqlname, var.sqlname_length, field.name);
        name(var.relname, var.relname_length, field.relation);
        name(var.aliasname, var.aliasname_length, field.alias);
    }
}

// Writes the next row into the caller's XSQLDA; false when none is left.
bool DeliverRow(const XSQLDA* sqlda)
{
    Row row;
    {
        std::lock_guard guard(State().lock);
        if (State().rows.empty())
            return false;
        row = std::move(State().rows.front());
        State().rows.pop_front();
    }
    if (sqlda == nullptr)
        return true;
    for (std::size_t i = 0; i < row.size() && i < static_cast<std::size_t>(sqlda->sqld); ++i) {
        const XSQLVAR& var = sqlda->sqlvar[i];
        if (var.sqlind != nullptr)
            *var.sqlind = row[i] ? 0 : -1;
        if (row[i] && var.sqldata != nullptr)
            std::memcpy(var.sqldata, row[i]->data(), std::min(row[i]->size(), DataSize(var)));
    }
    return true;
}

void RecordInput(std::vector<Arg>& args, const XSQLDA* sqlda)
{
    args.push_back(NumberArg("in_count", sqlda != nullptr ? sqlda->sqld : -1));
    if (sqlda == nullptr)
        return;
    for (int i = 0; i < sqlda->sqld; ++i) {
        const XSQLVAR& var = sqlda->sqlvar[i];
        const std::string at = "in[" + std::to_string(i) + "].";
        args.push_back(NumberArg(at + "sqltype", var.sqltype));
        args.push_back(NumberArg(at + "sqllen", var.sqllen));
        args.push_back(NumberArg(at + "scale", var.sqlscale));
        args.push_back(NumberArg(at + "subtype", var.sqlsubtype));
        args.push_back(NumberArg(at + "null", var.sqlind != nullptr ? *var.sqlind : 0));
        args.push_back(BlockArg(at + "data", var.sqldata, var.sqldata != nullptr ? DataSize(var) : 0));
    }
}

ISC_STATUS StatusOnly(ISC_STATUS* status, ISC_STATUS code)
{
    Reply reply = Failure(code);
    return detail::WriteStatusWords(status, reply);
}

}  // namespace

void Reset()
{
    fakeclient::Reset();
    std::lock_guard guard(State().lock);
    State().descriptions.clear();
    State().rows.clear();
    State().segments.clear();
    State().open.clear();
    State().nextHandle = 500;
    State().nextBlob = 1;
}

void PushDescription(const std::string& function, std::vector<Field> fields)
{
    std::lock_guard guard(State().lock);
    State().descriptions[function].push_back(std::move(fields));
}

void PushRow(Row row)
{
    std::lock_guard guard(State().lock);
    State().rows.push_back(std::move(row));
}

void PushSegment(std::string bytes)
{
    std::lock_guard guard(State().lock);
    State().segments.push_back(std::move(bytes));
}

std::size_t PendingRows()
{
    std::lock_guard guard(State().lock);
    return State().rows.size();
}

std::size_t PendingSegments()
{
    std::lock_guard guard(State().lock);
    return State().segments.size();
}

std::string LittleEndian(long long value, int bytes)
{
    std::string text;
    for (int i = 0; i < bytes; ++i)
        text += static_cast<char>(static_cast<unsigned long long>(value) >> (8 * i) & 0xFF);
    return text;
}

std::string StatementTypeReply(int type)
{
    return std::string(1, static_cast<char>(isc_info_sql_stmt_type)) + LittleEndian(4, 2) + LittleEndian(type, 4) +
           std::string(1, static_cast<char>(isc_info_end));
}

std::string BlobInfoReply(int totalLength, int segments, int maxSegment)
{
    auto item = [](int code, int value) { return std::string(1, static_cast<char>(code)) + LittleEndian(4, 2) + LittleEndian(value, 4); };
    return item(isc_info_blob_total_length, totalLength) + item(isc_info_blob_num_segments, segments) +
           item(isc_info_blob_max_segment, maxSegment) + std::string(1, static_cast<char>(isc_info_end));
}

std::vector<std::string> OpenHandles()
{
    std::lock_guard guard(State().lock);
    std::vector<std::string> kinds;
    for (const auto& [handle, kind] : State().open)
        kinds.push_back(kind + " " + std::to_string(handle));
    return kinds;
}

}  // namespace fakeclient::sql

using namespace fakeclient;
using namespace fakeclient::sql;

extern "C" {

ISC_STATUS ISC_EXPORT isc_start_multiple(ISC_STATUS* status, isc_tr_handle* handle, short count, void* vector)
{
    struct Element {
        isc_db_handle* database;
        int tpbLength;
        const char* tpb;
    };
    std::vector<Arg> args{HandleArg("handle", handle), NumberArg("count", count)};
    const auto* elements = static_cast<const Element*>(vector);
    for (short i = 0; elements != nullptr && i < count; ++i) {
        const std::string at = "teb[" + std::to_string(i) + "].";
        args.push_back(HandleArg(at + "database", elements[i].database));
        args.push_back(BlockArg(at + "tpb", elements[i].tpb, static_cast<std::size_t>(elements[i].tpbLength)));
    }
    detail::RecordCall("isc_start_multiple", std::move(args));
    return Answer("isc_start_multiple", status, [&](const Reply& reply, bool) { *handle = Open("transaction", reply); });
}

ISC_STATUS ISC_EXPORT isc_commit_transaction(ISC_STATUS* status, isc_tr_handle* handle)
{
    detail::RecordCall("isc_commit_transaction", {HandleArg("handle", handle)});
    return Answer("isc_commit_transaction", status, [&](const Reply&, bool) { Close(handle); });
}

ISC_STATUS ISC_EXPORT isc_commit_retaining(ISC_STATUS* status, isc_tr_handle* handle)
{
    detail::RecordCall("isc_commit_retaining", {HandleArg("handle", handle)});
    return Answer("isc_commit_retaining", status, [](const Reply&, bool) {});
}

ISC_STATUS ISC_EXPORT isc_rollback_transaction(ISC_STATUS* status, isc_tr_handle* handle)
{
    detail::RecordCall("isc_rollback_transaction", {HandleArg("handle", handle)});
    return Answer("isc_rollback_transaction", status, [&](const Reply&, bool) { Close(handle); });
}

ISC_STATUS ISC_EXPORT isc_dsql_alloc_statement2(ISC_STATUS* status, isc_db_handle* database, isc_stmt_handle* handle)
{
    detail::RecordCall("isc_dsql_alloc_statement2", {HandleArg("database", database), HandleArg("handle", handle)});
    return Answer("isc_dsql_alloc_statement2", status,
                  [&](const Reply& reply, bool) { *handle = Open("statement", reply); });
}

ISC_STATUS ISC_EXPORT isc_dsql_prepare(ISC_STATUS* status, isc_tr_handle* transaction, isc_stmt_handle* handle,
                                       unsigned short length, const ISC_SCHAR* sql, unsigned short dialect,
                                       XSQLDA* sqlda)
{
    const std::size_t size = length != 0 || sql == nullptr ? length : std::strlen(sql);
    detail::RecordCall("isc_dsql_prepare", {HandleArg("transaction", transaction), HandleArg("handle", handle),
                                            NumberArg("length", length), BlockArg("sql", sql, size),
                                            NumberArg("dialect", dialect), NumberArg("sqlda", sqlda != nullptr)});
    return Answer("isc_dsql_prepare", status, [&](const Reply&, bool) {
        if (sqlda != nullptr)
            Describe("isc_dsql_describe", sqlda);
    });
}

ISC_STATUS ISC_EXPORT isc_dsql_describe(ISC_STATUS* status, isc_stmt_handle* handle, unsigned short version,
                                        XSQLDA* sqlda)
{
    detail::RecordCall("isc_dsql_describe", {HandleArg("handle", handle), NumberArg("version", version),
                                             NumberArg("sqln", sqlda != nullptr ? sqlda->sqln : -1)});
    return Answer("isc_dsql_describe", status, [&](const Reply&, bool) { Describe("isc_dsql_describe", sqlda); });
}

ISC_STATUS ISC_EXPORT isc_dsql_describe_bind(ISC_STATUS* status, isc_stmt_handle* handle, unsigned short version,
                                             XSQLDA* sqlda)
{
    detail::RecordCall("isc_dsql_describe_bind", {HandleArg("handle", handle), NumberArg("version", version),
                                                  NumberArg("sqln", sqlda != nullptr ? sqlda->sqln : -1)});
    return Answer("isc_dsql_describe_bind", status,
                  [&](const Reply&, bool) { Describe("isc_dsql_describe_bind", sqlda); });
}

ISC_STATUS ISC_EXPORT isc_dsql_sql_info(ISC_STATUS* status, isc_stmt_handle* handle, short itemLength,
                                        const ISC_SCHAR* items, short bufferLength, ISC_SCHAR* buffer)
{
    detail::RecordCall("isc_dsql_sql_info",
                       {HandleArg("handle", handle), BlockArg("items", items, static_cast<std::size_t>(std::max<short>(itemLength, 0))),
                        NumberArg("buffer_length", bufferLength)});
    return Answer("isc_dsql_sql_info", status, [&](const Reply& reply, bool scripted) {
        detail::WriteOutputBytes(reply, scripted, buffer, static_cast<std::size_t>(std::max<short>(bufferLength, 0)));
    });
}

ISC_STATUS ISC_EXPORT isc_dsql_execute2(ISC_STATUS* status, isc_tr_handle* transaction, isc_stmt_handle* handle,
                                        unsigned short version, const XSQLDA* in, const XSQLDA* out)
{
    std::vector<Arg> args{HandleArg("transaction", transaction), HandleArg("handle", handle),
                          NumberArg("version", version), NumberArg("out", out != nullptr ? out->sqld : -1)};
    RecordInput(args, in);
    detail::RecordCall("isc_dsql_execute2", std::move(args));
    return Answer("isc_dsql_execute2", status, [&](const Reply&, bool) {
        if (out != nullptr)
            DeliverRow(out);
    });
}

ISC_STATUS ISC_EXPORT isc_dsql_fetch(ISC_STATUS* status, isc_stmt_handle* handle, unsigned short version,
                                     const XSQLDA* sqlda)
{
    detail::RecordCall("isc_dsql_fetch", {HandleArg("handle", handle), NumberArg("version", version)});
    Reply reply;
    detail::TakeAnswer("isc_dsql_fetch", reply);
    const ISC_STATUS result = detail::WriteStatusWords(status, reply);
    if (result != 0)
        return result;
    return DeliverRow(sqlda) ? 0 : 100;
}

ISC_STATUS ISC_EXPORT isc_dsql_free_statement(ISC_STATUS* status, isc_stmt_handle* handle, unsigned short option)
{
    detail::RecordCall("isc_dsql_free_statement", {HandleArg("handle", handle), NumberArg("option", option)});
    return Answer("isc_dsql_free_statement", status, [&](const Reply&, bool) {
        if (option == DSQL_drop)
            Close(handle);
    });
}

ISC_STATUS ISC_EXPORT isc_open_blob2(ISC_STATUS* status, isc_db_handle* database, isc_tr_handle* transaction,
                                     isc_blob_handle* handle, ISC_QUAD* id, ISC_USHORT bpbLength, const ISC_UCHAR* bpb)
{
    detail::RecordCall("isc_open_blob2", {HandleArg("database", database), HandleArg("transaction", transaction),
                                          HandleArg("handle", handle), BlockArg("id", id, id != nullptr ? sizeof *id : 0),
                                          BlockArg("bpb", bpb, bpbLength)});
    return Answer("isc_open_blob2", status, [&](const Reply& reply, bool) { *handle = Open("blob", reply); });
}

ISC_STATUS ISC_EXPORT isc_create_blob2(ISC_STATUS* status, isc_db_handle* database, isc_tr_handle* transaction,
                                       isc_blob_handle* handle, ISC_QUAD* id, short bpbLength, const ISC_SCHAR* bpb)
{
    detail::RecordCall("isc_create_blob2",
                       {HandleArg("database", database), HandleArg("transaction", transaction), HandleArg("handle", handle),
                        BlockArg("bpb", bpb, static_cast<std::size_t>(std::max<short>(bpbLength, 0)))});
    return Answer("isc_create_blob2", status, [&](const Reply& reply, bool) {
        *handle = Open("blob", reply);
        std::lock_guard guard(State().lock);
        id->gds_quad_high = 0x7F;
        id->gds_quad_low = State().nextBlob++;
    });
}

ISC_STATUS ISC_EXPORT isc_blob_info(ISC_STATUS* status, isc_blob_handle* handle, short itemLength,
                                    const ISC_SCHAR* items, short bufferLength, ISC_SCHAR* buffer)
{
    detail::RecordCall("isc_blob_info",
                       {HandleArg("handle", handle), BlockArg("items", items, static_cast<std::size_t>(std::max<short>(itemLength, 0))),
                        NumberArg("buffer_length", bufferLength)});
    return Answer("isc_blob_info", status, [&](const Reply& reply, bool scripted) {
        detail::WriteOutputBytes(reply, scripted, buffer, static_cast<std::size_t>(std::max<short>(bufferLength, 0)));
    });
}

ISC_STATUS ISC_EXPORT isc_get_segment(ISC_STATUS* status, isc_blob_handle* handle, unsigned short* actual,
                                      unsigned short bufferLength, ISC_SCHAR* buffer)
{
    detail::RecordCall("isc_get_segment", {HandleArg("handle", handle), NumberArg("buffer_length", bufferLength)});
    Reply reply;
    detail::TakeAnswer("isc_get_segment", reply);
    const ISC_STATUS result = detail::WriteStatusWords(status, reply);
    if (result != 0)
        return result;
    std::lock_guard guard(State().lock);
    if (State().segments.empty()) {
        *actual = 0;
        return StatusOnly(status, isc_segstr_eof);
    }
    std::string& segment = State().segments.front();
    const std::size_t length = std::min<std::size_t>(segment.size(), bufferLength);
    std::memcpy(buffer, segment.data(), length);
    *actual = static_cast<unsigned short>(length);
    if (length < segment.size()) {
        segment.erase(0, length);
        return StatusOnly(status, isc_segment);
    }
    State().segments.pop_front();
    return 0;
}

ISC_STATUS ISC_EXPORT isc_put_segment(ISC_STATUS* status, isc_blob_handle* handle, unsigned short length,
                                      const ISC_SCHAR* buffer)
{
    detail::RecordCall("isc_put_segment", {HandleArg("handle", handle), NumberArg("length", length),
                                           BlockArg("bytes", buffer, length)});
    return Answer("isc_put_segment", status, [](const Reply&, bool) {});
}

ISC_STATUS ISC_EXPORT isc_close_blob(ISC_STATUS* status, isc_blob_handle* handle)
{
    detail::RecordCall("isc_close_blob", {HandleArg("handle", handle)});
    return Answer("isc_close_blob", status, [&](const Reply&, bool) { Close(handle); });
}

ISC_STATUS ISC_EXPORT isc_cancel_blob(ISC_STATUS* status, isc_blob_handle* handle)
{
    detail::RecordCall("isc_cancel_blob", {HandleArg("handle", handle)});
    return Answer("isc_cancel_blob", status, [&](const Reply&, bool) { Close(handle); });
}

}  // extern "C"
