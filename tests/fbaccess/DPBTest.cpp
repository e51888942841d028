// The database parameter block as the client receives it: built from Params by an attach.
#include "FakeClient.h"
#include "FakeDatabase.h"
#include "IBDatabase.h"
#include "IBErrors.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

using fakeclient::Bytes;

class DPB : public testing::Test {
protected:
    void SetUp() override
    {
        fakeclient::Reset();
        db.SetLoginPrompt(false);
        db.SetDatabaseName("localhost:/data/base.fdb");
    }
    // Attaches with the given lines and answers the block the client received.
    std::string Sent(const std::vector<std::string>& lines)
    {
        db.Params().Assign(lines);
        fbtest::ScriptAttach();
        db.Open();
        db.Close();
        const auto attaches = fakeclient::CallsTo("isc_attach_database");
        if (attaches.empty())
            return "<no attach>";
        const auto& last = attaches.back();
        EXPECT_EQ(static_cast<std::size_t>(last.Number("dpb_length")), last.Bytes("dpb").size());
        return last.Bytes("dpb");
    }
    TIBDatabase db;
};

std::string Item(int code, const std::string& value)
{
    return std::string(1, static_cast<char>(code)) + static_cast<char>(value.size()) + value;
}

struct SentCase {
    std::vector<std::string> lines;
    std::string expected;
};

void PrintLines(const std::vector<std::string>& lines, std::ostream* os)
{
    for (const std::string& line : lines)
        *os << '[' << line.substr(0, 40) << ']';
}

void PrintTo(const SentCase& c, std::ostream* os)
{
    PrintLines(c.lines, os);
}

class DPBBytes : public DPB, public testing::WithParamInterface<SentCase> {};

