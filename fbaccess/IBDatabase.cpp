#include "IBDatabase.h"

#include "AsciiCase.h"
#include "IBErrors.h"
#include "ServerLimits.h"
#include "Text8Bit.h"

#include <array>
#include <charconv>
#include <limits>
#include <utility>

namespace {

// DPB item names; an item's code is its 1-based position.
constexpr std::array<std::string_view, 85> kDPBNames = {
    "cdd_pathname", "allocation", "journal", "page_size", "num_buffers", "buffer_length", "debug",
    "garbage_collect", "verify", "sweep", "enable_journal", "disable_journal", "dbkey_scope",
    "number_of_users", "trace", "no_garbage_collect", "damaged", "license", "sys_user_name", "encrypt_key",
    "activate_shadow", "sweep_interval", "delete_shadow", "force_write", "begin_log", "quit_log", "no_reserve",
    "user_name", "password", "password_enc", "sys_user_name_enc", "interp", "online_dump", "old_file_size",
    "old_num_files", "old_file_name", "old_start_page", "old_start_seqno", "old_start_file", "drop_walfile",
    "old_dump_id", "wal_backup_dir", "wal_chkptlen", "wal_numbufs", "wal_bufsize", "wal_grp_cmt_wait",
    "lc_messages", "lc_ctype", "cache_manager", "shutdown", "online", "shutdown_delay", "reserved", "overwrite",
    "sec_attach", "disable_wal", "connect_timeout", "dummy_packet_interval", "gbak_attach", "sql_role_name",
    "set_page_buffers", "working_directory", "sql_dialect", "set_db_readonly", "set_db_sql_dialect",
    "gfix_attach", "gstat_attach", "gbak_ods_version", "gbak_ods_minor_version", "set_group_commit",
    "gbak_validate", "client_interbase_var", "admin_option", "flush_interval", "instance_name", "old_overwrite",
    "archive_database", "archive_journals", "archive_sweep", "archive_dumps", "archive_recover", "recover_until",
    "force", "preallocate", "sys_encrypt_password"};

constexpr uint8_t kDPBLcCtype = 48;

// How an item's value is encoded.
enum class TDPBClass { Unsupported, Text, DialectDigit, Number8, Fixed2, Fixed0, Number32 };

TDPBClass ClassOf(int code)
{
    switch (code) {
    case 18: case 19: case 20: case 28: case 29: case 30: case 36: case 47: case 48: case 60: case 75: case 85:
        return TDPBClass::Text;
    case 63: return TDPBClass::DialectDigit;
    case 5: case 9: case 13: case 17: case 24: case 27: case 33: case 34: case 54: return TDPBClass::Number8;
    case 10: return TDPBClass::Fixed2;
    case 21: case 23: case 25: case 26: return TDPBClass::Fixed0;
    case 22: return TDPBClass::Number32;
    default: return TDPBClass::Unsupported;
    }
}

// Position of key in the name table (exact match), 0 when absent.
int DPBCode(std::string_view key)
{
    for (std::size_t i = 0; i < kDPBNames.size(); ++i)
        if (kDPBNames[i] == key)
            return static_cast<int>(i + 1);
    return 0;
}

int32_t CodePageOf(std::string_view characterSet)
{
    static constexpr std::pair<std::string_view, int32_t> kTable[] = {
        {"NONE", 1252},      {"UTF8", 65001},     {"UNICODE_FSS", 65001}, {"SJIS_0208", 932},
        {"WIN1250", 1250},   {"WIN1251", 1251},   {"WIN1252", 1252},      {"WIN1253", 1253},
        {"WIN1254", 1254},   {"ASCII", 20127},    {"DOS437", 437},        {"DOS850", 850},
        {"DOS852", 852},     {"DOS857", 857},     {"DOS860", 860},        {"DOS861", 861},
        {"DOS863", 863},     {"DOS865", 865},     {"EUCJ_0208", 20936},   {"ISO8859_1", 28591},
        {"GB_2312", 52936},  {"KSC_5601", 949}};
    for (const auto& [name, codePage] : kTable)
        if (name == characterSet)
            return codePage;
    return 0;
}

bool IsBlank(std::string_view text)
{
    for (char c : text)
        if (static_cast<unsigned char>(c) > 32)
            return false;
    return true;
}

// The value read as a signed 32-bit integer (leading blanks and a sign allowed), else
// EConvertError with the value as written.
int32_t ToInteger(std::string_view value)
{
    std::string_view digits = value;
    while (!digits.empty() && (digits.front() == ' ' || digits.front() == '\t'))
        digits.remove_prefix(1);
    if (!digits.empty() && digits.front() == '+')
        digits.remove_prefix(1);
    int32_t number = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
    if (digits.empty() || error != std::errc() || end != digits.data() + digits.size())
        throw EConvertError::InvalidInteger(value);
    return number;
}

struct TDPBBuild {
    std::string block;
    std::string characterSet = "NONE";
    int32_t codePage = 1252;
};

// Appends one item of the class the code belongs to.
void AppendItem(TBlockWriter& writer, int code, std::string_view value, std::string_view valueAsWritten)
{
    const auto byteCode = static_cast<uint8_t>(code);
    const std::string itemName = "isc_dpb_" + std::string(kDPBNames[static_cast<std::size_t>(code - 1)]);
    switch (ClassOf(code)) {
    case TDPBClass::Unsupported:
        RaiseClientError(ceDPBConstantUnsupported, {std::string(kDPBNames[static_cast<std::size_t>(code - 1)])});
    case TDPBClass::Text:
        if (value.size() > 0xFF)
            RaiseValueTooLong(value.size(), 0xFF, "Value of " + itemName);
        if (code == isc_dpb_user_name)
            CheckUserNameLength(value, "Value of " + itemName);
        writer.Item8(byteCode, value);
        return;
    case TDPBClass::DialectDigit: {
        // An empty value has no digit to rewrite; it is no dialect at all.
        if (value.empty())
            throw EConvertError::InvalidInteger(valueAsWritten);
        if (value.size() > 0xFF)
            RaiseValueTooLong(value.size(), 0xFF, "Value of " + itemName);
        std::string digit(value);
        digit[0] = static_cast<char>(digit[0] - '0');
        writer.Item8(byteCode, digit);
        return;
    }
    case TDPBClass::Number8:
        writer.Byte(byteCode).Byte(1).Byte(static_cast<uint8_t>(ToInteger(valueAsWritten) & 0xFF));
        return;
    case TDPBClass::Fixed2: writer.Byte(byteCode).Byte(1).Byte(2); return;
    case TDPBClass::Fixed0: writer.Byte(byteCode).Byte(1).Byte(0); return;
    case TDPBClass::Number32: writer.Byte(byteCode).Byte(4).Int32(ToInteger(valueAsWritten)); return;
    }
}

// The DPB of a parameter list; raises at the first line that cannot be encoded.
TDPBBuild BuildDPB(const TParamList& params)
{
    TDPBBuild build;
    TBlockWriter writer;
    writer.Byte(isc_dpb_version1);
    for (const std::string& line : params.Lines()) {
        const std::string name = TParamList::NameOf(line);
        if (IsBlank(name))
            continue;
        std::string key = ToLocal8Bit(AsciiLower(name));
        if (key.starts_with("isc_dpb_"))
            key.erase(0, 8);
        const std::string valueAsWritten = TParamList::ValueOf(line);
        const int code = DPBCode(key);
        if (code == 0)
            RaiseClientError(ceDPBConstantUnknown, {name});
        AppendItem(writer, code, ToLocal8Bit(valueAsWritten), valueAsWritten);
        if (code == kDPBLcCtype) {
            build.characterSet = valueAsWritten;
            build.codePage = CodePageOf(valueAsWritten);
        }
    }
    // The block's length travels as a signed 16-bit count.
    if (writer.Size() > static_cast<std::size_t>(std::numeric_limits<int16_t>::max()))
        RaiseValueTooLong(writer.Size(), std::numeric_limits<int16_t>::max(), "Database parameter block");
    build.block = writer.Take();
    return build;
}

constexpr short kInfoReplyLength = 512;

}  // namespace

