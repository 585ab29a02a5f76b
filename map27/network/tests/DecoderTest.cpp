#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "map27/network/Codings.h"
#include "map27/network/Network.h"

namespace map27 {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Hex(const char* text) {
    return PackHexText(text);
}

std::string Body(const char* hex) {
    const Bytes message = Hex(hex);  // exactly the message, nothing after it
    return DecodeIncomingMessage(message).body;
}

struct Line {
    const char* hex;
    const char* body;
};

void ExpectBodies(const std::vector<Line>& lines) {
    for (const Line& line : lines) EXPECT_EQ(Body(line.hex), line.body) << line.hex;
}

TEST(DecodeIncomingMessage, ExamplesOfTheLog) {
    ExpectBodies({
        {"80 08 07 D1 00 01", "80    Receive Status                PFIX:008  ID:2001  Status:1"},
        {"81 08 07 D1 00 B7 48 65 6C 6C 6F 7F 7F",
         "Receive SST  PFIX:008  ID:2001  Data(7bit ASCII):Hello"},
        {"81 08 07 D1 00 17 12 34", "Receive SST  PFIX:008  ID:2001  Data(BCD):12 34 "},
        {"82 08 07 D1 00 F7 41", "82 !!!Not supported by Talvane27:Coding F7 "},
        {"82 08 07 D1 00 87", "Receive MST  PFIX:008  ID:2001  Data(Binary):"},
        {"A4 08 07 D1 00 08", "A4-08 Incoming Voice Call           PFIX:008  ID:2001"},
        {"02", "02 !!! Spare(free for customisation)"},
        {"40", "40 !!! Reserved"},
        {"FF", "FF !!! Reserved"},
        {"B4 00", "B4h Reserved"},
        {"B4 07", "B4h Reserved"},
        {"D5 08 07 D1 00 01", "D5-01 MAINT                         PFIX2:008 ID2:2001"},
        {"C5 08 07 D1 00 00", "C5-00 GTC                           PFIX2:008  ID2:2001"},
        {"B0 08 07 D1 2A 35 86 A0 FE 00 00 86",
         "Radio personality Response  PFIX:008  ID:2001  Manufacturer's code:42  Model:3  "
         "Serial:100000  Sa:FE   "
         "Sb:00   Sc:00   CODINGS:86 "},
        {"B1 08 07 D1 80 01 07 D0 00 64 00 C8 08 00 65 10 03 20",
         "Numbering Information : Radio Unit = 8-2001  Individual number base IDENT = 1  Highest "
         "individual IDENT = "
         "2000  Group number base IDENT = 100  Highest group IDENT = 200  Radio unit group address "
         "= 8-101, 16-800, "},
        {"B1 08 07 D1 00 01 07 D0 00 64 00 C8",
         "Numbering Information : Radio Unit = 8-2001  Individual number base IDENT = 1  Highest "
         "individual IDENT = "
         "2000  Group number base IDENT = 100  Highest group IDENT = 200  Radio unit group address "
         "= "},
        {"B2 01 1F 05", "OPERATING CONDITION  Conditions:01  Field Strength:1F  MCDT:05 "},
        {"B5 01 2C 12 34",
         "B5    Network Information : Radio channel number = 300, System identity code = 4660"},
        {"B3 FC 00 00 84", "Radio Settings  Sa:FC   Sb:00   Sc:00   CODINGS:84 "},
        {"B3 FC 00 00", "Radio Settings  Sa:FC   Sb:00   Sc:00   CODINGS:no field"},
    });
}

TEST(DecodeIncomingMessage, AddressTexts) {
    ExpectBodies({
        {"80 00 00 05 00 FF", "80    Receive Status                PFIX:000  ID:0005  Status:255"},
        {"80 FF 30 39 00 00", "80    Receive Status                PFIX:255  ID:12345  Status:0"},
        {"80 2A FF FF 00 0A", "80    Receive Status                PFIX:042  ID:65535  Status:10"},
    });
}

TEST(DecodeIncomingMessage, TypesWithoutSubCode) {
    ExpectBodies({
        {"00", "00    !!! Reserved for protocol escape mechanism"},
        {"00 01 02", "00    !!! Reserved for protocol escape mechanism"},
        {"01 12 34", "01    Radio Test Result(Informative)"},
        {"A3 01 02 03", "A3    RECEIVE MODEM DATA"},
        {"3F", "3F !!! Spare(free for customisation)"},
        {"7F 00", "7F !!! Reserved"},
        {"83 08 07 D1 00 00", "83 !!! Reserved"},
        {"B6 01", "B6 !!! Reserved"},
        {"C1 08 07 D1 00 00", "C1 !!! Reserved"},
    });
}

TEST(DecodeIncomingMessage, DataCodings) {
    ExpectBodies({
        {"81 08 07 D1 00 F7 41 7F 82 00 42",
         "Receive SST  PFIX:008  ID:2001  Data(8bit PC character):A␡éB"},
        {"81 08 07 D1 00 B7 41 00 42 0D 0A 43",
         "Receive SST  PFIX:008  ID:2001  Data(7bit ASCII):AB␍␊C"},
        {"82 08 07 D1 00 B7 C1 E1", "Receive MST  PFIX:008  ID:2001  Data(7bit ASCII):┴ß"},
        {"82 08 07 D1 00 17 98 76", "Receive MST  PFIX:008  ID:2001  Data(BCD):98 76 "},
        {"81 08 07 D1 00 A7 01 1F", "Receive SST  PFIX:008  ID:2001  Data(Telex):01 1F "},
        {"82 08 07 D1 00 A7 1F", "Receive MST  PFIX:008  ID:2001  Data(Telex):1F "},
        {"81 08 07 D1 00 87 00 FF", "Receive SST  PFIX:008  ID:2001  Data(Binary):00 FF "},
        {"81 08 07 D1 00 B7", "Receive SST  PFIX:008  ID:2001  Data(7bit ASCII):"},
        {"81 08 07 D1 00 F7", "Receive SST  PFIX:008  ID:2001  Data(8bit PC character):"},
        {"81 08 07 D1 00 18 41", "81 !!!Not supported by Talvane27:Coding 18 "},
        {"82 08 07 D1 00 00", "82 !!!Not supported by Talvane27:Coding 00 "},
    });
}

TEST(DecodeIncomingMessage, IncomingCallsShowTheByteTheLayoutPointsAt) {
    ExpectBodies({
        {"A4 08 07 D1 02 08 11 22", "A4-22 Incoming Voice Call           PFIX:008  ID:2001"},
        {"A4 08 07 D1 F0 35",
         "A4-35 Incoming Voice Call           PFIX:008  ID:2001"},  // high nibble plays no part
        {"A5 08 07 D1 00 30", "A5-30 Incoming Emergency Voice Call   PFIX:008  ID:2001"},
        {"A5 08 07 D1 01 30 31", "A5-31 Incoming Emergency Voice Call   PFIX:008  ID:2001"},
    });
}

TEST(DecodeIncomingMessage, ClearMessages) {
    ExpectBodies({
        {"86 08 07 D1 07", "86-07 Clear(normal end)             PFIX:008  ID:2001"},
        {"86 08 07 D1 00", "86 -00 !!!Reserved for further extensions"},
        {"A6 08 07 D1 00", "A6-00 Clear(abnormal end)           PFIX:008  ID:2001"},
        {"A6 08 07 D1 01", "A6-01 Radio generated clear         PFIX:008  ID:2001"},
        {"A6 08 07 D1 04", "A6-04 Service not available         PFIX:008  ID:2001"},
        {"A6 08 07 D1 05",
         "A6-05 Transmission or message too long, call disconnected or message rejected  PFIX:008  "
         "ID:2001"},
        {"A6 08 07 D1 06", "A6-06 Message coding no possible, message rejected  PFIX:008  ID:2001"},
        {"A6 08 07 D1 0E", "A6-0E Abnormal Disconnect           PFIX:008  ID:2001"},
        {"A6 08 07 D1 02", "A6 -02 !!!Reserved for further extensions"},
        {"A6 08 07 D1 07", "A6 -07 !!!Reserved for further extensions"},
    });
}

TEST(DecodeIncomingMessage, ProtocolInfo) {
    ExpectBodies({
        {"B4 01", "B4-01 Unrecognised Message"},
        {"B4 02", "B4-02 Facility or addressing not supported"},
        {"B4 03", "B4-03 Protocol state mismatch detected"},
        {"B4 04", "B4-04 Message coding not supported"},
        {"B4 05", "B4-05 Radio busy because of local operation"},
        {"B4 06", "B4-06 Radio for remote control"},
        {"B4 FF", "B4h Reserved"},
    });
}

TEST(DecodeIncomingMessage, Acknowledgements) {
    ExpectBodies({
        {"C0 08 07 D1 00 00", "C0-00 ACK:Successful Transaction    PFIX:008  ID:2001"},
        {"C0 08 07 D1 00 01", "C0-01  !!!Reserved for further extensions"},
        {"C4 08 07 D1 00 00", "C4-00 GTC:Call Connected            PFIX:008  ID:2001"},
        {"C4 08 07 D1 00 01", "C4 -01 !!!Reserved for further extensions"},
        {"C5 08 07 D1 00 02", "C5 -02 !!!Reserved for further extensions"},
        {"C7 08 07 D1 00 00", "C7-00 Diversion ACK                 PFIX:008  ID:2001"},
        {"C7 08 07 D1 00 FF", "C7 -FF !!!Reserved for further extensions"},
        {"D0 08 07 D1 00 02", "D0-02 ACKQ(0):System busy           PFIX:008  ID:2001"},
        {"D0 08 07 D1 00 0A", "D0-0A ACKQ(1):Called unit engaged   PFIX:008  ID:2001"},
        {"D0 08 07 D1 00 22",
         "D0-22 Local  TSC does not support MST, the radio tries to use multiple SST."},
        {"D0 08 07 D1 00 26", "D0-26 ACKT                          PFIX:008  ID:2001"},
        {"D0 08 07 D1 00 00", "D0 -00  !!!Reserved for further extensions"},
        {"D4 08 07 D1 00 01", "D4-01 ACKI(queuing)                 PFIX:008  ID:2001"},
        {"D4 08 07 D1 00 02", "D4-02 ACKQ(0)(queuing)              PFIX:008  ID:2001"},
        {"D4 08 07 D1 00 05", "D4-05 ACKE(queuing)                 PFIX:008  ID:2001"},
        {"D4 08 07 D1 00 0A", "D4-0A ACKQ(1)(queuing)              PFIX:008  ID:2001"},
        {"D4 08 07 D1 00 26", "D4-26 ACKT   (queuing)              PFIX:008  ID:2001"},
        {"D4 08 07 D1 00 36", "D4-36 ACKT   (queuing)              PFIX:008  ID:2001"},
        {"D4 08 07 D1 00 03", "D4 -03 !!!Reserved for further extensions"},
        {"D5 08 07 D1 00 01", "D5-01 MAINT                         PFIX2:008 ID2:2001"},
        {"D5 08 07 D1 00 02", "D5-02 System busy                   PFIX2:008 ID2:2001"},
        {"D5 08 07 D1 00 0A", "D5-0A Local:Clear down timer warning(optional)  PFIX2:008 ID2:2001"},
        {"D5 08 07 D1 00 00", "D5 -00 !!!Reserved for further extensions"},
        {"E0 08 07 D1 00 03", "E0-03 ACKX(0):Invalid call          PFIX:008  ID:2001"},
        {"E0 08 07 D1 00 04", "E0-04 ACKV(0):Out of reach          PFIX:008  ID:2001"},
        {"E0 08 07 D1 00 06", "E0-06 ACKT   :Diverted              PFIX:008  ID:2001"},
        {"E0 08 07 D1 00 08", "E0-08 ACK(Transaction aborted)      PFIX:008  ID:2001"},
        {"E0 08 07 D1 00 0B", "E0-0B ACKX(1):Overloaded            PFIX:008  ID:2001"},
        {"E0 08 07 D1 00 0C", "E0-0C ACKV(1):Called unit engaged   PFIX:008  ID:2001"},
        {"E0 08 07 D1 00 0D", "E0-0D TSC does not support MST, transaction aborted."},
        {"E0 08 07 D1 00 0E", "E0-0E ACKT   :Diverted to an invalid address  PFIX:008  ID:2001"},
        {"E0 08 07 D1 00 16", "E0-16 ACKT   :Diverted to a group   PFIX:008  ID:2001"},
        {"E0 08 07 D1 00 05", "E0 !!!Reserved for further extensions:Cause 05 "},
        {"E4 08 07 D1 00 03", "E4-03 ACKX(0)(negative)             PFIX:008  ID:2001"},
        {"E4 08 07 D1 00 04", "E4-04 ACKV(0)(negative)             PFIX:008  ID:2001"},
        {"E4 08 07 D1 00 06", "E4-06 ACKT   (negative)             PFIX:008  ID:2001"},
        {"E4 08 07 D1 00 07", "E4-07 ACKB(negative)                PFIX:008  ID:2001"},
        {"E4 08 07 D1 00 08", "E4-08 ACK:Call set-up aborted       PFIX:008  ID:2001"},
        {"E4 08 07 D1 00 0B", "E4-0B ACKX(1)(negative)             PFIX:008  ID:2001"},
        {"E4 08 07 D1 00 0C", "E4-0C ACKV(1)(negative)             PFIX:008  ID:2001"},
        {"E4 08 07 D1 00 0E", "E4-0E ACKT   (negative)             PFIX:008  ID:2001"},
        {"E4 08 07 D1 00 16", "E4-16 ACKT   (negative)             PFIX:008  ID:2001"},
        {"E4 08 07 D1 00 00", "E4 -00 !!!Reserved for further extensions"},
        {"E5 08 07 D1 00 03", "E5-03 AHYX:Call set-up rejected     PFIX2:008  ID2:2001"},
        {"E5 08 07 D1 00 07",
         "E5-07 Local Radio has accepted the call for call-back  PFIX2:008  ID2:2001"},
        {"E5 08 07 D1 00 04", "E5 -04 !!!Reserved for further extensions"},
        {"E7 08 07 D1 00 03", "E7-03 Diversion ACKX(0)             PFIX:008  ID:2001"},
        {"E7 08 07 D1 00 04", "E7-04 Diversion ACKV                PFIX:008  ID:2001"},
        {"E7 08 07 D1 00 08", "E7-08 Diversion ACK(Transaction aborted)  PFIX:008  ID:2001"},
        {"E7 08 07 D1 00 0B", "E7-0B Diversion ACKX(1)             PFIX:008  ID:2001"},
        {"E7 08 07 D1 00 0C", "E7 -0C !!!Reserved for further extensions"},
    });
}

TEST(DecodeIncomingMessage, LabelsPutPfixInColumn37) {
    // Code and name fill 36 characters; a longer pair keeps exactly two blanks before "PFIX".
    const char* messages[] = {"80 08 07 D1 00 01", "86 08 07 D1 07",    "A6 08 07 D1 00",
                              "C0 08 07 D1 00 00", "C5 08 07 D1 00 00", "D4 08 07 D1 00 26",
                              "E4 08 07 D1 00 16", "E7 08 07 D1 00 03"};
    for (const char* hex : messages) EXPECT_EQ(Body(hex).find("PFIX"), 36U) << hex;
    const char* longLabels[] = {"A6 08 07 D1 05", "E0 08 07 D1 00 0E", "E7 08 07 D1 00 08",
                                "D5 08 07 D1 00 0A"};
    for (const char* hex : longLabels) {
        const std::string body = Body(hex);
        const std::size_t pfix = body.find("PFIX");
        ASSERT_GT(pfix, 36U) << hex;
        EXPECT_EQ(body.substr(pfix - 3, 3).find_first_not_of(' '), 0U) << hex;
        EXPECT_EQ(body.substr(pfix - 2, 2), "  ") << hex;
    }
}

TEST(DecodeIncomingMessage, PersonalityAnswerFillsTheDialog) {
    const DecodedMessage decoded =
        DecodeIncomingMessage(Hex("B0 08 07 D1 2A 35 86 A0 FE 00 00 86"));
    ASSERT_TRUE(decoded.personality.has_value());
    EXPECT_FALSE(decoded.settings.has_value());
    const PersonalityUpdate& p = *decoded.personality;
    EXPECT_EQ(p.pfix, "008");
    EXPECT_EQ(p.ident, "2001");
    EXPECT_EQ(p.manufacturerCode, "42");
    EXPECT_EQ(p.model, "3");
    EXPECT_EQ(p.serial, "100000");
    EXPECT_EQ(p.facilities, 0xFE);
    EXPECT_EQ(p.codings, 0x86);

    // Bits 3 and 2 of offset 5 change neither model nor serial; the top serial bits come from bits
    // 1-0.
    EXPECT_EQ(Body("B0 08 07 D1 2A 3D 86 A0 FE 00 00 86"),
              Body("B0 08 07 D1 2A 35 86 A0 FE 00 00 86"));
    const DecodedMessage most = DecodeIncomingMessage(Hex("B0 FF FF FF FF FF FF FF 01 02 03 04"));
    EXPECT_EQ(most.body,
              "Radio personality Response  PFIX:255  ID:65535  Manufacturer's code:255  Model:15  "
              "Serial:262143  "
              "Sa:01   Sb:02   Sc:03   CODINGS:04 ");
}

TEST(DecodeIncomingMessage, SettingsAnswerCarriesAllEightFacilityBits) {
    const DecodedMessage withCodings = DecodeIncomingMessage(Hex("B3 FD 00 00 84"));
    ASSERT_TRUE(withCodings.settings.has_value());
    EXPECT_FALSE(withCodings.personality.has_value());
    EXPECT_EQ(withCodings.settings->facilities, 0xFD);  // bit 0 reaches SDMCB like the others
    EXPECT_EQ(withCodings.settings->codings, std::optional<std::uint8_t>(0x84));

    const DecodedMessage without = DecodeIncomingMessage(Hex("B3 FC 00 00"));
    ASSERT_TRUE(without.settings.has_value());
    EXPECT_EQ(without.settings->facilities, 0xFC);
    EXPECT_FALSE(without.settings->codings.has_value());

    for (const char* other : {"B1 08 07 D1 00 01 07 D0 00 64 00 C8", "B2 01 1F 05",
                              "B5 01 2C 12 34", "80 08 07 D1 00 01"}) {
        const DecodedMessage d = DecodeIncomingMessage(Hex(other));
        EXPECT_FALSE(d.personality.has_value()) << other;
        EXPECT_FALSE(d.settings.has_value()) << other;
    }
}

TEST(DecodeIncomingMessage, NumberingLeftoverBytesAreNotShown) {
    const std::string whole = Body("B1 08 07 D1 00 01 07 D0 00 64 00 C8 08 00 65");
    EXPECT_EQ(Body("B1 08 07 D1 00 01 07 D0 00 64 00 C8 08 00 65 10"), whole);
    EXPECT_EQ(Body("B1 08 07 D1 00 01 07 D0 00 64 00 C8 08 00 65 10 03"), whole);
    EXPECT_EQ(whole.substr(whole.size() - 7), "8-101, ");
}

// Fields past the end of a short message show as "--" ("-- " for a hexadecimal byte).
TEST(DecodeIncomingMessage, ShortMessagesShowMissingFields) {
    ExpectBodies({
        {"", "-- !!! Empty message"},
        {"80", "80    Receive Status                PFIX:--  ID:--  Status:--"},
        {"80 08 07", "80    Receive Status                PFIX:008  ID:--  Status:--"},
        {"80 08 07 D1 00", "80    Receive Status                PFIX:008  ID:2001  Status:--"},
        {"81 08 07 D1 00", "81 !!!Not supported by Talvane27:Coding -- "},
        {"82", "82 !!!Not supported by Talvane27:Coding -- "},
        {"86 08 07 D1", "86 --- !!!Reserved for further extensions"},
        {"A6", "A6 --- !!!Reserved for further extensions"},
        {"A4 08 07 D1 00", "A4--- Incoming Voice Call           PFIX:008  ID:2001"},
        {"A4 08 07 D1 02 08", "A4--- Incoming Voice Call           PFIX:008  ID:2001"},
        {"A5 08 07 D1", "A5--- Incoming Emergency Voice Call   PFIX:008  ID:2001"},
        {"B4", "B4h Reserved"},
        {"C0 08 07 D1 00", "C0---  !!!Reserved for further extensions"},
        {"D0 08", "D0 ---  !!!Reserved for further extensions"},
        {"E0 08 07 D1 00", "E0 !!!Reserved for further extensions:Cause -- "},
        {"E7", "E7 --- !!!Reserved for further extensions"},
        {"B0 08 07 D1 2A 35 86",
         "Radio personality Response  PFIX:008  ID:2001  Manufacturer's code:42  Model:3  "
         "Serial:--  Sa:--   Sb:--   "
         "Sc:--   CODINGS:-- "},
        {"B1 08",
         "Numbering Information : Radio Unit = 8---  Individual number base IDENT = --  Highest "
         "individual IDENT = "
         "--  Group number base IDENT = --  Highest group IDENT = --  Radio unit group address = "},
        {"B2 01", "OPERATING CONDITION  Conditions:01  Field Strength:--  MCDT:-- "},
        {"B3 FC", "Radio Settings  Sa:FC   Sb:--   Sc:--   CODINGS:no field"},
        {"B3", "Radio Settings  Sa:--   Sb:--   Sc:--   CODINGS:no field"},
        {"B5 01 2C 12",
         "B5    Network Information : Radio channel number = 300, System identity code = --"},
    });
    // A cut personality answer leaves the dialog alone; a settings answer needs its Sa byte.
    EXPECT_FALSE(
        DecodeIncomingMessage(Hex("B0 08 07 D1 2A 35 86 A0 FE 00 00")).personality.has_value());
    EXPECT_FALSE(DecodeIncomingMessage(Hex("B3")).settings.has_value());
    const DecodedMessage saOnly = DecodeIncomingMessage(Hex("B3 FC"));
    ASSERT_TRUE(saOnly.settings.has_value());
    EXPECT_FALSE(saOnly.settings->codings.has_value());
}

// Every type at every short length, in buffers of exactly the message's size, so the sanitizer
// build catches any read past the end. Every body is one line.
TEST(DecodeIncomingMessage, NeverReadsPastTheEndAndStaysOnOneLine) {
    const Bytes pattern = {0x10, 0x08, 0x07, 0xD1, 0x0F, 0xB7, 0x0D,
                           0x0A, 0x7F, 0x00, 0xFF, 0x10, 0x03, 0x20};
    for (int type = 0; type < 256; ++type) {
        for (std::size_t n = 1; n <= pattern.size(); ++n) {
            std::vector<std::uint8_t> message(pattern.begin(),
                                              pattern.begin() + static_cast<std::ptrdiff_t>(n));
            message[0] = static_cast<std::uint8_t>(type);
            if (n > 5 && (type == 0x81 || type == 0x82)) {
                for (const std::uint8_t coding : Bytes{0xB7, 0xF7, 0x17, 0xA7, 0x87}) {
                    message[5] = coding;
                    const std::string body = DecodeIncomingMessage(message).body;
                    EXPECT_EQ(body.find_first_of("\r\n"), std::string::npos) << type << " " << n;
                }
                message[5] = 0xB7;
            }
            const std::string body = DecodeIncomingMessage(message).body;
            EXPECT_FALSE(body.empty());
            EXPECT_EQ(body.find_first_of("\r\n"), std::string::npos) << type << " " << n;
        }
    }
}

}  // namespace
}  // namespace map27
