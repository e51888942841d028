// Status vectors and the exception family.
#include "ClientLibrary.h"
#include "FakeClient.h"
#include "IBErrors.h"

#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <type_traits>
#include <vector>

namespace {

constexpr ISC_STATUS kCodeA = 335544344;
constexpr ISC_STATUS kCodeB = 335544345;
constexpr ISC_STATUS kCodeC = 335544346;

class Errors : public testing::Test {
protected:
    void SetUp() override
    {
        GDSLibraryInstance()->CheckIBLoaded();
        fakeclient::Reset();
    }
    // Puts words into the calling thread's status vector, as a failed call would.
    static void Fill(std::initializer_list<ISC_STATUS> words)
    {
        ISC_STATUS* status = ThreadStatusVector();
        std::memset(status, 0, sizeof(ISC_STATUS) * ISC_STATUS_LENGTH);
        std::size_t i = 0;
        for (ISC_STATUS w : words)
            status[i++] = w;
    }
    static ISC_STATUS Text(const char* text) { return reinterpret_cast<ISC_STATUS>(text); }
};

struct MessageCase {
    const char* rule;
    std::vector<const char*> lines;  // message of kCodeA, kCodeB, kCodeC in the vector's order
    const char* expected;
};

void PrintTo(const MessageCase& c, std::ostream* os)
{
    *os << c.rule;
}

class StatusMessageJoin : public Errors, public testing::WithParamInterface<MessageCase> {};

TEST_P(StatusMessageJoin, JoinsTheClientLines)
{
    const MessageCase& c = GetParam();
    const ISC_STATUS codes[] = {kCodeA, kCodeB, kCodeC};
    std::vector<ISC_STATUS> words;
    for (std::size_t i = 0; i < c.lines.size(); ++i) {
        fakeclient::SetMessage(codes[i], c.lines[i]);
        words.push_back(isc_arg_gds);
        words.push_back(codes[i]);
    }
    words.push_back(isc_arg_end);
    const std::vector<ISC_STATUS> before = words;
    EXPECT_EQ(StatusMessage(words.data()), c.expected) << c.rule;
    EXPECT_EQ(words, before) << "the vector itself is not moved or changed";
}

INSTANTIATE_TEST_SUITE_P(
    Rules, StatusMessageJoin,
    testing::Values(MessageCase{"no line at all gives an empty text", {}, ""},
                    MessageCase{"one line keeps its text", {"unavailable database"}, "unavailable database"},
                    MessageCase{"lines are joined by CR LF, one trailing full stop is removed",
                                {"first line", "second line."}, "first line\r\nsecond line"},
                    MessageCase{"only one of two trailing full stops is removed", {"a", "b.."}, "a\r\nb."},
                    MessageCase{"a full stop ending the first of two lines stays", {"a.", "b"}, "a.\r\nb"},
                    MessageCase{"no CR LF after a line that ends in LF", {"a\n", "b", "c"}, "a\nb\r\nc"}));

TEST_F(Errors, MessageLinesCarryTheirArguments)
{
    fakeclient::SetMessage(kCodeA, "I/O error during \"@1\" operation for file \"@2\"");
    const char path[] = "/data/base.fdb";
    const std::vector<ISC_STATUS> words = {isc_arg_gds, kCodeA, isc_arg_string, Text("open"),
                                           isc_arg_cstring, static_cast<ISC_STATUS>(std::strlen(path)), Text(path),
                                           isc_arg_gds, kCodeB, isc_arg_end};
    fakeclient::SetMessage(kCodeB, "Error while trying to open file");
    EXPECT_EQ(StatusMessage(words.data()),
              "I/O error during \"open\" operation for file \"/data/base.fdb\"\r\nError while trying to open file");
}

TEST_F(Errors, RaiseStatusErrorCarriesCodesAndText)
{
    fakeclient::SetMessage(kCodeA, "Your user name and password are not defined.");
    fakeclient::SetSqlCode(kCodeA, -902);
    Fill({isc_arg_gds, kCodeA, isc_arg_end});
    try {
        RaiseStatusError();
    } catch (const EIBInterBaseError& e) {
        EXPECT_EQ(e.SQLCode(), -902);
        EXPECT_EQ(e.IBErrorCode(), kCodeA);
        EXPECT_STREQ(e.what(), "Your user name and password are not defined");
        return;
    }
    FAIL() << "EIBInterBaseError expected";
}

TEST_F(Errors, SqlCode551RaisesTheRoleErrorWhichAnInterBaseHandlerDoesNotCatch)
{
    fakeclient::SetMessage(kCodeA, "no permission for read/select access");
    fakeclient::SetSqlCode(kCodeA, -551);
    Fill({isc_arg_gds, kCodeA, isc_arg_end});
    bool caughtAsInterBase = false;
    try {
        try {
            RaiseStatusError();
        } catch (const EIBInterBaseError&) {
            caughtAsInterBase = true;
        }
    } catch (const EIBError& e) {
        EXPECT_NE(dynamic_cast<const EIBInterBaseRoleError*>(&e), nullptr);
        EXPECT_EQ(e.SQLCode(), -551);
        EXPECT_EQ(e.IBErrorCode(), kCodeA);
        EXPECT_STREQ(e.what(), "no permission for read/select access");
    }
    EXPECT_FALSE(caughtAsInterBase);
}

TEST_F(Errors, FailureWithoutMessageLinesRaisesWithEmptyText)
{
    fakeclient::SetMessage(kCodeA, "");
    Fill({isc_arg_gds, kCodeA, isc_arg_end});
    try {
        RaiseStatusError();
    } catch (const EIBInterBaseError& e) {
        EXPECT_STREQ(e.what(), "");
        EXPECT_EQ(e.IBErrorCode(), kCodeA);
        return;
    }
    FAIL();
}

struct HasCodeCase {
    const char* rule;
    std::vector<ISC_STATUS> words;
    bool found;
};

void PrintTo(const HasCodeCase& c, std::ostream* os)
{
    *os << c.rule;
}

class StatusHasCodeWalk : public Errors, public testing::WithParamInterface<HasCodeCase> {};

TEST_P(StatusHasCodeWalk, FollowsTheClusterTypes)
{
    ISC_STATUS* status = ThreadStatusVector();
    std::memset(status, 0, sizeof(ISC_STATUS) * ISC_STATUS_LENGTH);
    std::copy(GetParam().words.begin(), GetParam().words.end(), status);
    EXPECT_EQ(StatusHasCode({kCodeC, kCodeB}), GetParam().found) << GetParam().rule;
}

INSTANTIATE_TEST_SUITE_P(
    Rules, StatusHasCodeWalk,
    testing::Values(
        HasCodeCase{"word 0 being 0 ends the walk at once", {0, kCodeB, isc_arg_gds, kCodeB}, false},
        HasCodeCase{"primary code", {isc_arg_gds, kCodeB, isc_arg_end}, true},
        HasCodeCase{"any code of the list", {isc_arg_gds, kCodeA, isc_arg_gds, kCodeC, isc_arg_end}, true},
        HasCodeCase{"absent code", {isc_arg_gds, kCodeA, isc_arg_end}, false},
        HasCodeCase{"value of a number cluster counts", {isc_arg_gds, kCodeA, isc_arg_number, kCodeB, 0}, true},
        HasCodeCase{"a counted string spans three words", {isc_arg_cstring, 5, isc_arg_gds, kCodeB, 0}, false},
        HasCodeCase{"a counted string is stepped over to the next cluster",
                    {isc_arg_cstring, 4, 0, isc_arg_gds, kCodeB, 0}, true},
        HasCodeCase{"other types span two words and their value is not compared",
                    {isc_arg_gds, kCodeA, isc_arg_string, kCodeB, isc_arg_end}, false},
        HasCodeCase{"other types are stepped over", {19, 0, isc_arg_gds, kCodeC, isc_arg_end}, true}));

TEST_F(Errors, ClientErrorUsesTheOrdinalAsSqlCode)
{
    try {
        RaiseClientError(ceDatabaseNameMissing);
    } catch (const EIBClientError& e) {
        EXPECT_EQ(e.SQLCode(), 17);
        EXPECT_EQ(e.IBErrorCode(), 0);
        EXPECT_STREQ(e.what(), "Database name is missing");
        return;
    }
    FAIL();
}

TEST_F(Errors, ClientErrorFillsItsPlaceholders)
{
    try {
        RaiseClientError(ceVersion6Function, {std::string("isc_service_start")});
    } catch (const EIBClientError& e) {
        EXPECT_EQ(e.SQLCode(), 3);
        EXPECT_STREQ(e.what(), "isc_service_start is an InterBase 6 function. Please upgrade to InterBase 6 to use "
                               "this functonality");
        return;
    }
    FAIL();
}

TEST_F(Errors, FormatTakesTextsAndIntegersInOrder)
{
    const TErrorArg args[] = {std::string("page"), int64_t{-42}};
    EXPECT_EQ(FormatErrorText("%s %d %% done", args), "page -42 % done");
    EXPECT_EQ(FormatErrorText("no placeholders", args), "no placeholders");
    EXPECT_EQ(FormatErrorText("%s and %s", std::span(args, 1)), "page and ");
}

TEST_F(Errors, CallRaisesOnlyWhenAskedAndPositive)
{
    fakeclient::SetMessage(kCodeA, "boom");
    Fill({isc_arg_gds, kCodeA, isc_arg_end});
    EXPECT_EQ(CheckStatusResult(-5, true), -5);
    EXPECT_EQ(CheckStatusResult(0, true), 0);
    EXPECT_EQ(CheckStatusResult(kCodeA, false), kCodeA);
    EXPECT_THROW(CheckStatusResult(kCodeA, true), EIBInterBaseError);
}

TEST_F(Errors, OtherFormatsOfTheFamily)
{
    EXPECT_STREQ(EOSError(127, "undefined symbol: isc_x").what(), "System Error.  Code: 127.\r\nundefined symbol: isc_x");
    EXPECT_STREQ(EConvertError::InvalidInteger("12a").what(), "''12a'' is not a valid integer value");
}

TEST_F(Errors, FamilyShape)
{
    static_assert(std::is_base_of_v<std::exception, Exception>);
    static_assert(std::is_base_of_v<EDatabaseError, EIBError>);
    static_assert(std::is_base_of_v<EIBError, EIBInterBaseError>);
    static_assert(std::is_base_of_v<EIBError, EIBInterBaseRoleError>);
    static_assert(std::is_base_of_v<EIBError, EIBClientError>);
    static_assert(!std::is_base_of_v<EIBInterBaseError, EIBInterBaseRoleError>);
    static_assert(!std::is_base_of_v<EIBInterBaseError, EIBClientError>);
    static_assert(std::is_base_of_v<Exception, EOSError> && std::is_base_of_v<Exception, EConvertError>);
    const EIBError twoArgs(7, "m");
    EXPECT_EQ(twoArgs.SQLCode(), 7);
    EXPECT_EQ(twoArgs.IBErrorCode(), 0);
}

TEST_F(Errors, EachThreadHasItsOwnZeroedStatusVector)
{
    Fill({isc_arg_gds, kCodeA, isc_arg_end});
    ISC_STATUS* mine = ThreadStatusVector();
    ISC_STATUS* other = nullptr;
    std::vector<ISC_STATUS> otherWords;
    std::thread([&] {
        other = ThreadStatusVector();
        otherWords.assign(other, other + ISC_STATUS_LENGTH);
    }).join();
    EXPECT_NE(mine, other);
    EXPECT_EQ(otherWords, std::vector<ISC_STATUS>(ISC_STATUS_LENGTH, 0));
    EXPECT_EQ(mine[1], kCodeA);
}

}  // namespace