TIBDatabase::TIBDatabase() : FGDSLibrary(GDSLibraryInstance())
{
    FIBLoaded = false;
    FGDSLibrary->CheckIBLoaded();
    FIBLoaded = true;
    FDBParams.SetOnBeforeChange([this] { CheckInactive(); });
    FDBParams.SetOnChange([this] { FDBParamsChanged = true; });
}

TIBDatabase::~TIBDatabase()
{
    if (!FIBLoaded || !Connected())
        return;
    try {
        Close();
    } catch (...) {
        try {
            ForceClose();
        } catch (...) {
            // Nothing may leave a destructor; the attachment is gone either way.
        }
    }
}

void TIBDatabase::SetDatabaseName(const std::string& value)
{
    if (value == FDBName)
        return;
    CheckInactive();
    FDBName = value;
}

void TIBDatabase::SetConnected(bool value)
{
    if (value == Connected())
        return;
    if (value) {
        if (BeforeConnect)
            BeforeConnect(*this);
        DoConnect();
        if (AfterConnect)
            AfterConnect(*this);
    } else {
        if (BeforeDisconnect)
            BeforeDisconnect(*this);
        DoDisconnect();
        if (AfterDisconnect)
            AfterDisconnect(*this);
    }
}

void TIBDatabase::CheckActive() const
{
    if (!Connected())
        RaiseClientError(ceDatabaseClosed);
}

