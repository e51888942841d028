// The start blocks of the repair, backup and restore actions, byte for byte.
#include "IBBackupService.h"
#include "IBRestoreService.h"
#include "IBValidationService.h"
#include "ServiceTestSupport.h"

#include <functional>
#include <string>
#include <vector>

using namespace servicetest;

namespace {

// A text item: code, 16-bit length, bytes.
std::string Text(int code, const std::string& text)
{
    return Bytes({code}) + Length16(text.size()) + text;
}

// An integer item: code, 4 bytes lowest first.
std::string Int(int code, uint32_t value)
{
    return Bytes({code, static_cast<int>(value & 0xFF), static_cast<int>((value >> 8) & 0xFF),
                  static_cast<int>((value >> 16) & 0xFF), static_cast<int>(value >> 24)});
}

// Attaches as the console does, starts, and answers the block sent (or throws what the start threw).
template <typename Service>
std::string SentBlock(Service& service)
{
    ConfigureAsConsole(service);
    service.Attach();
    service.ServiceStart();
    const auto starts = fakeclient::CallsTo("isc_service_start");
    EXPECT_EQ(starts.size(), 1u);
    if (starts.empty())
        return {};
    EXPECT_EQ(starts[0].Number("spb_length"), static_cast<int64_t>(starts[0].Bytes("spb").size()));
    return starts[0].Bytes("spb");
}

const std::string kPath = "/var/lib/dados/EMPRESA.FDB";

class StartBlock : public FakeClientTest {};

// ------------------------------------------------------------------------------------------
// Repair action

TEST_F(StartBlock, RepairCarriesTheOptionsItemsOfEveryMask)
{
    struct Case {
        const char* rule;
        uint8_t mask;
        std::string items;  // after the database name
    };
    const Case cases[] = {
        {"verification (192)", 192, Int(108, 0x01) + Int(108, 0x81)},
        {"sweep (32)", 32, Int(108, 0x02)},
        {"mend (148)", 148, Int(108, 0xA4)},
        {"empty", 0, ""},
        {"ValidateDB alone", 64, Int(108, 0x01)},
        {"ValidateFull alone", 128, Int(108, 0x81)},
        {"ValidateFull with MendDB", 144, Int(108, 0x84)},
        {"SweepDB with ValidateDB", 96, Int(108, 0x03)},
        {"all eight", 255, Int(108, 0x03) + Int(108, 0xFC)},
        {"LimboTransactions", 1, Int(108, 0x08)},
        {"CheckDB", 2, Int(108, 0x10)},
        {"IgnoreChecksum", 4, Int(108, 0x20)},
        {"KillShadows", 8, Int(108, 0x40)},
        {"MendDB", 16, Int(108, 0x04)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rule);
        fakeclient::Reset();
        TIBValidationService service;
        service.SetDatabaseName(kPath);
        service.SetOptions(TValidateOptions::FromBits(c.mask));
        EXPECT_EQ(SentBlock(service), Bytes({3}) + Text(106, kPath) + c.items);
    }
}

TEST_F(StartBlock, RepairOptionsSetByMemberNamesGiveTheConsoleMasks)
{
    using enum TValidateOption;
    EXPECT_EQ((TValidateOptions{ValidateDB, ValidateFull}).Bits(), 192);
    EXPECT_EQ((TValidateOptions{SweepDB}).Bits(), 32);
    EXPECT_EQ((TValidateOptions{IgnoreChecksum, MendDB, ValidateFull}).Bits(), 148);
}

TEST_F(StartBlock, PathLengthIsTwoBytesCountingBytes)
{
    struct Case {
        std::string path;
        std::string lengthBytes;
    };
    const Case cases[] = {
        {std::string(300, 'p'), Bytes({44, 1})},
        {"/dados/ação.fdb", Bytes({17, 0})},
        {std::string(65531, 'p'), Bytes({0xFB, 0xFF})},  // the longest a 16-bit block length allows
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path.size());
        fakeclient::Reset();
        TIBValidationService service;
        service.SetDatabaseName(c.path);
        EXPECT_EQ(SentBlock(service).substr(0, 4), Bytes({3, 106}) + c.lengthBytes);
    }
}

TEST_F(StartBlock, OverlongTextIsRefusedBeforeAnythingIsSentAndLeavesNothingBehind)
{
    TIBValidationService service;
    ConfigureAsConsole(service);
    service.Attach();
    service.SetDatabaseName(std::string(65536, 'p'));
    EXPECT_THROW(service.ServiceStart(), EIBClientError);
    EXPECT_TRUE(fakeclient::CallsTo("isc_service_start").empty());
    EXPECT_TRUE(service.Active());

    service.SetDatabaseName("/db/x.fdb");
    service.ServiceStart();
    EXPECT_EQ(fakeclient::CallsTo("isc_service_start").at(0).Bytes("spb"), Bytes({3}) + Text(106, "/db/x.fdb"));
}

