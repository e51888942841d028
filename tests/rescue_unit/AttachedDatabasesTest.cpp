// The answer to isc_info_svc_svr_db_info, read from exact byte tables.
#include <gtest/gtest.h>

#include "IBServerInfoService.h"
#include "RescueWorkingCopy.h"

namespace tovanel {
namespace {

using std::string_literals::operator""s;

TEST(AttachedDatabases, CountsAndNamesAreRead) {
    const std::string answer = "\x32"s + "\x05\x03\x00\x00\x00"s + "\x06\x02\x00\x00\x00"s + "\x6a\x06\x00/a.fdb"s +
                               "\x6a\x07\x00/bb.fdb"s + "\x7f\x01"s;
    const TAttachedDatabases open = ParseAttachedDatabases(answer);
    EXPECT_EQ(open.Attachments, 3);
    EXPECT_EQ(open.Databases, 2);
    EXPECT_EQ(open.Names, (std::vector<std::string>{"/a.fdb", "/bb.fdb"}));
    EXPECT_TRUE(ServerHoldsOpen(open, "/bb.fdb"));
    EXPECT_FALSE(ServerHoldsOpen(open, "/b.fdb"));
}

TEST(AttachedDatabases, NoneOpen) {
    const TAttachedDatabases open =
        ParseAttachedDatabases("\x32\x05\0\0\0\0\x06\0\0\0\0\x7f\x01"s + std::string(20, '\0'));
    EXPECT_EQ(open.Databases, 0);
    EXPECT_TRUE(open.Names.empty());
}

class MalformedAnswer : public ::testing::TestWithParam<std::string> {};

// A half-read list must never pass for the whole one.
TEST_P(MalformedAnswer, IsRefused) {
    try {
        ParseAttachedDatabases(GetParam());
        ADD_FAILURE() << "accepted";
    } catch (const EIBClientError& e) {
        EXPECT_EQ(e.SQLCode(), ceOutputParsingError);
    }
}

INSTANTIATE_TEST_SUITE_P(Table, MalformedAnswer,
                         ::testing::Values(""s, "\x02"s, "\x32\x05\x01"s, "\x32\x6a\x09\x00/a.fdb"s,
                                           "\x32\x05\x01\x00\x00\x00\x02"s,
                                           "\x32\x05\x01\x00\x00\x00"s + std::string(10, '\0')));

}  // namespace
}  // namespace tovanel
