#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "text/CodePage437.h"
#include "text/HexFormat.h"
#include "text/IntegerText.h"
#include "text/QuotedToken.h"
#include "text/Utf8.h"
#include "text/VisibleControls.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(CodePage437, KnownCharactersOfEachRow) {
    struct Case {
        std::uint8_t byte;
        char16_t character;
    };
    const Case cases[] = {
        {0x00, 0x0000}, {0x02, 0x0002}, {0x41, u'A'}, {0x7E, u'~'},  {0x7F, 0x007F}, {0x80, u'Ç'},
        {0x81, u'ü'},   {0x82, u'é'},   {0x9B, u'¢'}, {0x9E, u'₧'},  {0xA9, u'⌐'},   {0xB0, u'░'},
        {0xC4, u'─'},   {0xDB, u'█'},   {0xE1, u'ß'}, {0xE3, u'π'},  {0xE6, u'µ'},   {0xF8, u'°'},
        {0xF9, u'∙'},   {0xFA, u'·'},   {0xFE, u'■'}, {0xFF, 0x00A0}};
    for (const auto& c : cases) {
        EXPECT_EQ(text::Cp437ToUnicode(c.byte), c.character) << int(c.byte);
        EXPECT_EQ(text::UnicodeToCp437(c.character), c.byte) << int(c.byte);
    }
}

TEST(CodePage437, EveryByteComesBackFromItsCharacterAndOthersHaveNone) {
    for (int byte = 0; byte < 256; ++byte) {
        const auto b = static_cast<std::uint8_t>(byte);
        EXPECT_EQ(text::UnicodeToCp437(text::Cp437ToUnicode(b)), b) << byte;
    }
    for (char32_t c : {U'€', U'©', U'β', U'\u2400', U'\uFFFD', U'\U0001F4FB', U'Ā'}) {
        EXPECT_FALSE(text::UnicodeToCp437(c).has_value()) << static_cast<unsigned>(c);
    }
}

TEST(VisibleControls, ControlsBecomeSymbolsAndTheRestStays) {
    struct Case {
        char32_t character;
        bool control;
        char32_t shown;
    };
    const Case cases[] = {{0x00, true, 0x2400},   {0x0A, true, 0x240A}, {0x0D, true, 0x240D},
                          {0x1F, true, 0x241F},   {0x7F, true, 0x2421}, {U' ', false, U' '},
                          {U'~', false, U'~'},    {0x80, false, 0x80},  {U'é', false, U'é'},
                          {0x2400, false, 0x2400}};
    for (const Case& c : cases) {
        EXPECT_EQ(text::IsControl(c.character), c.control) << unsigned(c.character);
        EXPECT_EQ(text::VisibleControl(c.character), c.shown) << unsigned(c.character);
    }
}

TEST(HexFormat, TextsOfBytes) {
    EXPECT_EQ(text::HexByte(0x0A), "0A");
    EXPECT_EQ(text::HexByte(0xC3), "C3");
    EXPECT_EQ(text::HexByteBlank(0x00), "00 ");
    EXPECT_EQ(text::HexByteBlank(0xFF), "FF ");
    EXPECT_EQ(text::HexBytesBlank(Bytes{0x16, 0x10, 0x02}), "16 10 02 ");
    EXPECT_EQ(text::HexBytesBlank(Bytes{}), "");
    EXPECT_EQ(text::HexBytesSpaced(Bytes{0x16, 0x10, 0x02}), "16 10 02");
    EXPECT_EQ(text::HexBytesSpaced(Bytes{0xAB}), "AB");
    EXPECT_EQ(text::HexBytesSpaced(Bytes{}), "");
    std::u16string line = u"x";
    text::AppendHexByteBlank(line, 0x0A);
    text::AppendHexByteBlank(line, 0xFE);
    EXPECT_EQ(line, u"x0A FE ");
}

TEST(HexFormat, DigitValues) {
    const std::string digits = "0123456789ABCDEFabcdef";
    const int values[] = {0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10,
                          11, 12, 13, 14, 15, 10, 11, 12, 13, 14, 15};
    for (std::size_t i = 0; i < digits.size(); ++i) {
        EXPECT_EQ(text::HexDigitValue(digits[i]), values[i]) << digits[i];
        EXPECT_EQ(text::HexDigitValue(static_cast<char16_t>(digits[i])), values[i]) << digits[i];
    }
    for (char c : std::string("gG -$xZ\x80")) EXPECT_EQ(text::HexDigitValue(c), -1) << int(c);
    for (char16_t c : std::u16string(u"gＡ٣\uFF10")) EXPECT_EQ(text::HexDigitValue(c), -1);
}

