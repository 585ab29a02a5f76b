#include "Cp437.h"

#include <gtest/gtest.h>

namespace {

using orrick::Cp437ToUnicode;
using orrick::UnicodeToCp437;

TEST(Cp437, KnownCharactersOfEachRow) {
    struct Case {
        std::uint8_t byte;
        char16_t character;
    };
    const Case cases[] = {
        {0x00, 0x0000}, {0x02, 0x0002}, {0x41, u'A'}, {0x7E, u'~'}, {0x7F, 0x007F}, {0x80, u'Ç'},
        {0x9B, u'¢'},   {0x9E, u'₧'},   {0xA9, u'⌐'}, {0xB0, u'░'}, {0xC4, u'─'},   {0xDB, u'█'},
        {0xE1, u'ß'},   {0xE6, u'µ'},   {0xF9, u'∙'}, {0xFA, u'·'}, {0xFE, u'■'},   {0xFF, 0x00A0}};
    for (const auto& c : cases) {
        EXPECT_EQ(Cp437ToUnicode(c.byte), c.character) << int(c.byte);
        EXPECT_EQ(UnicodeToCp437(c.character), c.byte) << int(c.byte);
    }
}

TEST(Cp437, EveryByteComesBackFromItsCharacter) {
    for (int byte = 0; byte < 256; ++byte) {
        const auto b = static_cast<std::uint8_t>(byte);
        EXPECT_EQ(UnicodeToCp437(Cp437ToUnicode(b)), b) << byte;
    }
}

TEST(Cp437, CharactersOutsideTheCodePageHaveNoByte) {
    for (char32_t c : {U'€', U'©', U'\u2400', U'\uFFFD', U'\U0001F4FB', U'Ā'}) {
        EXPECT_FALSE(UnicodeToCp437(c).has_value()) << static_cast<unsigned>(c);
    }
}

}  // namespace
