#include <gtest/gtest.h>

#include "radiosim/Commands.h"

using namespace radiosim;

TEST(Commands, MessagesToSend) {
    struct Case {
        const char* line;
        const char* message;
    } cases[] = {
        {"status 008 2001 5", "80 08 07 D1 00 05"},
        {"  STATUS 44 0x7D1 31  ", "80 2C 07 D1 00 1F"},
        {"sst 7bit 8 2001 Hello world", "81 08 07 D1 00 B7 48 65 6C 6C 6F 20 77 6F 72 6C 64"},
        {"mst 8bit 8 2001 a\\x0D\\x0A\\\\", "82 08 07 D1 00 F7 61 0D 0A 5C"},
        {"sst bcd 8 2001 12 34", "81 08 07 D1 00 17 12 34"},
        {"mst telex 8 2001 1F", "82 08 07 D1 00 A7 1F"},
        {"sst binary 8 2001 DEADBEEF", "81 08 07 D1 00 87 DE AD BE EF"},
        {"sst 7bit 8 2001", "81 08 07 D1 00 B7"},
        {"voice 8 2002", "A4 08 07 D2 00 00"},
        {"voice 8 2002 0x10", "A4 08 07 D2 00 10"},
        {"emergency 8 2002", "A5 08 07 D2 00 00"},
        {"clear 8 2002", "86 08 07 D2 07"},
        {"clear 8 2002 0x0E", "A6 08 07 D2 0E"},
        {"protocol 6", "B4 06"},
        {"raw 80 08 07 D1 00 01", "80 08 07 D1 00 01"},
        {"raw b0-08-07", "B0 08 07"},
    };
    for (const Case& c : cases) {
        const Command cmd = ParseCommand(c.line);
        ASSERT_EQ(cmd.kind, Command::Kind::Send) << c.line << ": " << cmd.error;
        EXPECT_EQ(text::HexBytesSpaced(cmd.message), c.message) << c.line;
    }
}

TEST(Commands, FaultsAndControl) {
    EXPECT_EQ(ParseCommand("corrupt").fault, Fault::CorruptFcs);
    EXPECT_EQ(ParseCommand("drop").fault, Fault::DropFrame);
    EXPECT_EQ(ParseCommand("sequence").fault, Fault::OutOfSequence);
    EXPECT_EQ(ParseCommand("restart").fault, Fault::Restart);
    const Command silent = ParseCommand("silent 3");
    EXPECT_EQ(silent.kind, Command::Kind::Inject);
    EXPECT_EQ(silent.fault, Fault::Silence);
    EXPECT_EQ(silent.seconds, 3U);
    EXPECT_EQ(ParseCommand("quit").kind, Command::Kind::Quit);
    EXPECT_EQ(ParseCommand("help").kind, Command::Kind::Help);
    EXPECT_EQ(ParseCommand("unlock").kind, Command::Kind::Unlock);
    EXPECT_EQ(ParseCommand("stats").kind, Command::Kind::Stats);
    EXPECT_EQ(ParseCommand("stats now").kind, Command::Kind::Error);
    EXPECT_TRUE(ParseCommand("echo on").echo);
    EXPECT_EQ(ParseCommand("echo off").kind, Command::Kind::Echo);
    EXPECT_EQ(ParseCommand("").kind, Command::Kind::None);
    EXPECT_EQ(ParseCommand("   # a comment").kind, Command::Kind::None);
    EXPECT_NE(HelpText().find("silent SECONDS"), std::string::npos);
}

TEST(Commands, BadCommandsGetAClearMessage) {
    struct Case {
        const char* line;
        const char* error;
    } cases[] = {
        {"frobnicate", "unknown command 'frobnicate'; type help for the list"},
        {"status 8 2001", "usage: status PFIX IDENT STATUS"},
        {"status x 2001 1", "PFIX: 'x' is not a number"},
        {"status 8 70000 1", "IDENT: 70000 is out of range 0..65535"},
        {"status 256 1 1", "PFIX: 256 is out of range 0..255"},
        {"status 8 1 99999999999999999999", "STATUS: '99999999999999999999' is not a number"},
        {"status 8 0x 1", "IDENT: '0x' is not a number"},
        {"sst morse 8 1 x", "unknown coding 'morse'"},
        {"sst binary 8 1 ABC", "odd number of hexadecimal digits"},
        {"sst binary 8 1 XY", "'X' is not a hexadecimal digit"},
        {"sst 7bit 8 1 caf\xc3\xa9", "only ASCII characters can be typed"},
        {"sst 7bit 8 1 \\x80", "7-bit text holds bytes up to \\x7F only"},
        {"raw", "usage: raw HEX BYTES"},
        {"silent", "usage: silent SECONDS"},
        {"silent -1", "SECONDS: '-1' is not a number"},
        {"drop 2", "drop takes no arguments"},
        {"echo maybe", "usage: echo on|off"},
        // What the operator typed comes back with its control characters visible and cut short.
        {"\x1b]0;x\a", "unknown command '\u241b]0;x\u2407'"},
        {"status 8 1 "
         "9999999999999999999999999999999999999999999999999999999999999999999999999999999"
         "999999999",
         "STATUS: '99999999999999999999999999999999999999999999999999999999999999999"
         "999999999999999...' is not a number"},
    };
    for (const Case& c : cases) {
        const Command cmd = ParseCommand(c.line);
        EXPECT_EQ(cmd.kind, Command::Kind::Error) << c.line;
        EXPECT_EQ(cmd.error.rfind(c.error, 0), 0U) << c.line << " gave: " << cmd.error;
    }
}
