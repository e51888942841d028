#include "IBStatement.h"

#include "IBDatabase.h"
#include "IBSqlError.h"
#include "IBTransaction.h"

#include <utility>

namespace {

// Room described at first; a statement with more fields is described again with exact room.
constexpr std::size_t kInitialFields = 32;
constexpr ISC_STATUS kEndOfCursor = 100;

int32_t LittleEndian(const char* bytes, std::size_t count) noexcept
{
    uint32_t value = 0;
    for (std::size_t i = 0; i < count && i < 4; ++i)
        value |= static_cast<uint32_t>(static_cast<unsigned char>(bytes[i])) << (8 * i);
    return static_cast<int32_t>(value);
}

}  // namespace

TIBStatement::TIBStatement(TIBTransaction& transaction, std::string_view sql)
    : FDatabase(&transaction.Database()), FTransaction(&transaction), FSql(sql)
{
    transaction.CheckActive();
    if (FSql.size() > 0xFFFF)
        RaiseClientError(ceSqlTextTooLong, {static_cast<int64_t>(FSql.size()), int64_t{0xFFFF}});
    IGDSLibrary& library = FDatabase->GDSLibrary();
    CheckSql(*FDatabase, library.isc_dsql_alloc_statement2(ThreadStatusVector(), FDatabase->HandleAddress(), &FHandle));
    try {
        CheckSql(*FDatabase,
                 library.isc_dsql_prepare(ThreadStatusVector(), FTransaction->HandleAddress(), &FHandle,
                                          static_cast<unsigned short>(FSql.size()), FSql.data(),
                                          static_cast<unsigned short>(FDatabase->DBSQLDialect()), nullptr));
        ReadType();
        Describe(FColumns, false);
        Describe(FParams, true);
    } catch (...) {
        Free();
        throw;
    }
}

TIBStatement::~TIBStatement()
{
    Free();
}

TIBStatement::TIBStatement(TIBStatement&& other) noexcept
    : FDatabase(other.FDatabase),
      FTransaction(other.FTransaction),
      FSql(std::move(other.FSql)),
      FHandle(std::exchange(other.FHandle, 0)),
      FType(other.FType),
      FParams(std::move(other.FParams)),
      FColumns(std::move(other.FColumns)),
      FCursorOpen(std::exchange(other.FCursorOpen, false))
{
}

TIBStatement& TIBStatement::operator=(TIBStatement&& other) noexcept
{
    if (this != &other) {
        Free();
        FDatabase = other.FDatabase;
        FTransaction = other.FTransaction;
        FSql = std::move(other.FSql);
        FHandle = std::exchange(other.FHandle, 0);
        FType = other.FType;
        FParams = std::move(other.FParams);
        FColumns = std::move(other.FColumns);
        FCursorOpen = std::exchange(other.FCursorOpen, false);
    }
    return *this;
}

bool TIBStatement::HasCursor() const noexcept
{
    return FType == TStatementType::Select || FType == TStatementType::SelectForUpdate;
}

void TIBStatement::ReadType()
{
    const char items[] = {isc_info_sql_stmt_type};
    char reply[16] = {};
    CheckSql(*FDatabase, FDatabase->GDSLibrary().isc_dsql_sql_info(ThreadStatusVector(), &FHandle, sizeof items,
                                                                   items, sizeof reply, reply));
    if (reply[0] != isc_info_sql_stmt_type)
        return;
    const auto length = static_cast<std::size_t>(LittleEndian(reply + 1, 2));
    if (length <= sizeof reply - 3)
        FType = static_cast<TStatementType>(LittleEndian(reply + 3, length));
}

void TIBStatement::Describe(TSqlMessage& message, bool input)
{
    IGDSLibrary& library = FDatabase->GDSLibrary();
    auto describe = [&](std::size_t capacity) {
        XSQLDA* area = message.Descriptor(capacity);
        const ISC_STATUS result = input ? library.isc_dsql_describe_bind(ThreadStatusVector(), &FHandle, 1, area)
                                        : library.isc_dsql_describe(ThreadStatusVector(), &FHandle, 1, area);
        CheckSql(*FDatabase, result);
    };
    describe(kInitialFields);
    if (message.Described() > kInitialFields)
        describe(message.Described());
    message.Bind();
}

void TIBStatement::CheckUsable() const
{
    if (FHandle == 0)
        RaiseClientError(ceStatementFreed);
}

void TIBStatement::SetTransaction(TIBTransaction& transaction)
{
    if (&transaction.Database() != FDatabase)
        RaiseClientError(ceForeignTransaction);
    FTransaction = &transaction;
}

void TIBStatement::Execute()
{
    CheckUsable();
    FTransaction->CheckActive();
    if (FCursorOpen)
        CloseCursor();
    const XSQLDA* output = HasCursor() ? nullptr : FColumns.Descriptor();
    CheckSql(*FDatabase, FDatabase->GDSLibrary().isc_dsql_execute2(ThreadStatusVector(), FTransaction->HandleAddress(),
                                                                   &FHandle, 1, FParams.Descriptor(), output));
    FCursorOpen = HasCursor();
}

bool TIBStatement::Fetch()
{
    CheckUsable();
    if (!FCursorOpen)
        RaiseClientError(ceNoCursor);
    const ISC_STATUS result =
        FDatabase->GDSLibrary().isc_dsql_fetch(ThreadStatusVector(), &FHandle, 1, FColumns.Descriptor());
    if (result == kEndOfCursor)
        return false;
    CheckSql(*FDatabase, result);
    return true;
}

void TIBStatement::CloseCursor()
{
    if (!FCursorOpen)
        return;
    FCursorOpen = false;
    CheckSql(*FDatabase, FDatabase->GDSLibrary().isc_dsql_free_statement(ThreadStatusVector(), &FHandle, DSQL_close));
}

uint64_t TIBStatement::ForEachRow(const std::function<bool(const TSqlMessage&)>& onRow)
{
    Execute();
    uint64_t rows = 0;
    while (Fetch()) {
        ++rows;
        if (!onRow(FColumns))
            break;
    }
    CloseCursor();
    return rows;
}

void TIBStatement::Free() noexcept
{
    if (FHandle == 0)
        return;
    // Dropping also closes an open cursor. Failures are dropped: the attachment may be gone.
    ISC_STATUS status[ISC_STATUS_LENGTH] = {};
    try {
        FDatabase->GDSLibrary().isc_dsql_free_statement(status, &FHandle, DSQL_drop);
    } catch (...) {
    }
    FHandle = 0;
    FCursorOpen = false;
}
