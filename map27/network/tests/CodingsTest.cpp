#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "map27/network/Codings.h"
#include "map27/network/Network.h"

namespace map27 {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(Codings, PackHexText) {
    struct Case {
        const char* text;
        Bytes bytes;
    };
    const Case cases[] = {
        {"ABC", {0xAB, 0xC0}},
        {"a1 b2-c3", {0xA1, 0xB2, 0xC3}},
        {"", {}},
        {"xyz -- !", {}},
        {"F02548", {0xF0, 0x25, 0x48}},
        {"7", {0x70}},
        {"0x12", {0x01, 0x20}},  // the x is dropped, its 0 kept
        {"de\nAD\tbe ef", {0xDE, 0xAD, 0xBE, 0xEF}},
    };
    for (const Case& c : cases) EXPECT_EQ(PackHexText(c.text), c.bytes) << c.text;
}

TEST(Codings, AddressPacking) {
    struct Case {
        const char* pfix;
        const char* ident;
        std::uint8_t p, hi, lo;
    };
    const Case cases[] = {
        {"008", "2001", 0x08, 0x07, 0xD1},
        {"300", "2001", 0x2C, 0x07, 0xD1},  // no range check: low 8 bits
        {"0", "65535", 0x00, 0xFF, 0xFF},
        {"1", "65537", 0x01, 0x00, 0x01},  // low 16 bits
        {"$FF", "0x1234", 0xFF, 0x12, 0x34},
        {"-1", "-1", 0xFF, 0xFF, 0xFF},
    };
    for (const Case& c : cases) {
        const PackedAddress a = PackAddress(c.pfix, c.ident);
        EXPECT_EQ(a.pfix, c.p) << c.pfix;
        EXPECT_EQ(a.identHigh, c.hi) << c.ident;
        EXPECT_EQ(a.identLow, c.lo) << c.ident;
    }
}

TEST(Codings, ReceivedAddressTextsAreZeroFilled) {
    EXPECT_EQ(PfixText(0), "000");
    EXPECT_EQ(PfixText(8), "008");
    EXPECT_EQ(PfixText(42), "042");
    EXPECT_EQ(PfixText(255), "255");
    EXPECT_EQ(IdentText(5), "0005");
    EXPECT_EQ(IdentText(2001), "2001");
    EXPECT_EQ(IdentText(12345), "12345");
    EXPECT_EQ(IdentText(65535), "65535");
}

TEST(StrToInt, AcceptsTheOrdinaryForms) {
    struct Case {
        const char* text;
        std::int32_t value;
    };
    const Case cases[] = {
        {"0", 0},
        {"008", 8},
        {"  2001", 2001},
        {"+7", 7},
        {"-12", -12},
        {"$1F", 31},
        {"$ff", 255},
        {"0x1F", 31},
        {"0X1f", 31},
        {"-$10", -16},
        {"2147483647", 2147483647},
        {"-2147483648", -2147483647 - 1},
        {"$7FFFFFFF", 2147483647},
        {"$FFFFFFFF", -1},
        {"0x80000000", -2147483647 - 1},
    };
    for (const Case& c : cases) EXPECT_EQ(StrToInt(c.text), c.value) << c.text;
}

TEST(StrToInt, RefusesWithOneMessageNamingTheText) {
    const char* bad[] = {"",    " ",    "abc", "12 ",        "1 2",         "$",
                         "0x",  "--1",  "+",   "2147483648", "-2147483649", "$100000000",
                         "12a", "0x1G", "1.5", "$-1"};
    for (const char* text : bad) {
        try {
            StrToInt(text);
            ADD_FAILURE() << "accepted '" << text << "'";
        } catch (const BuildError& e) {
            EXPECT_EQ(std::string(e.what()),
                      "'" + std::string(text) + "' is not a valid integer value");
        }
    }
}

}  // namespace
}  // namespace map27