void TIBDatabase::CheckInactive() const
{
    if (Connected())
        RaiseClientError(ceDatabaseOpen);
}

void TIBDatabase::CheckDatabaseName() const
{
    if (FDBName.empty())
        RaiseClientError(ceDatabaseNameMissing);
}

// Builds the DPB when Params changed since the last build (or a login step supplied its own
// lines). Block and count are stored together, and the mark cleared, only after a complete
// build: a failed build is tried again by the next attach instead of sending an older block.
void TIBDatabase::PrepareDPB()
{
    const bool login = FLoginPrompt;
    TParamList loginParams;
    if (login) {
        loginParams = FDBParams;
        if (!OnLogin || !OnLogin(*this, loginParams))
            RaiseClientError(ceOperationCancelled);
    }
    if (!FDBParamsChanged && !login)
        return;
    FCharacterSet = "NONE";
    FCharacterSetCodePage = 1252;
    TDPBBuild build = BuildDPB(login ? loginParams : FDBParams);
    FDPB.Assign(build.block);
    FDPBLength = static_cast<int16_t>(build.block.size());
    FCharacterSet = std::move(build.characterSet);
    FCharacterSetCodePage = build.codePage;
    // A block built from the login step's lines is not the block of Params.
    FDBParamsChanged = login;
}

void TIBDatabase::DoConnect()
{
    CheckInactive();
    CheckDatabaseName();
    PrepareDPB();

    const std::string name = ToLocal8Bit(FDBName);
    if (name.size() > static_cast<std::size_t>(std::numeric_limits<short>::max()))
        RaiseValueTooLong(name.size(), std::numeric_limits<short>::max(), "Database name");
    const ISC_STATUS result = FGDSLibrary->isc_attach_database(
        ThreadStatusVector(), static_cast<short>(name.size()), name.data(), &FHandle, FDPBLength, FDPB.Data());
    if (Call(result, false) > 0) {
        FHandle = 0;
        RaiseStatusError();
    }

    FDBSQLDialect = TIBDatabaseInfo(*this).DBSQLDialect();
    if (FDBSQLDialect < FSQLDialect) {
        FSQLDialect = FDBSQLDialect;
        if (OnDialectDowngradeWarning)
            OnDialectDowngradeWarning(*this);
    }
}

void TIBDatabase::CreateDatabase(std::string_view createStatement)
{
    CheckInactive();
    // Sent as statements are: the file name travels in the connection's character set.
    const std::string sql(createStatement);
    if (sql.size() > 0xFFFF)
        RaiseClientError(ceSqlTextTooLong, {static_cast<int64_t>(sql.size()), int64_t{0xFFFF}});
    isc_tr_handle noTransaction = 0;
    const ISC_STATUS result = FGDSLibrary->isc_dsql_execute_immediate(
        ThreadStatusVector(), &FHandle, &noTransaction, static_cast<unsigned short>(sql.size()), sql.data(),
        static_cast<unsigned short>(FSQLDialect), nullptr);
    if (Call(result, false) > 0) {
        FHandle = 0;
        RaiseStatusError();
    }
    FDBSQLDialect = TIBDatabaseInfo(*this).DBSQLDialect();
}

