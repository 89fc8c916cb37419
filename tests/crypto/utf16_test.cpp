#include "util/utf16.h"

#include <gtest/gtest.h>

namespace {

struct SPair {
    const char* m_what;
    std::string m_utf8;
    std::u16string m_utf16;
};

void PrintTo(const SPair& pair, std::ostream* out)
{
    *out << pair.m_what;
}

class Utf16Pairs : public testing::TestWithParam<SPair> {};

TEST_P(Utf16Pairs, ConvertBothWays)
{
    std::u16string wide;
    ASSERT_TRUE(Utf8ToUtf16(GetParam().m_utf8, wide));
    EXPECT_EQ(wide, GetParam().m_utf16);
    std::string narrow;
    ASSERT_TRUE(Utf16ToUtf8(GetParam().m_utf16, narrow));
    EXPECT_EQ(narrow, GetParam().m_utf8);
}

INSTANTIATE_TEST_SUITE_P(
    Edges, Utf16Pairs,
    testing::Values(SPair {"empty", "", u""}, SPair {"ascii", "a.txt", u"a.txt"},
                    SPair {"nul", std::string("a\0b", 3), std::u16string(u"a\0b", 3)},
                    SPair {"two bytes, last of them", "\xC3\xBC\xDF\xBF", u"\u00FC\u07FF"},
                    SPair {"three bytes, edges", "\xE0\xA0\x80\xEF\xBF\xBF", u"\u0800\uFFFF"},
                    SPair {"first and last beyond the BMP", "\xF0\x90\x80\x80\xF4\x8F\xBF\xBF",
                           u"\U00010000\U0010FFFF"}),
    [](const testing::TestParamInfo<SPair>& info) {
        std::string name = info.param.m_what;
        for (char& c : name)
            c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
        return name;
    });

TEST(Utf8ToUtf16, RefusesMalformedInput)
{
    const std::string cases[] = {
        "\x80",             // continuation byte first
        "\xC3",             // sequence cut short
        "\xE2\x82",         // sequence cut short
        "\xC3\x28",         // no continuation byte
        "\xC0\x80",         // overlong NUL
        "\xE0\x80\xAF",     // overlong '/'
        "\xF0\x8F\xBF\xBF", // overlong U+FFFF
        "\xED\xA0\x80",     // surrogate U+D800
        "\xED\xBF\xBF",     // surrogate U+DFFF
        "\xF4\x90\x80\x80", // U+110000
        "\xF8\x88\x80\x80\x80",
        "\xFF",
        "ok\xFE",
    };
    for (const std::string& bad : cases) {
        std::u16string wide = u"left over";
        EXPECT_FALSE(Utf8ToUtf16(bad, wide)) << testing::PrintToString(bad);
        EXPECT_TRUE(wide.empty());
    }
}

TEST(Utf16ToUtf8, RefusesUnpairedSurrogates)
{
    const std::u16string cases[] = {
        std::u16string(1, u'\xD800'),                     // high at the end
        std::u16string {u'\xD800', u'a'},                 // high before a non-surrogate
        std::u16string {u'\xDC00', u'\xD800'},            // low first
        std::u16string {u'a', u'\xDFFF'},                 // lone low
        std::u16string {u'\xD800', u'\xD800', u'\xDC00'}, // high before high
    };
    for (const std::u16string& bad : cases) {
        std::string narrow = "left over";
        EXPECT_FALSE(Utf16ToUtf8(bad, narrow));
        EXPECT_TRUE(narrow.empty());
    }
}

} // namespace