TEST_F(StartBlock, StartBlockLongerThanItsLengthFieldIsRefused)
{
    TIBBackupService service;
    service.SetDatabaseName("/db/x.fdb");
    // Two files of 40000 bytes each: every item fits, the whole block does not.
    service.BackupFile().Add(std::string(40000, 'a'));
    service.BackupFile().Add(std::string(40000, 'b'));
    ConfigureAsConsole(service);
    service.Attach();
    EXPECT_THROW(service.ServiceStart(), EIBClientError);
    EXPECT_TRUE(fakeclient::CallsTo("isc_service_start").empty());
}

TEST_F(StartBlock, RepairWithoutDatabaseNameRecordsTheActionButSendsNothing)
{
    TIBValidationService service;
    ConfigureAsConsole(service);
    service.Attach();
    EXPECT_EQ(ClientErrorOf([&] { service.ServiceStart(); }), ceStartParamsError);
    EXPECT_TRUE(fakeclient::CallsTo("isc_service_start").empty());
    // The action is recorded, so reading asks the server instead of refusing with 93.
    EXPECT_EQ(ClientErrorOf([&] { service.GetNextLine(); }), ceOutputParsingError);
    EXPECT_EQ(fakeclient::CallsTo("isc_service_query").size(), 1u);
}

// ------------------------------------------------------------------------------------------
// Backup action

TEST_F(StartBlock, BackupForTheConsoleSettings)
{
    const std::string backup = "/var/lib/dados/EMPRESA.GBK";
    TIBBackupService service;
    service.SetDatabaseName(kPath);
    service.BackupFile().Add(backup);
    service.SetVerbose(true);
    const std::string block = SentBlock(service);
    EXPECT_EQ(block, Bytes({1}) + Text(106, kPath) + Int(108, 0) + Bytes({107}) + Text(5, backup));
    EXPECT_EQ(block.size(), 13 + kPath.size() + backup.size());
}

TEST_F(StartBlock, BackupEdgeCases)
{
    struct Case {
        const char* rule;
        std::function<void(TIBBackupService&)> arrange;
        std::string tail;  // after the action byte and the database name
    };
    const Case cases[] = {
        {"new instance: options 0, no verbose, no files", [](auto&) {}, Int(108, 0)},
        {"all options", [](auto& s) { s.SetOptions(TBackupOptions::FromBits(0x7F)); }, Int(108, 0x7F)},
        {"options by member", [](auto& s) {
             s.SetOptions({TBackupOption::IgnoreChecksums, TBackupOption::NonTransportable});
         },
         Int(108, 0x21)},
        {"blocking factor after the verbose flag", [](auto& s) {
             s.SetVerbose(true);
             s.SetBlockingFactor(20);
         },
         Int(108, 0) + Bytes({107}) + Int(6, 20)},
        {"negative blocking factor is not sent", [](auto& s) { s.SetBlockingFactor(-3); }, Int(108, 0)},
        {"file with length, then plain file", [](auto& s) {
             s.BackupFile().Add("a.gbk=2000000");
             s.BackupFile().Add("b.gbk");
         },
         Int(108, 0) + Text(5, "a.gbk") + Int(7, 2000000) + Text(5, "b.gbk")},
        {"blank lines are skipped, leading blanks kept", [](auto& s) {
             s.BackupFile().Add("");
             s.BackupFile().Add("   ");
             s.BackupFile().Add("  c.gbk");
         },
         Int(108, 0) + Text(5, "  c.gbk")},
        {"file name counted in bytes", [](auto& s) { s.BackupFile().Add("cópia.gbk"); },
         Int(108, 0) + Text(5, "cópia.gbk")},
        {"negative length", [](auto& s) { s.BackupFile().Add("a.gbk=-1"); },
         Int(108, 0) + Text(5, "a.gbk") + Int(7, 0xFFFFFFFF)},
        {"tables whose data is skipped, after the files", [](auto& s) {
             s.BackupFile().Add("/dev/null");
             s.SetSkipData("(T_NOTAS|PEDIDOS)");
         },
         Int(108, 0) + Text(5, "/dev/null") + Text(8, "(T_NOTAS|PEDIDOS)")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rule);
        fakeclient::Reset();
        TIBBackupService service;
        service.SetDatabaseName("d.fdb");
        c.arrange(service);
        EXPECT_EQ(SentBlock(service), Bytes({1}) + Text(106, "d.fdb") + c.tail);
    }
}

TEST_F(StartBlock, BackupWithoutDatabaseNameRecordsNoAction)
{
    TIBBackupService service;
    ConfigureAsConsole(service);
    service.Attach();
    EXPECT_EQ(ClientErrorOf([&] { service.ServiceStart(); }), ceStartParamsError);
    EXPECT_TRUE(fakeclient::CallsTo("isc_service_start").empty());
    EXPECT_EQ(ClientErrorOf([&] { service.GetNextLine(); }), ceQueryParamsError);
}