void TIBDatabase::DoDisconnect()
{
    try {
        CloseAttachment(false);
    } catch (...) {
        ForceClose();
        throw;
    }
    FDBSQLDialect = 1;
}

void TIBDatabase::CloseAttachment(bool force)
{
    CheckActive();
    if (!FHandleIsShared) {
        const ISC_STATUS result = FGDSLibrary->isc_detach_database(ThreadStatusVector(), &FHandle);
        if (Call(result, false) > 0 && !force)
            RaiseStatusError();
    }
    FHandle = 0;
    FHandleIsShared = false;
}

void TIBDatabase::ForceClose()
{
    if (!Connected())
        return;
    if (BeforeDisconnect)
        BeforeDisconnect(*this);
    CloseAttachment(true);
    if (AfterDisconnect)
        AfterDisconnect(*this);
}

bool TIBDatabase::TestConnected()
{
    if (!Connected())
        return false;
    try {
        const char item = isc_info_base_level;
        char reply[kInfoReplyLength];
        Call(FGDSLibrary->isc_database_info(ThreadStatusVector(), &FHandle, 1, &item, kInfoReplyLength, reply),
             true);
    } catch (...) {
        try {
            ForceClose();
        } catch (...) {
            // The answer is "not connected" whatever the clean-up met.
        }
        return false;
    }
    return true;
}

ISC_STATUS TIBDatabase::Call(ISC_STATUS ErrCode, bool RaiseError)
{
    if (RaiseError && StatusHasCode({isc_lost_db_connection, isc_net_read_err, isc_net_write_err})) {
        const ISC_STATUS* status = ThreadStatusVector();
        const auto sqlCode = static_cast<int32_t>(FGDSLibrary->isc_sqlcode(status));
        const auto errorCode = static_cast<int32_t>(status[1]);
        std::string text = StatusMessage(status);
        ForceClose();
        throw EIBInterBaseError(sqlCode, errorCode, std::move(text));
    }
    return CheckStatusResult(ErrCode, RaiseError);
}

int TIBDatabase::IndexOfDBConst(std::string_view name) const
{
    for (std::size_t i = 0; i < FDBParams.Count(); ++i) {
        const auto at = AsciiLower(FDBParams.Line(i)).find(name);
        if (at == 0 || at == 8)
            return static_cast<int>(i);
    }
    return -1;
}

TIBDatabaseInfo::TIBDatabaseInfo(TIBDatabase& database) : FGDSLibrary(GDSLibraryInstance()), FDatabase(database)
{
    FIBLoaded = false;
    FGDSLibrary->CheckIBLoaded();
    FIBLoaded = true;
}

int32_t TIBDatabaseInfo::DBSQLDialect()
{
    return IntegerItem(isc_info_db_sql_dialect, 1);
}

bool TIBDatabaseInfo::ForcedWrites()
{
    return IntegerItem(isc_info_forced_writes, 0) != 0;
}

int32_t TIBDatabaseInfo::IntegerItem(char item, int32_t missing)
{
    char reply[kInfoReplyLength] = {};
    const ISC_STATUS result = FGDSLibrary->isc_database_info(ThreadStatusVector(), FDatabase.HandleAddress(), 1,
                                                             &item, kInfoReplyLength, reply);
    if (StatusHasCode({isc_lost_db_connection}))
        FDatabase.Call(result, true);
    else if (result > 0)
        RaiseStatusError();

    if (reply[0] != item)
        return missing;
    auto length = static_cast<short>(FGDSLibrary->isc_vax_integer(reply + 1, 2));
    // A length that would reach past the reply is not read.
    if (length < 0 || length > kInfoReplyLength - 3)
        length = 0;
    return static_cast<int32_t>(FGDSLibrary->isc_vax_integer(reply + 3, length));
}
