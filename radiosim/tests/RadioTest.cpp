#include <gtest/gtest.h>

#include "radiosim/Radio.h"

using namespace radiosim;

namespace {

std::string Answers(Radio& radio, const Bytes& message) {
    std::string text;
    for (const Bytes& a : radio.Answer(message))
        text += (text.empty() ? "" : " | ") + text::HexBytesSpaced(a);
    return text;
}

}  // namespace

TEST(Radio, AnswersTheTerminalAsARadioUnitWould) {
    struct Case {
        const char* what;
        Bytes message;
        const char* answers;
    } cases[] = {
        {"personality", {0xB0, 0}, "B0 08 07 D1 2A 31 86 A0 FE 00 00 86"},
        {"numbering", {0xB0, 1}, "B1 08 07 D1 00 01 07 D0 00 64 00 C8 08 00 65 10 03 20"},
        {"settings", {0xB0, 2}, "B3 FC 00 00 84"},
        {"operating condition", {0xB0, 3}, "B2 04 1F 05"},
        {"network", {0xB0, 4}, "B5 01 2C 12 34"},
        {"unknown interrogation", {0xB0, 9}, "B4 02"},
        {"status", {0x80, 0x08, 0x07, 0xD1, 0x00, 0x05}, "C0 08 07 D1 00 00"},
        {"SST", {0x81, 0x2C, 0x00, 0x05, 0x00, 0xB7, 'H', 'i'}, "C0 2C 00 05 00 00"},
        {"MST", {0x82, 0x08, 0x07, 0xD1, 0x00, 0xB7}, "C0 08 07 D1 00 00"},
        {"voice call",
         {0xA4, 0x08, 0x07, 0xD1, 0x00, 0x08},
         "D4 08 07 D1 00 01 | C4 08 07 D1 00 00"},
        {"emergency call",
         {0xA5, 0x08, 0x07, 0xD2, 0x00, 0x00},
         "D4 08 07 D2 00 01 | C4 08 07 D2 00 00"},
        {"disconnect", {0x86, 0x08, 0x07, 0xD1, 0x07}, "86 08 07 D1 07"},
        {"disconnect RQX", {0xA6, 0x08, 0x07, 0xD1, 0x08}, "E0 08 07 D1 00 08"},
        {"diversion",
         {0x87, 0x08, 0x07, 0xD1, 0x00, 0x11, 0x08, 0x07, 0xD1, 0x00},
         "C7 08 07 D1 00 00"},
        {"radio control off-hook", {0xB2, 0x03}, "B2 07 1F 05"},
        {"radio test", {0x01, 0xAB, 0xC0}, "01 AB C0"},
        {"protocol info", {0xB4, 0x01}, ""},
        {"volume", {0xB6, 0x01, 0xC3}, ""},
        {"unknown type", {0x55}, "B4 01"},
        {"empty", {}, "B4 01"},
        {"status cut short", {0x80, 0x08}, "B4 01"},
        {"interrogation cut short", {0xB0}, "B4 01"},
        {"call cut short", {0xA4, 0x08}, "B4 01"},
    };
    for (const Case& c : cases) {
        Radio radio;
        EXPECT_EQ(Answers(radio, c.message), c.answers) << c.what;
    }
}

TEST(Radio, RadioManagementIsConfirmedAndReportedInTheNextSettingsAnswer) {
    Radio radio;
    EXPECT_EQ(Answers(radio, {0xB3, 0xA5, 0x00, 0x00, 0x06}), "B3 A5 00 00 06");
    EXPECT_EQ(Answers(radio, {0xB0, 2}), "B3 A5 00 00 06");
    // The personality (what the radio can do) is not what it is set to.
    EXPECT_EQ(Answers(radio, {0xB0, 0}), "B0 08 07 D1 2A 31 86 A0 FE 00 00 86");
}

TEST(Radio, PersonalityIsConfigurable) {
    Personality p;
    p.pfix = 44;
    p.ident = 0x1234;
    p.manufacturerCode = 7;
    p.model = 15;
    p.serial = 262143;
    p.sa = 0x81;
    p.codings = 0x04;
    p.groups.clear();
    Radio radio(p);
    EXPECT_EQ(Answers(radio, {0xB0, 0}), "B0 2C 12 34 07 F3 FF FF 81 00 00 04");
    EXPECT_EQ(Answers(radio, {0xB0, 1}), "B1 2C 12 34 00 01 07 D0 00 64 00 C8");
}

TEST(Radio, EchoSendsDataCallsBack) {
    Radio radio;
    radio.SetEcho(true);
    EXPECT_EQ(Answers(radio, {0x82, 0x08, 0x07, 0xD1, 0x00, 0xB7, 'o', 'k'}),
              "C0 08 07 D1 00 00 | 82 08 07 D1 00 B7 6F 6B");
    EXPECT_EQ(Answers(radio, {0x80, 0x08, 0x07, 0xD1, 0x00, 0x05}), "C0 08 07 D1 00 00");
}

TEST(Radio, DescribesWhatTheTerminalSent) {
    struct Case {
        Bytes message;
        const char* text;
    } cases[] = {
        {{0x80, 0x08, 0x07, 0xD1, 0x00, 0x01}, "Send Status to 008/2001 status 1"},
        {{0x81, 0x08, 0x07, 0xD1, 0x00, 0xB7, 'a', 0x0D},
         "Send SST to 008/2001 7-bit (2 bytes): \"a\\x0D\""},
        {{0x82, 0x08, 0x07, 0xD1, 0x00, 0x87, 0x12}, "Send MST to 008/2001 Binary (1 bytes): 12"},
        {{0xB0, 0x03}, "Radio Interrogation: operating condition"},
        {{0xA4, 0x08, 0x07, 0xD1, 0x00, 0x08}, "Setup Voice to 008/2001 options 08"},
        {{0x86}, "Disconnect (no address)"},
        {{0x99}, "unknown message type 99"},
        {{}, "empty message"},
    };
    for (const Case& c : cases) EXPECT_EQ(DescribeTerminalMessage(c.message), c.text);
}