TEST_F(StartBlock, LengthThatIsNotAWholeNumberStopsTheStart)
{
    struct Case {
        std::string line;
        std::string message;
    };
    const Case cases[] = {
        {"a.gbk=abc", "''abc'' is not a valid integer value"},
        {"a.gbk=", "'''' is not a valid integer value"},
        {"a.gbk=12x", "''12x'' is not a valid integer value"},
        {"a.gbk=3000000000", "''3000000000'' is not a valid integer value"},
        {"a.gbk=1=2", "''1=2'' is not a valid integer value"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        fakeclient::Reset();
        TIBBackupService service;
        service.SetDatabaseName("d.fdb");
        service.BackupFile().Add(c.line);
        ConfigureAsConsole(service);
        service.Attach();
        try {
            service.ServiceStart();
            ADD_FAILURE() << "no exception";
        } catch (const EConvertError& error) {
            EXPECT_EQ(error.Message(), c.message);
        }
        EXPECT_TRUE(fakeclient::CallsTo("isc_service_start").empty());
    }
}

// ------------------------------------------------------------------------------------------
// Restore action

TEST_F(StartBlock, RestoreForTheConsoleSettings)
{
    const std::string backup = "/var/lib/dados/EMPRESA.GBK";
    const std::string target = "/var/lib/dados/EMPRESA_NOVO.FDB";
    TIBRestoreService service;
    service.SetOptions({TRestoreOption::Replace, TRestoreOption::CreateNewDB});
    EXPECT_EQ(service.Options().Bits(), 48);
    service.DatabaseName().Add(target);
    service.BackupFile().Add(backup);
    service.SetVerbose(true);
    const std::string block = SentBlock(service);
    EXPECT_EQ(block, Bytes({2, 108, 0x00, 0x30, 0x00, 0x00, 107, 10, 0x00, 0x10, 0x00, 0x00}) + Text(5, backup) +
                         Text(106, target));
    EXPECT_EQ(block.size(), 18 + backup.size() + target.size());
}

TEST_F(StartBlock, RestoreEdgeCases)
{
    struct Case {
        const char* rule;
        std::function<void(TIBRestoreService&)> arrange;
        std::string block;
    };
    const Case cases[] = {
        {"new instance: create, page size 4096, lists empty", [](auto&) {},
         Bytes({2}) + Int(108, 0x2000) + Int(10, 4096)},
        {"empty options still send the item", [](auto& s) { s.SetOptions({}); },
         Bytes({2}) + Int(108, 0) + Int(10, 4096)},
        {"all eight options", [](auto& s) { s.SetOptions(TRestoreOptions::FromBits(0xFF)); },
         Bytes({2}) + Int(108, 0xFF00) + Int(10, 4096)},
        {"no page size, 256 page buffers", [](auto& s) {
             s.SetPageSize(0);
             s.SetPageBuffers(256);
         },
         Bytes({2}) + Int(108, 0x2000) + Int(9, 256)},
        {"verbose, page size and buffers in that order", [](auto& s) {
             s.SetVerbose(true);
             s.SetPageSize(8192);
             s.SetPageBuffers(75);
         },
         Bytes({2}) + Int(108, 0x2000) + Bytes({107}) + Int(10, 8192) + Int(9, 75)},
        {"database files with length", [](auto& s) {
             s.DatabaseName().Add("new.fdb=50000");
             s.DatabaseName().Add("new2.fdb");
         },
         Bytes({2}) + Int(108, 0x2000) + Int(10, 4096) + Text(106, "new.fdb") + Int(11, 50000) +
             Text(106, "new2.fdb")},
        {"backup files come first whatever the filling order", [](auto& s) {
             s.DatabaseName().Add("n.fdb");
             s.BackupFile().Add("a.gbk=100");
             s.BackupFile().Add("   ");
             s.BackupFile().Add("b.gbk");
         },
         Bytes({2}) + Int(108, 0x2000) + Int(10, 4096) + Text(5, "a.gbk") + Int(7, 100) + Text(5, "b.gbk") +
             Text(106, "n.fdb")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rule);
        fakeclient::Reset();
        TIBRestoreService service;
        c.arrange(service);
        EXPECT_EQ(SentBlock(service), c.block);
    }
}

TEST_F(StartBlock, RestoreLengthThatIsNotAWholeNumberStopsTheStart)
{
    TIBRestoreService service;
    service.DatabaseName().Add("new.fdb=grande");
    ConfigureAsConsole(service);
    service.Attach();
    EXPECT_THROW(service.ServiceStart(), EConvertError);
    EXPECT_TRUE(fakeclient::CallsTo("isc_service_start").empty());
}

}  // namespace
