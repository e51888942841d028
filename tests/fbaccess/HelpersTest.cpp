// The shared helpers: parameter list, byte buffer and block writer, 8-bit text, option sets.
#include "ByteBuffer.h"
#include "FakeClient.h"
#include "IBErrors.h"
#include "OptionSet.h"
#include "ParamList.h"
#include "Text8Bit.h"

#include <gtest/gtest.h>

#include <clocale>
#include <stdexcept>

using namespace std::literals;

namespace {

using fakeclient::Bytes;

struct Counter {
    int before = 0;
    int after = 0;
};

void Watch(TParamList& list, Counter& counter)
{
    list.SetOnBeforeChange([&] { ++counter.before; });
    list.SetOnChange([&] { ++counter.after; });
}

TEST(ParamList, NameAndValueSplitAtTheFirstEqualsSign)
{
    EXPECT_EQ(TParamList::NameOf("password=a=b"), "password");
    EXPECT_EQ(TParamList::ValueOf("password=a=b"), "a=b");
    EXPECT_EQ(TParamList::NameOf("no equals"), "");
    EXPECT_EQ(TParamList::ValueOf("no equals"), "");
    EXPECT_EQ(TParamList::NameOf(" user = x "), " user ");
    EXPECT_EQ(TParamList::ValueOf(" user = x "), " x ");
}

TEST(ParamList, SetValueReplacesInPlaceIgnoringAsciiCase)
{
    TParamList list{"user_name=a", "password=b", "x=y"};
    list.SetValue("USER_NAME", "SYSDBA");
    EXPECT_EQ(list.Lines(), (std::vector<std::string>{"USER_NAME=SYSDBA", "password=b", "x=y"}));
    EXPECT_EQ(list.Value("user_name"), "SYSDBA");
    EXPECT_EQ(list.Value("absent"), "");
}

TEST(ParamList, SetValueAppendsANewName)
{
    TParamList list{"user_name=a"};
    list.SetValue("password", "p=q");
    EXPECT_EQ(list.Lines(), (std::vector<std::string>{"user_name=a", "password=p=q"}));
}

TEST(ParamList, EmptyValueDeletesTheLine)
{
    TParamList list{"user_name=a", "password=b"};
    Counter counter;
    Watch(list, counter);
    list.SetValue("Password", "");
    EXPECT_EQ(list.Lines(), (std::vector<std::string>{"user_name=a"}));
    list.SetValue("absent", "");
    EXPECT_EQ(counter.after, 1) << "deleting nothing is no change";
}

TEST(ParamList, OnlyAsciiLettersAreFolded)
{
    TParamList list{"\xC3\x89=1"};  // É
    EXPECT_EQ(list.IndexOfName("\xC3\xA9"), -1);  // é
    EXPECT_EQ(list.IndexOfName("\xC3\x89"), 0);
}

TEST(ParamList, EveryChangeNotifiesEvenWithTheSameText)
{
    TParamList list;
    Counter counter;
    Watch(list, counter);
    list.SetValue("user_name", "a");
    list.SetValue("user_name", "a");
    list.Add("x=1");
    list.Put(1, "x=1");
    list.Delete(1);
    list.Assign(TParamList{"p=1"});
    list.Clear();
    EXPECT_EQ(counter.before, 7);
    EXPECT_EQ(counter.after, 7);
}

TEST(ParamList, ARefusedChangeLeavesTheListAsItWas)
{
    TParamList list{"user_name=a"};
    int after = 0;
    list.SetOnBeforeChange([] { throw std::runtime_error("refused"); });
    list.SetOnChange([&] { ++after; });
    EXPECT_THROW(list.SetValue("user_name", "b"), std::runtime_error);
    EXPECT_THROW(list.SetValue("password", "b"), std::runtime_error);
    EXPECT_THROW(list.SetValue("user_name", ""), std::runtime_error);
    EXPECT_THROW(list.Assign(TParamList{}), std::runtime_error);
    EXPECT_EQ(list.Lines(), (std::vector<std::string>{"user_name=a"}));
    EXPECT_EQ(after, 0);
}

TEST(ParamList, CopyTakesTheLinesNotTheHooks)
{
    TParamList list{"a=1"};
    Counter counter;
    Watch(list, counter);
    TParamList copy = list;
    copy.Add("b=2");
    EXPECT_EQ(counter.after, 0);
    EXPECT_EQ(list.Count(), 1u);
}

TEST(ByteBuffer, ResizeZeroFillsFromTheOffsetOnly)
{
    TByteBuffer buffer;
    EXPECT_FALSE(buffer.Allocated());
    buffer.Assign("abcd");
    buffer.Resize(6, 2);
    EXPECT_TRUE(buffer.Allocated());
    EXPECT_EQ(buffer.View(), std::string_view("ab\0\0\0\0", 6));
    buffer.Resize(3, 3);
    EXPECT_EQ(buffer.View(), "ab\0"sv);
    buffer.Release();
    EXPECT_FALSE(buffer.Allocated());
    EXPECT_EQ(buffer.Size(), 0u);
}

TEST(BlockWriter, IntegersAreLittleEndian)
{
    TBlockWriter writer;
    writer.Int32(20000).Int32(-2).Int16(0x1234).Length16(300);
    EXPECT_EQ(writer.Block(), Bytes({0x20, 0x4E, 0, 0, 0xFE, 0xFF, 0xFF, 0xFF, 0x34, 0x12, 0x2C, 0x01}));
}

TEST(BlockWriter, ItemsCarryTheirByteLengths)
{
    TBlockWriter writer;
    writer.Item8(28, "ab").Item16(106, "xyz");
    EXPECT_EQ(writer.Block(), Bytes({28, 2, 'a', 'b', 106, 3, 0, 'x', 'y', 'z'}));
}

TEST(BlockWriter, ValuesAtTheLimitPassOneMoreByteIsRefused)
{
    TBlockWriter writer;
    writer.Item8(29, std::string(255, 'p'));
    EXPECT_EQ(writer.Size(), 257u);
    EXPECT_EQ(static_cast<unsigned char>(writer.Block()[1]), 255);
    EXPECT_THROW(writer.Item8(29, std::string(256, 'p')), EIBClientError);
    EXPECT_THROW(writer.Length8(256), EIBClientError);
    EXPECT_EQ(writer.Size(), 257u) << "a refused item appends nothing";

    TBlockWriter wide;
    wide.Item16(106, std::string(65535, 'n'));
    EXPECT_EQ(wide.Size(), 65538u);
    try {
        wide.Item16(106, std::string(65536, 'n'));
        FAIL();
    } catch (const EIBClientError& e) {
        EXPECT_STREQ(e.what(), "Parameter value too long: 65536 bytes, at most 65535 allowed");
    }
    EXPECT_EQ(wide.Size(), 65538u);
}

// Switches the locale for one test and restores it.
class LocaleScope {
public:
    explicit LocaleScope(const char* name) : saved(std::setlocale(LC_ALL, nullptr)) { std::setlocale(LC_ALL, name); }
    ~LocaleScope() { std::setlocale(LC_ALL, saved.c_str()); }

private:
    std::string saved;
};

TEST(Text8Bit, Utf8LocaleKeepsTheBytes)
{
    LocaleScope scope("C.UTF-8");
    EXPECT_EQ(ToLocal8Bit("Jos\xC3\xA9"), "Jos\xC3\xA9");
    EXPECT_EQ(FromLocal8Bit("Jos\xC3\xA9"), "Jos\xC3\xA9");
}

TEST(Text8Bit, CharactersTheEncodingLacksBecomeOneQuestionMark)
{
    LocaleScope scope("C");
    EXPECT_EQ(ToLocal8Bit("Jos\xC3\xA9 \xE2\x82\xAC!"), "Jos? ?!");
    EXPECT_EQ(FromLocal8Bit("Jos\xE9"), "Jos?");
    EXPECT_EQ(ToLocal8Bit("plain ASCII"), "plain ASCII");
}

enum class TColour { Red, Green, Blue, Black };

TEST(OptionSet, MemberOfOrdinalNIsBitN)
{
    TOptionSet<TColour> set{TColour::Green, TColour::Black};
    EXPECT_EQ(set.Bits(), 0b1010);
    EXPECT_TRUE(set.Contains(TColour::Black));
    EXPECT_FALSE(set.Contains(TColour::Red));
    set.Exclude(TColour::Black);
    set.Include(TColour::Red);
    EXPECT_EQ(set.Bits(), 0b0011);
}

}  // namespace
