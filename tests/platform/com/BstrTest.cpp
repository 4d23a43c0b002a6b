#include <gtest/gtest.h>

#include <cstring>

#include "com/Bstr.h"

TEST(BstrTest, LengthPrefixAndTerminator)
{
    BSTR text = SysAllocString(u"quillet");
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(SysStringLen(text), 7u);
    EXPECT_EQ(SysStringByteLen(text), 14u);
    uint32_t prefix;
    std::memcpy(&prefix, reinterpret_cast<char*>(text) - 4, 4);
    EXPECT_EQ(prefix, 14u);
    EXPECT_EQ(text[7], u'\0');
    SysFreeString(text);
}

TEST(BstrTest, EmbeddedNulsCountInTheLength)
{
    const OLECHAR withNul[] = {u'a', u'\0', u'b'};
    BSTR text = SysAllocStringLen(withNul, 3);
    EXPECT_EQ(SysStringLen(text), 3u);
    EXPECT_EQ(text[1], u'\0');
    EXPECT_EQ(text[2], u'b');
    // SysAllocString stops at the first NUL, as it has nothing else to go by.
    BSTR truncated = SysAllocString(text);
    EXPECT_EQ(SysStringLen(truncated), 1u);
    SysFreeString(truncated);
    SysFreeString(text);
}

TEST(BstrTest, NullStandsForTheEmptyString)
{
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    EXPECT_EQ(SysStringByteLen(nullptr), 0u);
    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    SysFreeString(nullptr);
    Bstr empty;
    EXPECT_TRUE(empty.Empty());
    EXPECT_EQ(empty.Utf8(), "");
    EXPECT_EQ(empty.Copy(), nullptr);
}

TEST(BstrTest, ByteLengthsMayBeOddAndStayTerminated)
{
    BSTR bytes = SysAllocStringByteLen("abc", 3);
    EXPECT_EQ(SysStringByteLen(bytes), 3u);
    EXPECT_EQ(SysStringLen(bytes), 1u);
    EXPECT_EQ(reinterpret_cast<char*>(bytes)[3], '\0');
    EXPECT_EQ(reinterpret_cast<char*>(bytes)[4], '\0');
    SysFreeString(bytes);

    BSTR zeroed = SysAllocStringLen(nullptr, 4);
    EXPECT_EQ(SysStringLen(zeroed), 4u);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(zeroed[i], u'\0');
    SysFreeString(zeroed);
}

TEST(BstrTest, ReallocationMayReadFromTheStringItReplaces)
{
    BSTR text = SysAllocString(u"recorder");
    ASSERT_TRUE(SysReAllocString(&text, text + 2));
    EXPECT_EQ(std::u16string(text), u"corder");
    ASSERT_TRUE(SysReAllocStringLen(&text, text, 3));
    EXPECT_EQ(std::u16string(text, SysStringLen(text)), u"cor");
    ASSERT_TRUE(SysReAllocString(&text, nullptr));
    EXPECT_EQ(text, nullptr);
    EXPECT_FALSE(SysReAllocString(nullptr, u"x"));
}

TEST(BstrTest, Utf8ConversionsRoundTrip)
{
    const std::string samples[] = {"", "plain", "Grüße", "日本語", "emoji 🎙 mic", "a\nb\"c"};
    for (const std::string& sample : samples) {
        Bstr text = Bstr::FromUtf8(sample);
        EXPECT_EQ(text.Utf8(), sample);
    }
    Bstr astral = Bstr::FromUtf8("🎙");
    EXPECT_EQ(astral.Length(), 2u); // a surrogate pair
}

TEST(BstrTest, BrokenUnicodeBecomesReplacementCharacters)
{
    EXPECT_EQ(quillet::Utf8ToUtf16("a\xFF"
                                   "b"),
              u"a\uFFFDb");
    EXPECT_EQ(quillet::Utf8ToUtf16("\xE6\x97"), u"\uFFFD\uFFFD");
    EXPECT_EQ(quillet::Utf8ToUtf16("\xC0\x80"), u"\uFFFD\uFFFD"); // overlong NUL
    const char16_t lone[] = {u'x', char16_t(0xD800), u'y', 0};
    EXPECT_EQ(quillet::Utf16ToUtf8(lone), "x\xEF\xBF\xBDy");
}

TEST(BstrTest, WrapperCopiesAndMovesWithoutSharing)
{
    Bstr original = Bstr::FromUtf8("level");
    Bstr copy = original;
    EXPECT_NE(copy.Get(), original.Get());
    EXPECT_EQ(copy.View(), original.View());
    Bstr moved = std::move(copy);
    EXPECT_EQ(copy.Get(), nullptr);
    EXPECT_EQ(moved.Utf8(), "level");
    BSTR owned = moved.Detach();
    EXPECT_EQ(moved.Get(), nullptr);
    SysFreeString(owned);
}