TEST_P(DPBBytes, AreTheClientsItems)
{
    EXPECT_EQ(Sent(GetParam().lines), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, DPBBytes,
    testing::Values(
        SentCase{{}, Bytes({1})},
        // The console's block: user name, then password.
        SentCase{{"user_name=SYSDBA", "password=masterkey"},
                 Bytes({1, 0x1C, 6, 'S', 'Y', 'S', 'D', 'B', 'A', 0x1D, 9}) + "masterkey"},
        SentCase{{"isc_dpb_user_name=SYSDBA"}, "\x01" + Item(isc_dpb_user_name, "SYSDBA")},
        SentCase{{"USER_NAME=SYSDBA"}, "\x01" + Item(isc_dpb_user_name, "SYSDBA")},
        SentCase{{"Isc_Dpb_Password=x"}, "\x01" + Item(isc_dpb_password, "x")},
        SentCase{{"no equals sign", "=value only", " \t=blank name", "user_name=a"}, "\x01" + Item(28, "a")},
        SentCase{{"password=a=b"}, "\x01" + Item(29, "a=b")},
        SentCase{{"user_name= padded "}, "\x01" + Item(28, " padded ")},
        SentCase{{"num_buffers=300"}, Bytes({1, 0x05, 0x01, 0x2C})},
        SentCase{{"num_buffers=-1"}, Bytes({1, 0x05, 0x01, 0xFF})},
        SentCase{{"sweep_interval=20000"}, Bytes({1, 0x16, 0x04, 0x20, 0x4E, 0x00, 0x00})},
        SentCase{{"sweep_interval=-2"}, Bytes({1, 0x16, 0x04, 0xFE, 0xFF, 0xFF, 0xFF})},
        SentCase{{"sql_dialect=3"}, Bytes({1, 0x3F, 0x01, 0x03})},
        SentCase{{"sweep=1"}, Bytes({1, 0x0A, 0x01, 0x02})},
        SentCase{{"sweep=whatever"}, Bytes({1, 0x0A, 0x01, 0x02})},
        SentCase{{"begin_log=x"}, Bytes({1, 0x19, 0x01, 0x00})},
        SentCase{{"activate_shadow=", "delete_shadow=9", "quit_log=x"},
                 Bytes({1, 0x15, 1, 0, 0x17, 1, 0, 0x1A, 1, 0})},
        SentCase{{"lc_ctype=WIN1252"}, Bytes({1, 0x30, 0x07, 0x57, 0x49, 0x4E, 0x31, 0x32, 0x35, 0x32})},
        SentCase{{"lc_ctype=win1252"}, Bytes({1, 0x30, 0x07}) + "win1252"}));

// Every text-class name, checked against the client's own item codes.
TEST_F(DPB, TextItemsUseTheClientsCodes)
{
    const std::pair<const char*, int> names[] = {
        {"license", isc_dpb_license},         {"sys_user_name", isc_dpb_sys_user_name},
        {"encrypt_key", isc_dpb_encrypt_key}, {"user_name", isc_dpb_user_name},
        {"password", isc_dpb_password},       {"password_enc", isc_dpb_password_enc},
        {"old_file_name", 36}, {"lc_messages", isc_dpb_lc_messages},
        {"lc_ctype", isc_dpb_lc_ctype},       {"sql_role_name", isc_dpb_sql_role_name},
        {"sys_encrypt_password", 85},         {"instance_name", 75}};
    for (const auto& [name, code] : names)
        EXPECT_EQ(Sent({std::string(name) + "=v1"}), "\x01" + Item(code, "v1")) << name;
}

TEST_F(DPB, OneByteNumbersUseTheClientsCodes)
{
    const std::pair<const char*, int> names[] = {
        {"num_buffers", isc_dpb_num_buffers}, {"verify", isc_dpb_verify},
        {"dbkey_scope", isc_dpb_dbkey_scope}, {"damaged", isc_dpb_damaged},
        {"force_write", isc_dpb_force_write}, {"no_reserve", isc_dpb_no_reserve},
        {"online_dump", isc_dpb_online_dump}, {"old_file_size", isc_dpb_old_file_size},
        {"overwrite", isc_dpb_overwrite}};
    for (const auto& [name, code] : names)
        EXPECT_EQ(Sent({std::string(name) + "=258"}), Bytes({1, code, 1, 2})) << name;
}

TEST_F(DPB, SeveralItemsFollowInListOrder)
{
    EXPECT_EQ(Sent({"sql_role_name=R", "user_name=U", "num_buffers=7"}),
              "\x01" + Item(60, "R") + Item(28, "U") + Bytes({5, 1, 7}));
}

TEST_F(DPB, AUtf8UserNameIsCountedInBytes)
{
    EXPECT_EQ(Sent({"user_name=JOS\xC3\x89"}), Bytes({1, 0x1C, 5, 'J', 'O', 'S', 0xC3, 0x89}));
}

struct CharsetCase {
    std::vector<std::string> lines;
    const char* characterSet;
    int codePage;
};

void PrintTo(const CharsetCase& c, std::ostream* os)
{
    PrintLines(c.lines, os);
}

class DPBCharacterSet : public DPB, public testing::WithParamInterface<CharsetCase> {};

TEST_P(DPBCharacterSet, FollowsTheLcCtypeLine)
{
    Sent(GetParam().lines);
    EXPECT_EQ(db.CharacterSet(), GetParam().characterSet);
    EXPECT_EQ(db.CharacterSetCodePage(), GetParam().codePage);
}

INSTANTIATE_TEST_SUITE_P(Table, DPBCharacterSet,
                         testing::Values(CharsetCase{{"user_name=a"}, "NONE", 1252},
                                         CharsetCase{{"lc_ctype=WIN1252"}, "WIN1252", 1252},
                                         CharsetCase{{"lc_ctype=win1252"}, "win1252", 0},
                                         CharsetCase{{"lc_ctype=UTF8"}, "UTF8", 65001},
                                         CharsetCase{{"lc_ctype=UNICODE_FSS"}, "UNICODE_FSS", 65001},
                                         CharsetCase{{"lc_ctype=ISO8859_1"}, "ISO8859_1", 28591},
                                         CharsetCase{{"lc_ctype=KSC_5601"}, "KSC_5601", 949},
                                         CharsetCase{{"lc_ctype=KOI8R"}, "KOI8R", 0}));

TEST_F(DPB, CharacterSetReturnsToNoneWhenTheLineGoes)
{
    Sent({"lc_ctype=UTF8"});
    Sent({"user_name=a"});
    EXPECT_EQ(db.CharacterSet(), "NONE");
    EXPECT_EQ(db.CharacterSetCodePage(), 1252);
}

struct RefusedCase {
    std::string line;
    std::function<void(const std::exception&)> check;
};

template <typename E>
std::function<void(const std::exception&)> Is(int sqlCode, std::string text)
{
    return [=](const std::exception& e) {
        const auto* typed = dynamic_cast<const E*>(&e);
        ASSERT_NE(typed, nullptr) << "wrong exception: " << e.what();
        EXPECT_EQ(std::string(e.what()), text);
        if constexpr (std::is_base_of_v<EIBError, E>) {
            EXPECT_EQ(typed->SQLCode(), sqlCode);
        }
    };
}

void PrintTo(const RefusedCase& c, std::ostream* os)
{
    *os << '[' << c.line.substr(0, 40) << ']';
}

class DPBRefused : public DPB, public testing::WithParamInterface<RefusedCase> {};

// A line that cannot be encoded fails the attach before any client call.
TEST_P(DPBRefused, BeforeAnyClientCall)
{
    db.Params().Assign({"user_name=SYSDBA", GetParam().line});
    try {
        db.Open();
        FAIL() << "attached with " << GetParam().line;
    } catch (const std::exception& e) {
        GetParam().check(e);
    }
    EXPECT_FALSE(db.Connected());
    EXPECT_TRUE(fakeclient::Calls().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Table, DPBRefused,
    testing::Values(
        RefusedCase{" user_name=SYSDBA", Is<EIBClientError>(114, "DPB Constant ( user_name) is unknown")},
        RefusedCase{"ISC_DPB_Bogus=1", Is<EIBClientError>(114, "DPB Constant (ISC_DPB_Bogus) is unknown")},
        RefusedCase{"isc_spb_user_name=a", Is<EIBClientError>(114, "DPB Constant (isc_spb_user_name) is unknown")},
        RefusedCase{"page_size=4096", Is<EIBClientError>(11, "DPB Constant (isc_dpb_page_size) is unsupported")},
        RefusedCase{"ISC_DPB_CDD_PATHNAME=x",
                    Is<EIBClientError>(11, "DPB Constant (isc_dpb_cdd_pathname) is unsupported")},
        RefusedCase{"set_db_readonly=1", Is<EIBClientError>(11, "DPB Constant (isc_dpb_set_db_readonly) is unsupported")},
        RefusedCase{"num_buffers=abc", Is<EConvertError>(0, "''abc'' is not a valid integer value")},
        RefusedCase{"num_buffers=", Is<EConvertError>(0, "'''' is not a valid integer value")},
        RefusedCase{"sweep_interval=2147483648",
                    Is<EConvertError>(0, "''2147483648'' is not a valid integer value")},
        RefusedCase{"force_write=1x", Is<EConvertError>(0, "''1x'' is not a valid integer value")},
        RefusedCase{"sql_dialect=", Is<EConvertError>(0, "'''' is not a valid integer value")},
        RefusedCase{"password=" + std::string(256, 'p'),
                    Is<EIBClientError>(0, "Value of isc_dpb_password too long: 256 bytes, at most 255 allowed")},
        // A longer user name stops a Firebird 3 server during the login.
        RefusedCase{"user_name=" + std::string(32, 'u'),
                    Is<EIBClientError>(0, "Value of isc_dpb_user_name too long: 32 bytes, at most 31 allowed")},
        RefusedCase{"user_name=" + [] {
                        std::string letters;  // 16 letters of two bytes each
                        for (int i = 0; i < 16; ++i)
                            letters += "\xC3\x89";
                        return letters;
                    }(),
                    Is<EIBClientError>(0, "Value of isc_dpb_user_name too long: 32 bytes, at most 31 allowed")}));

// Every name the table marks as not encodable is refused by its table name.
TEST_F(DPB, EveryUnsupportedNameIsRefused)
{
    for (const char* name :
         {"cdd_pathname", "allocation", "journal", "page_size", "buffer_length", "debug", "garbage_collect",
          "enable_journal", "disable_journal", "number_of_users", "trace", "no_garbage_collect", "sys_user_name_enc",
          "interp", "old_num_files", "old_start_page", "old_start_seqno", "old_start_file", "drop_walfile",
          "old_dump_id", "wal_backup_dir", "wal_chkptlen", "wal_numbufs", "wal_bufsize", "wal_grp_cmt_wait",
          "cache_manager", "shutdown", "online", "shutdown_delay", "reserved", "sec_attach", "disable_wal",
          "connect_timeout", "dummy_packet_interval", "gbak_attach", "set_page_buffers", "working_directory",
          "set_db_readonly", "set_db_sql_dialect", "gfix_attach", "gstat_attach", "gbak_ods_version",
          "gbak_ods_minor_version", "set_group_commit", "gbak_validate", "client_interbase_var", "admin_option",
          "flush_interval", "old_overwrite", "archive_database", "archive_journals", "archive_sweep",
          "archive_dumps", "archive_recover", "recover_until", "force", "preallocate"}) {
        db.Params().Assign({std::string(name) + "=1"});
        try {
            db.Open();
            ADD_FAILURE() << name << " was encoded";
        } catch (const EIBClientError& e) {
            EXPECT_EQ(std::string(e.what()), "DPB Constant (isc_dpb_" + std::string(name) + ") is unsupported");
        }
    }
    EXPECT_TRUE(fakeclient::Calls().empty());
}

TEST_F(DPB, APasswordOf255BytesStillFits)
{
    const std::string password(255, 'p');
    EXPECT_EQ(Sent({"password=" + password}), Bytes({1, 0x1D, 0xFF}) + password);
}

// A build that failed is built again by the next attach: never the previous list's block.
TEST_F(DPB, AFailedBuildIsNotReplacedByTheLastGoodBlock)
{
    Sent({"user_name=OLD"});
    fakeclient::Reset();
    db.Params().Assign({"user_name=NEW", "page_size=4096"});
    EXPECT_THROW(db.Open(), EIBClientError);
    EXPECT_THROW(db.Open(), EIBClientError);
    EXPECT_TRUE(fakeclient::Calls().empty());
    db.Params().SetValue("page_size", "");
    EXPECT_EQ(Sent(db.Params().Lines()), "\x01" + Item(28, "NEW"));
}

TEST_F(DPB, UnchangedParamsSendTheSameBlockAgain)
{
    const std::string first = Sent({"user_name=A", "password=B"});
    fbtest::ScriptAttach();
    db.Open();
    db.Close();
    const auto attaches = fakeclient::CallsTo("isc_attach_database");
    ASSERT_EQ(attaches.size(), 2u);
    EXPECT_EQ(attaches[1].Bytes("dpb"), first);
}

TEST_F(DPB, ATooLongBlockIsRefused)
{
    std::vector<std::string> lines;
    for (int i = 0; i < 130; ++i)
        lines.push_back("password=" + std::string(255, 'p'));
    db.Params().Assign(lines);
    EXPECT_THROW(db.Open(), EIBClientError);
    EXPECT_TRUE(fakeclient::Calls().empty());
}

}  // namespace
