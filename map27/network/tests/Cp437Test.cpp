#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "map27/link/LinkInterfaces.h"
#include "map27/network/Cp437.h"

namespace map27 {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(Cp437, DataTextToBytes) {
    struct Case {
        const char* text;
        Bytes bytes;
    };
    const Case cases[] = {
        {"Hello", {0x48, 0x65, 0x6C, 0x6C, 0x6F}},
        {"", {}},
        {"a\nb", {0x61, 0x0D, 0x0A, 0x62}},
        {"a\r\nb", {0x61, 0x0D, 0x0A, 0x62}},
        {"a\rb", {0x61, 0x0D, 0x0A, 0x62}},
        {"\n\n", {0x0D, 0x0A, 0x0D, 0x0A}},
        {"Grüße °C", {0x47, 0x72, 0x81, 0xE1, 0x65, 0x20, 0xF8, 0x43}},
        {"█▒", {0xDB, 0xB1}},
        {"tab\t", {0x74, 0x61, 0x62, 0x09}},
    };
    for (const Case& c : cases) EXPECT_EQ(DataTextToBytes(c.text), c.bytes) << c.text;
}

TEST(Cp437, DataTextRefusesACharacterWithoutAByte) {
    try {
        DataTextToBytes("price 5 €");
        FAIL() << "accepted the euro sign";
    } catch (const BuildError& e) {
        const std::string message = e.what();
        EXPECT_NE(message.find("'€'"), std::string::npos) << message;
        EXPECT_NE(message.find("U+20AC"), std::string::npos) << message;
    }
    EXPECT_THROW(DataTextToBytes("\xC3"), BuildError);  // cut sequence
    EXPECT_THROW(DataTextToBytes("a\xFF"
                                 "b"),
                 BuildError);                                   // not UTF-8
    EXPECT_THROW(DataTextToBytes("\xC0\xAF"), BuildError);      // over-long form
    EXPECT_THROW(DataTextToBytes("\xED\xA0\x80"), BuildError);  // surrogate
}

TEST(Cp437, ReceivedTextStaysOnOneLine) {
    struct Case {
        Bytes bytes;
        bool dropDelete;
        const char* text;
    };
    const Case cases[] = {
        {{0x48, 0x69}, true, "Hi"},
        {{0x41, 0x0D, 0x0A, 0x42}, true, "A␍␊B"},
        {{0x41, 0x00, 0x42}, false, "AB"},
        {{0x41, 0x7F, 0x42}, true, "AB"},
        {{0x41, 0x7F, 0x42}, false, "A␡B"},
        {{0x01, 0x09, 0x1B, 0x1F}, false, "␁␉␛␟"},
        {{0x82, 0xE1, 0xFF}, true, "éß\u00A0"},  // the top bit is kept in 7-bit text too
        {{}, false, ""},
    };
    for (const Case& c : cases) EXPECT_EQ(ReceivedTextToUtf8(c.bytes, c.dropDelete), c.text);
}

TEST(Cp437, VisibleLogText) {
    EXPECT_EQ(VisibleLogText("one\ntwo"), "one␍␊two");
    EXPECT_EQ(VisibleLogText("one\r\ntwo"), "one␍␊two");
    EXPECT_EQ(VisibleLogText("tab\tend"), "tab␉end");
    EXPECT_EQ(VisibleLogText("Grüße €"), "Grüße €");
    EXPECT_EQ(VisibleLogText("a\xFF"), "a\uFFFD");
}

}  // namespace
}  // namespace map27