TEST(HexFormat, ReadsBytesTypedAsHexadecimalText) {
    const struct {
        const char* text;
        Bytes bytes;
        std::optional<std::string> badToken;
    } cases[] = {
        {"80 08 7 D1 0 01", {0x80, 0x08, 0x07, 0xD1, 0x00, 0x01}, {}},
        {" 8008\t07d1\r", {0x80, 0x08, 0x07, 0xD1}, {}},
        {"", {}, {}},
        {"B4 00 G1 02", {0xB4, 0x00}, "G1"},
        {"123", {}, "123"},
        {"12 0x12", {0x12}, "0x12"},
    };
    for (const auto& c : cases) {
        Bytes bytes;
        const auto bad = text::ReadHexBytes(c.text, bytes);
        EXPECT_EQ(bytes, c.bytes) << c.text;
        EXPECT_EQ(bad ? std::optional<std::string>(*bad) : std::nullopt, c.badToken) << c.text;
    }
}

TEST(IntegerText, FollowsTheOrdinaryRules) {
    struct Case {
        const char* text;
        std::optional<std::int32_t> value;
    } cases[] = {
        {"127", 127},
        {"  70", 70},
        {"+5", 5},
        {"-1", -1},
        {"$7F", 127},
        {"$ff", 255},
        {"0x10", 16},
        {"0X1f", 31},
        {"-$10", -16},
        {"2147483647", 2147483647},
        {"-2147483648", INT32_MIN},
        {"$FFFFFFFF", -1},
        {"0x80000000", INT32_MIN},
        {"2147483648", std::nullopt},
        {"-2147483649", std::nullopt},
        {"$100000000", std::nullopt},
        {"", std::nullopt},
        {"   ", std::nullopt},
        {"12a", std::nullopt},
        {"1A", std::nullopt},  // hexadecimal digits need "$" or "0x"
        {"12 ", std::nullopt},
        {"abc", std::nullopt},
        {"$", std::nullopt},
        {"0x", std::nullopt},
        {"$-1", std::nullopt},
        {"-", std::nullopt},
        {"--1", std::nullopt},
        {"1.5", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(text::ParseInteger(c.text), c.value) << '"' << c.text << '"';
    }
    EXPECT_EQ(text::NotAnIntegerMessage("12a"), "'12a' is not a valid integer value");
    EXPECT_EQ(text::NotAnIntegerMessage(""), "'' is not a valid integer value");
}

TEST(Utf8, EncodesAndDecodesEachLength) {
    for (char32_t c : {U'A', U'é', U'─', U'\U0001F4FB'}) {
        std::string utf8;
        text::AppendUtf8(utf8, c);
        std::size_t i = 0;
        EXPECT_EQ(text::NextUtf8Character(utf8, i), c) << unsigned(c);
        EXPECT_EQ(i, utf8.size()) << unsigned(c);
    }
    // Cut, stray continuation, over-long and surrogate sequences are refused in place.
    for (const char* bad : {"\xC3", "\x80", "\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80"}) {
        std::size_t i = 0;
        EXPECT_FALSE(text::NextUtf8Character(bad, i).has_value()) << bad;
        EXPECT_EQ(i, 0U);
    }
}

TEST(Utf8, FromUtf16JoinsSurrogatePairs) {
    EXPECT_EQ(text::Utf16ToUtf8(u"0g"), "0g");
    EXPECT_EQ(text::Utf16ToUtf8(u"é2─"), "é2─");
    EXPECT_EQ(text::Utf16ToUtf8(u"a\U0001F4FBb"), "a\U0001F4FBb");
    EXPECT_EQ(text::Utf16ToUtf8(u""), "");
    const char16_t lone[] = {u'a', 0xD800, u'b'};  // carried over as it is
    EXPECT_EQ(text::Utf16ToUtf8(std::u16string_view(lone, 3)),
              "a\xED\xA0\x80"
              "b");
}

TEST(QuotedToken, ControlsShowAndLongTokensAreCut) {
    const std::string eighty(80, 'x');
    std::string eightyEscapes;
    for (int k = 0; k < 80; ++k) eightyEscapes += "\u241b";
    const struct {
        std::string token, quoted;
    } cases[] = {
        {"GZ", "'GZ'"},
        {"", "''"},
        {"a\x1b]0;owned\a", "'a\u241b]0;owned\u2407'"},
        {"\x7f\r\n", "'\u2421\u240d\u240a'"},
        {"caf\xc3\xa9", "'caf\u00e9'"},
        {"\xe9t\xc2\x9b", "'\ufffdt\ufffd'"},  // Latin-1, then the C1 control CSI
        {eighty, "'" + eighty + "'"},
        {eighty + "y", "'" + eighty + "...'"},
        {std::string(1'000'000, '\x1b'), "'" + eightyEscapes + "...'"},
    };
    for (const auto& c : cases) EXPECT_EQ(text::QuotedToken(c.token), c.quoted) << c.quoted;
}

}  // namespace
