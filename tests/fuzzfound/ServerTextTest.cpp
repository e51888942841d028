// Text that comes from the server is the program's UTF-8 even when its bytes are not: a file
// name in another encoding, or a cut-off line, must not pass on ill-formed UTF-8.
#include "ClientLibrary.h"
#include "FakeClient.h"
#include "IBBackupService.h"
#include "IBErrors.h"
#include "Text8Bit.h"

#include <gtest/gtest.h>

#include <clocale>
#include <ostream>

namespace {

class Utf8Locale : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(std::setlocale(LC_ALL, "C.UTF-8"), nullptr);
        GDSLibraryInstance()->CheckIBLoaded();  // as the program's first access-layer object does
        fakeclient::Reset();
    }
    void TearDown() override { std::setlocale(LC_ALL, "C"); }
};

struct TextCase {
    const char* name;
    std::string bytes;
    std::string expected;
    friend void PrintTo(const TextCase& c, std::ostream* os) { *os << c.name; }
};

class FromLocal8BitInUtf8 : public Utf8Locale, public ::testing::WithParamInterface<TextCase> {};

TEST_P(FromLocal8BitInUtf8, KeepsWellFormedSequencesAndMarksEveryOtherByte)
{
    EXPECT_EQ(FromLocal8Bit(GetParam().bytes), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Bytes, FromLocal8BitInUtf8,
    ::testing::Values(TextCase{"ascii", "banco.fdb", "banco.fdb"},
                      TextCase{"two_byte_letter", "relat\xC3\xB3rio", "relat\xC3\xB3rio"},
                      TextCase{"four_byte_letter", "\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"},
                      TextCase{"latin1_letter", "relat\xF3rio", "relat?rio"},
                      TextCase{"lead_byte_cut_off_at_end", "a\xC3", "a?"},
                      TextCase{"three_byte_sequence_cut_short", "\xE2\x82z", "??z"},
                      TextCase{"overlong_slash", "\xC0\xAF", "??"},
                      TextCase{"surrogate", "\xED\xA0\x80", "???"},
                      TextCase{"above_unicode", "\xF4\x90\x80\x80", "????"},
                      TextCase{"stray_continuation", "\x80x", "?x"}),
    [](const auto& info) { return std::string(info.param.name); });

std::string LineAnswer(const std::string& text)
{
    return std::string(1, static_cast<char>(isc_info_svc_line)) + static_cast<char>(text.size() & 0xFF) +
           static_cast<char>(text.size() >> 8) + text + static_cast<char>(isc_info_end);
}

TEST_F(Utf8Locale, OutputLineNamingALatin1FileArrivesAsUtf8)
{
    TIBBackupService service;
    service.SetServerName("localhost");
    service.SetLoginPrompt(false);
    service.SetDatabaseName("/dados/banco.fdb");
    service.SetBackupFile(TParamList{"/dados/banco.GBK"});
    service.Attach();
    service.ServiceStart();
    fakeclient::Push("isc_service_query", fakeclient::Output(LineAnswer("gbak: opened file /dados/relat\xF3rio.fdb")));

    EXPECT_EQ(service.GetNextLine(), "gbak: opened file /dados/relat?rio.fdb");
}

TEST_F(Utf8Locale, ServerMessageWithAForeignByteArrivesAsUtf8)
{
    fakeclient::SetMessage(335544344, "I/O error during \"open\" operation for file \"/dados/a\xE7\xE3o.fdb\"");
    ISC_STATUS status[] = {isc_arg_gds, 335544344, isc_arg_end};

    EXPECT_EQ(StatusMessage(status), "I/O error during \"open\" operation for file \"/dados/a??o.fdb\"");
}

}  // namespace
