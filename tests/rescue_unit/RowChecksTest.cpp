// The row checks: which values put a row in doubt and which genuine values pass.
#include <gtest/gtest.h>

#include "RescueRowChecks.h"

namespace tovanel {
namespace {

using std::string_literals::operator""s;

ColumnShape Text(TextCharset charset, std::uint32_t maxChars = 10, bool required = false) {
    return {"C", ColumnKind::Text, required, maxChars, charset};
}

struct ValueCase {
    const char* name;
    ColumnShape column;
    std::optional<std::string> value;
    std::optional<Doubt> expected;
};

class ValueChecks : public ::testing::TestWithParam<ValueCase> {};

TEST_P(ValueChecks, FlagOnlyWhatTheColumnCannotHold) {
    EXPECT_EQ(CheckValue(GetParam().column, GetParam().value), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ValueChecks,
    ::testing::Values(
        ValueCase{"null_in_required", Text(TextCharset::None, 10, true), std::nullopt, Doubt::NullInRequired},
        ValueCase{"null_in_required_integer", {"ID", ColumnKind::Other, true, 0, TextCharset::None}, std::nullopt,
                  Doubt::NullInRequired},
        ValueCase{"null_allowed", Text(TextCharset::None), std::nullopt, std::nullopt},
        ValueCase{"longer_than_column", Text(TextCharset::None, 4), "abcde"s, Doubt::TooLong},
        ValueCase{"exactly_column_length", Text(TextCharset::None, 5), "abcde"s, std::nullopt},
        ValueCase{"char_padding_not_counted", Text(TextCharset::None, 3), "abc       "s, std::nullopt},
        ValueCase{"utf8_counts_characters", Text(TextCharset::Utf8, 3), "\xc3\xa7\xc3\xa3o"s, std::nullopt},
        ValueCase{"utf8_too_many_characters", Text(TextCharset::Utf8, 3), "abcd"s, Doubt::TooLong},
        ValueCase{"undefined_win1252_byte", Text(TextCharset::Win1252), "a\x81z"s, Doubt::InvalidInCharset},
        ValueCase{"undefined_win1252_byte_9d", Text(TextCharset::Win1252), "\x9d"s, Doubt::InvalidInCharset},
        ValueCase{"portuguese_win1252", Text(TextCharset::Win1252), "a\xe7\xe3o \x93x\x94"s, std::nullopt},
        ValueCase{"control_byte", Text(TextCharset::None), "ab\x01"s, Doubt::ControlBytes},
        ValueCase{"nul_byte", Text(TextCharset::Win1252), "ab\0c"s, Doubt::ControlBytes},
        ValueCase{"tab_cr_lf_pass", Text(TextCharset::None), "a\tb\r\nc"s, std::nullopt},
        ValueCase{"invalid_utf8_in_utf8", Text(TextCharset::Utf8), "a\xc3"s, Doubt::InvalidInCharset},
        ValueCase{"valid_utf8_in_utf8", Text(TextCharset::Utf8), "a\xc3\xa7\xc3\xa3o"s, std::nullopt},
        ValueCase{"high_byte_in_ascii", Text(TextCharset::Ascii), "a\xe9"s, Doubt::InvalidInCharset},
        ValueCase{"octets_take_anything", Text(TextCharset::Octets), "\x01\x81\xff"s, std::nullopt},
        ValueCase{"latin1_in_none_is_not_judged_here", Text(TextCharset::None), "a\xe9"s, std::nullopt},
        ValueCase{"text_blob_control_byte", {"B", ColumnKind::TextBlob, false, 0, TextCharset::None},
                  std::string(500, 'a') + "\x02", Doubt::ControlBytes},
        ValueCase{"binary_blob_takes_anything", {"B", ColumnKind::Blob, false, 0, TextCharset::None}, "\x01\x02"s,
                  std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

struct Utf8Case {
    std::string bytes;
    bool valid;
};

class Utf8 : public ::testing::TestWithParam<Utf8Case> {};

TEST_P(Utf8, AcceptsOnlyWellFormedText) {
    EXPECT_EQ(IsValidUtf8(GetParam().bytes), GetParam().valid);
}

INSTANTIATE_TEST_SUITE_P(Table, Utf8,
                         ::testing::Values(Utf8Case{"", true}, Utf8Case{"plain", true},
                                           Utf8Case{"\xc3\xa7", true}, Utf8Case{"\xe2\x80\x9c", true},
                                           Utf8Case{"\xf0\x9f\x98\x80", true}, Utf8Case{"\xc3", false},
                                           Utf8Case{"\xe2\x80", false}, Utf8Case{"\xc0\xaf", false},
                                           Utf8Case{"\xe0\x80\xaf", false}, Utf8Case{"\xed\xa0\x80", false},
                                           Utf8Case{"\xf4\x90\x80\x80", false}, Utf8Case{"\x80", false},
                                           Utf8Case{"a\xe9z", false}));

TEST(BlobLength, OnlyTheStatedLengthPasses) {
    EXPECT_EQ(CheckBlobLength(12220, 8192), Doubt::BlobLengthDiffers);
    EXPECT_EQ(CheckBlobLength(100, 101), Doubt::BlobLengthDiffers);
    EXPECT_EQ(CheckBlobLength(12220, 12220), std::nullopt);
}

struct ProfileCase {
    const char* name;
    unsigned validMultibyte;
    unsigned invalid;
    unsigned ascii;
    NoneColumnProfile::Verdict verdict;
};

class NoneColumn : public ::testing::TestWithParam<ProfileCase> {};

TEST_P(NoneColumn, DecidesUtf8OnlyOnClearEvidence) {
    NoneColumnProfile profile;
    for (unsigned i = 0; i < GetParam().validMultibyte; ++i) profile.Add("a\xc3\xa7\xc3\xa3o");
    for (unsigned i = 0; i < GetParam().invalid; ++i) profile.Add("a\xe7\xe3o");
    for (unsigned i = 0; i < GetParam().ascii; ++i) profile.Add("plain");
    EXPECT_EQ(profile.Decide(), GetParam().verdict);
}

INSTANTIATE_TEST_SUITE_P(
    Table, NoneColumn,
    ::testing::Values(ProfileCase{"utf8_with_few_garbled", 200, 3, 100, NoneColumnProfile::Verdict::Utf8},
                      ProfileCase{"utf8_clean", 8, 0, 0, NoneColumnProfile::Verdict::Utf8},
                      ProfileCase{"latin1", 0, 300, 10, NoneColumnProfile::Verdict::SingleByte},
                      ProfileCase{"ascii_only", 0, 0, 500, NoneColumnProfile::Verdict::Undecided},
                      ProfileCase{"too_little_evidence", 7, 0, 0, NoneColumnProfile::Verdict::Undecided},
                      ProfileCase{"mixed", 100, 10, 0, NoneColumnProfile::Verdict::Undecided}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DuplicateKeys, IdenticalCopyIsDroppedDifferentBytesPutBothInDoubt) {
    DuplicateKeys keys;
    EXPECT_EQ(keys.Add("k1", "row", 5).seen, DuplicateKeys::Seen::First);
    EXPECT_EQ(keys.Add("k2", "row", 6).seen, DuplicateKeys::Seen::First);
    const auto same = keys.Add("k1", "row", 9);
    EXPECT_EQ(same.seen, DuplicateKeys::Seen::SameBytes);
    EXPECT_EQ(same.earlierRecord, 5u);
    const auto different = keys.Add("k2", "other", 11);
    EXPECT_EQ(different.seen, DuplicateKeys::Seen::DifferentBytes);
    EXPECT_EQ(different.earlierRecord, 6u);
}

TEST(Charset, NamesFromTheSystemTables) {
    EXPECT_EQ(CharsetNamed("WIN1252                        "), TextCharset::Win1252);
    EXPECT_EQ(CharsetNamed("utf8"), TextCharset::Utf8);
    EXPECT_EQ(CharsetNamed(""), TextCharset::None);
    EXPECT_EQ(CharsetNamed("OCTETS"), TextCharset::Octets);
    EXPECT_EQ(CharsetNamed("ISO8859_1"), TextCharset::Other);
}

}  // namespace
}  // namespace tovanel
