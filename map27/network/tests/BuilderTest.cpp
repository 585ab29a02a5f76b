#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "map27/link/FrameCodec.h"
#include "map27/network/Codings.h"
#include "map27/network/Network.h"

namespace map27 {
namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr std::size_t kCapacity = 2048;  // (N1 + 1) x 16 with N1 = 127

SendRequest Request(int kind, const std::function<void(SendRequest&)>& edit = {}) {
    SendRequest r;
    r.sendKind = kind;
    if (edit) edit(r);
    return r;
}

struct Case {
    const char* name;
    SendRequest request;
    Bytes message;
    std::string log;
};

TEST(BuildMessage, EveryKindGivesItsBytesAndLogText) {
    const Case cases[] = {
        {"status call",
         Request(SendKind::StatusCall),
         {0x80, 0x08, 0x07, 0xD1, 0x00, 0x01},
         "80    Status Call                   PFIX:008  ID:2001  STATUS:01"},
        {"status texts as typed",
         Request(SendKind::StatusCall,
                 [](SendRequest& r) {
                     r.prefixText = "8";
                     r.identText = "$7D1";
                     r.statusText = "15";
                 }),
         {0x80, 0x08, 0x07, 0xD1, 0x00, 0x0F},
         "80    Status Call                   PFIX:8  ID:$7D1  STATUS:15"},
        {"PFIX 300 is 0x2C",
         Request(SendKind::StatusCall, [](SendRequest& r) { r.prefixText = "300"; }),
         {0x80, 0x2C, 0x07, 0xD1, 0x00, 0x01},
         "80    Status Call                   PFIX:300  ID:2001  STATUS:01"},
        {"setup voice, default options",
         Request(SendKind::SetupVoice),
         {0xA4, 0x08, 0x07, 0xD1, 0x00, 0x08},
         "A4-08 Setup Voice                   PFIX:008  ID:2001"},
        {"setup voice, every option",
         Request(SendKind::SetupVoice,
                 [](SendRequest& r) {
                     r.includeItem = 1;
                     r.individualItem = 1;
                     r.voiceItem = 1;
                     r.priorityItem = 0;
                 }),
         {0xA4, 0x08, 0x07, 0xD1, 0x00, 0x70},
         "A4-70 Setup Voice                   PFIX:008  ID:2001"},
        {"emergency takes only bits 5 and 4",
         Request(SendKind::EmergencySpeechCall,
                 [](SendRequest& r) {
                     r.includeItem = 1;
                     r.individualItem = 1;
                     r.voiceItem = 1;
                     r.priorityItem = 1;
                 }),
         {0xA5, 0x08, 0x07, 0xD1, 0x00, 0x30},
         "A5-30 Emergency Speech Call         PFIX:008  ID:2001"},
        {"emergency, default options",
         Request(SendKind::EmergencySpeechCall),
         {0xA5, 0x08, 0x07, 0xD1, 0x00, 0x00},
         "A5-00 Emergency Speech Call         PFIX:008  ID:2001"},
        {"disconnect",
         Request(SendKind::Disconnect),
         {0x86, 0x08, 0x07, 0xD1, 0x07},
         "86-07 DISCONNECT                    PFIX:008  ID:2001"},
        {"disconnect rqx, cancel message",
         Request(SendKind::DisconnectRqx, [](SendRequest& r) { r.causeItem = 0; }),
         {0xA6, 0x08, 0x07, 0xD1, 0x08},
         "A6-08 Disconnect RQX"},
        {"disconnect rqx, include",
         Request(SendKind::DisconnectRqx, [](SendRequest& r) { r.causeItem = 1; }),
         {0xA6, 0x08, 0x07, 0xD1, 0x09},
         "A6-09 Disconnect RQX"},
        {"disconnect rqx, diversion",
         Request(SendKind::DisconnectRqx, [](SendRequest& r) { r.causeItem = 2; }),
         {0xA6, 0x08, 0x07, 0xD1, 0x0A},
         "A6-0A Disconnect RQX"},
        {"disconnect rqx, data call",
         Request(SendKind::DisconnectRqx, [](SendRequest& r) { r.causeItem = 3; }),
         {0xA6, 0x08, 0x07, 0xD1, 0x0C},
         "A6-0C Disconnect RQX"},
        {"disconnect rqx, others CB7 CB0",
         Request(SendKind::DisconnectRqx,
                 [](SendRequest& r) {
                     r.causeItem = 4;
                     r.causeBits = 0x81;
                 }),
         {0xA6, 0x08, 0x07, 0xD1, 0x81},
         "A6-81 Disconnect RQX"},
        {"diversion request",
         Request(SendKind::DiversionRequest,
                 [](SendRequest& r) {
                     r.pfix1Text = "10";
                     r.id1Text = "300";
                     r.pfix2Text = "20";
                     r.id2Text = "4000";
                     r.drgItem = 1;   // "Third party"
                     r.cdrgItem = 2;  // "Data calls"
                 }),
         {0x87, 0x0A, 0x01, 0x2C, 0x00, 0x11, 0x14, 0x0F, 0xA0, 0x00},
         "Diversion Request"},
        {"diversion cancel",
         Request(SendKind::DiversionCancel,
                 [](SendRequest& r) {
                     r.pfix2Text = "20";
                     r.id2Text = "4000";
                     r.drgItem = 2;
                     r.cdrgItem = 3;
                 }),
         {0xA7, 0x14, 0x0F, 0xA0, 0x00, 0x1A},
         "Diversion Cancel"},
        {"interrogation 0",
         Request(SendKind::RadioInterrogation),
         {0xB0, 0x00},
         "      Radio Interrogation           Personality request"},
        {"interrogation 1",
         Request(SendKind::RadioInterrogation, [](SendRequest& r) { r.interrogationKind = 1; }),
         {0xB0, 0x01},
         "      Radio Interrogation           Numbering information"},
        {"interrogation 2",
         Request(SendKind::RadioInterrogation, [](SendRequest& r) { r.interrogationKind = 2; }),
         {0xB0, 0x02},
         "      Radio Interrogation           Status of radio settings"},
        {"interrogation 3",
         Request(SendKind::RadioInterrogation, [](SendRequest& r) { r.interrogationKind = 3; }),
         {0xB0, 0x03},
         "      Radio Interrogation           Operating condition"},
        {"interrogation 4",
         Request(SendKind::RadioInterrogation, [](SendRequest& r) { r.interrogationKind = 4; }),
         {0xB0, 0x04},
         "      Radio Interrogation           Network information"},
        {"radio control, defaults (hook off, transmit off)",
         Request(SendKind::RadioControl),
         {0xB2, 0x02},
         "Radio Control"},
        {"radio control, hook on",
         Request(SendKind::RadioControl, [](SendRequest& r) { r.hookItem = 0; }),
         {0xB2, 0x00},
         "Radio Control"},
        {"radio control, hook on, transmit on",
         Request(SendKind::RadioControl,
                 [](SendRequest& r) {
                     r.hookItem = 0;
                     r.transmitItem = 0;
                 }),
         {0xB2, 0x01},
         "Radio Control"},
        {"radio control, hook off, transmit on",
         Request(SendKind::RadioControl, [](SendRequest& r) { r.transmitItem = 0; }),
         {0xB2, 0x03},
         "Radio Control"},
        {"radio management",
         Request(SendKind::RadioManagement,
                 [](SendRequest& r) {
                     r.controlsBits = 0xFE;
                     r.codingsBits = 0x87;  // bit 0 never goes out
                 }),
         {0xB3, 0xFE, 0x00, 0x00, 0x86},
         "Radio Management : CONTROLSa = FE , CODINGS = 86 "},
        {"protocol info, none chosen",
         Request(SendKind::ProtocolInfo),
         {0xB4, 0x00},
         "Protocol Info"},
        {"protocol info, first reason",
         Request(SendKind::ProtocolInfo, [](SendRequest& r) { r.reasonItem = 0; }),
         {0xB4, 0x01},
         "Protocol Info"},
        {"protocol info, remote control",
         Request(SendKind::ProtocolInfo, [](SendRequest& r) { r.reasonItem = 5; }),
         {0xB4, 0x06},
         "Protocol Info"},
        {"protocol info, others all boxes",
         Request(SendKind::ProtocolInfo,
                 [](SendRequest& r) {
                     r.reasonItem = 6;
                     r.reasonBits = 0xFF;
                 }),
         {0xB4, 0xFF},
         "Protocol Info"},
        {"volume level 12, speech path",
         Request(SendKind::VolumeControl, [](SendRequest& r) { r.volumeCommand = 0xC3; }),
         {0xB6, 0x01, 0xC3},
         "Volume Control"},
        {"volume up, modem path",
         Request(SendKind::VolumeControl,
                 [](SendRequest& r) {
                     r.controlPointItem = 0;
                     r.volumeCommand = 0x01;
                 }),
         {0xB6, 0x04, 0x01},
         "Volume Control"},
        {"volume reset, alert tones",
         Request(SendKind::VolumeControl,
                 [](SendRequest& r) {
                     r.controlPointItem = 1;
                     r.volumeCommand = 0x05;
                 }),
         {0xB6, 0x02, 0x05},
         "Volume Control"},
        {"radio test ABC",
         Request(SendKind::RadioTest, [](SendRequest& r) { r.radioTestText = "ABC"; }),
         {0x01, 0xAB, 0xC0},
         "Radio Test"},
        {"radio test empty", Request(SendKind::RadioTest), {0x01}, "Radio Test"},
        {"dialled string",
         Request(SendKind::DialledString, [](SendRequest& r) { r.dialledText = "12 34 5"; }),
         {0xB7, 0x12, 0x34, 0x50},
         "Dialled String"},
        {"modem data",
         Request(SendKind::SendModemData, [](SendRequest& r) { r.modemDataText = "de ad"; }),
         {0xA3, 0xDE, 0xAD},
         "Send Modem Data"},
        {"data call",
         Request(SendKind::DataCall, [](SendRequest& r) { r.dataText = "Hi"; }),
         {0x81, 0x08, 0x07, 0xD1, 0x00, 0xB7, 0x48, 0x69},
         "Data Call  PFIX:008  ID:2001  DATA:Hi"},
        {"data call, empty",
         Request(SendKind::DataCall),
         {0x81, 0x08, 0x07, 0xD1, 0x00, 0xB7},
         "Data Call  PFIX:008  ID:2001  DATA:"},
        {"data call, line break",
         Request(SendKind::DataCall, [](SendRequest& r) { r.dataText = "A\nB"; }),
         {0x81, 0x08, 0x07, 0xD1, 0x00, 0xB7, 0x41, 0x0D, 0x0A, 0x42},
         "Data Call  PFIX:008  ID:2001  DATA:A␍␊B"},
        {"data call, 8-bit",
         Request(SendKind::DataCall,
                 [](SendRequest& r) {
                     r.dataText = "Grüße";
                     r.eightBitCoding = true;
                 }),
         {0x81, 0x08, 0x07, 0xD1, 0x00, 0xF7, 0x47, 0x72, 0x81, 0xE1, 0x65},
         "Data Call  PFIX:008  ID:2001  DATA:Grüße"},
    };
    for (const Case& c : cases) {
        const BuiltMessage built = BuildMessage(c.request, 0x05, kCapacity);
        EXPECT_EQ(built.message, c.message) << c.name << ": " << HexBytesBlank(built.message);
        EXPECT_EQ(built.logText, c.log) << c.name;
        EXPECT_EQ(built.header, (std::array<std::uint8_t, 4>{0x04, 0x05, 0x01, 0x00})) << c.name;
    }
}

TEST(BuildMessage, StatusCallFrameOnTheLine) {
    const BuiltMessage built = BuildMessage(Request(SendKind::StatusCall), 0x02, kCapacity);
    EXPECT_EQ(MakeDataFrame(built.header, built.message),
              (Bytes{0x16, 0x10, 0x02, 0x04, 0x02, 0x01, 0x00, 0x80, 0x08, 0x07, 0xD1, 0x00, 0x01,
                     0x10, 0x03, 0x50, 0x4B}));
}

TEST(BuildMessage, PfixAndInterrogationItemStartInOneColumn) {
    const int kinds[] = {SendKind::StatusCall, SendKind::SetupVoice, SendKind::EmergencySpeechCall,
                         SendKind::Disconnect};
    for (int kind : kinds)
        EXPECT_EQ(BuildMessage(Request(kind), 0, kCapacity).logText.find("PFIX:"), 36U) << kind;
    EXPECT_EQ(BuildMessage(Request(SendKind::RadioInterrogation), 0, kCapacity)
                  .logText.find("Personality"),
              36U);
}

TEST(BuildMessage, HeaderCarriesNsAndTheLowBitsOfAr) {
    EXPECT_EQ(BuildMessage(Request(SendKind::StatusCall, [](SendRequest& r) { r.arText = "0"; }),
                           0xFF, kCapacity)
                  .header,
              (std::array<std::uint8_t, 4>{0x04, 0xFF, 0x00, 0x00}));
    EXPECT_EQ(BuildMessage(Request(SendKind::StatusCall, [](SendRequest& r) { r.arText = "257"; }),
                           7, kCapacity)
                  .header,
              (std::array<std::uint8_t, 4>{0x04, 0x07, 0x01, 0x00}));
}

TEST(BuildMessage, DataCallTypeFollowsTheSstLimitOfTheCoding) {
    struct DataCase {
        std::string text;
        bool eightBit;
        int sstMstItem;
        std::uint8_t type;
    };
    const DataCase cases[] = {
        {std::string(25, 'x'), false, 0, 0x81},
        {std::string(26, 'x'), false, 0, 0x82},
        {std::string(24, 'x') + "\n", false, 0, 0x82},  // a line break counts 2
        {std::string(23, 'x') + "\n", false, 0, 0x81},
        {std::string(22, 'x'), true, 0, 0x81},
        {std::string(23, 'x'), true, 0, 0x82},
        {std::string(22, 'x'), true, 0, 0x81},
        {std::string(20, 'x') + "\r\n", true, 0, 0x81},
        {std::string(21, 'x') + "\r\n", true, 0, 0x82},
        {std::string(100, 'x'), false, 1, 0x81},       // "Only use SST"
        {"x", false, 2, 0x82},                         // "Only use MST"
        {std::string(11, 'x') + "é", false, 0, 0x81},  // one character, one byte
    };
    for (const DataCase& c : cases) {
        const BuiltMessage built = BuildMessage(Request(SendKind::DataCall,
                                                        [&c](SendRequest& r) {
                                                            r.dataText = c.text;
                                                            r.eightBitCoding = c.eightBit;
                                                            r.sstMstItem = c.sstMstItem;
                                                        }),
                                                0, kCapacity);
        EXPECT_EQ(built.message.at(0), c.type)
            << c.text.size() << (c.eightBit ? " 8-bit" : " 7-bit");
        EXPECT_EQ(built.message.at(5), c.eightBit ? 0xF7 : 0xB7);
    }
}

TEST(BuildMessage, TestFrameIsTheOperatorsHeaderAndPayload) {
    const SendRequest request =
        Request(SendKind::TestFrame, [](SendRequest& r) { r.data5Text = "F02548"; });
    const BuiltMessage built = BuildMessage(request, 0x09, kCapacity);
    EXPECT_EQ(built.header, (std::array<std::uint8_t, 4>{0x04, 0x01, 0x01, 0x00}));
    EXPECT_EQ(built.message, (Bytes{0xF0, 0x25, 0x48}));
    EXPECT_EQ(built.logText, "16 10 02 04 01 01 00 F0 25 48 10 03 90 0D ");
    EXPECT_TRUE(built.logIsFrameDump);

    // "Make LT message": N(S), AR and 0 in place of the typed fields; the type byte stays typed.
    SendRequest lt = request;
    lt.makeLtMessage = true;
    lt.data1Text = "4";
    lt.data2Text = "zz";
    const BuiltMessage ltBuilt = BuildMessage(lt, 0x10, kCapacity);
    EXPECT_EQ(ltBuilt.header, (std::array<std::uint8_t, 4>{0x04, 0x10, 0x01, 0x00}));
    // The dump is the line: the DLE of N(S) doubled.
    EXPECT_EQ(ltBuilt.logText.substr(0, 24), "16 10 02 04 10 10 01 00 ");

    SendRequest typed = request;
    typed.data1Text = "ff";
    typed.data2Text = "7F";
    typed.data3Text = "100";  // low 8 bits
    typed.data4Text = "10";
    typed.data5Text = "";
    const BuiltMessage typedBuilt = BuildMessage(typed, 0, kCapacity);
    EXPECT_EQ(typedBuilt.header, (std::array<std::uint8_t, 4>{0xFF, 0x7F, 0x00, 0x10}));
    EXPECT_TRUE(typedBuilt.message.empty());
    EXPECT_EQ(typedBuilt.logText.substr(0, 27), "16 10 02 FF 7F 00 10 10 10 ");

    SendRequest bad = request;
    bad.data3Text = "G1";
    try {
        BuildMessage(bad, 0, kCapacity);
        FAIL() << "built a test frame with a bad header field";
    } catch (const BuildError& e) {
        EXPECT_STREQ(e.what(), "'0xG1' is not a valid integer value");
    }
}

TEST(BuildMessage, RefusesWithAClearMessage) {
    struct Refusal {
        const char* name;
        SendRequest request;
        const char* messagePart;
    };
    const Refusal cases[] = {
        {"no cause", Request(SendKind::DisconnectRqx), "Select a cause"},
        {"unknown kind", Request(42), "Unknown message kind 42"},
        {"kind 0", Request(0), "Unknown message kind 0"},
        {"bad prefix", Request(SendKind::StatusCall, [](SendRequest& r) { r.prefixText = "x8"; }),
         "'x8' is not a valid integer value"},
        {"bad ident", Request(SendKind::SetupVoice, [](SendRequest& r) { r.identText = ""; }),
         "'' is not a valid integer value"},
        {"bad status", Request(SendKind::StatusCall, [](SendRequest& r) { r.statusText = "1a"; }),
         "'1a' is not a valid integer value"},
        {"bad AR", Request(SendKind::RadioControl, [](SendRequest& r) { r.arText = "one"; }),
         "'one' is not a valid integer value"},
        {"bad diversion address",
         Request(SendKind::DiversionRequest, [](SendRequest& r) { r.id2Text = "-"; }),
         "'-' is not a valid integer value"},
        {"character without a byte",
         Request(SendKind::DataCall, [](SendRequest& r) { r.dataText = "5 €"; }), "U+20AC"},
        {"over-long radio test",
         Request(SendKind::RadioTest,
                 [](SendRequest& r) { r.radioTestText = std::string(4096, 'A'); }),
         "at most 2048 bytes"},
        {"interrogation 5",
         Request(SendKind::RadioInterrogation, [](SendRequest& r) { r.interrogationKind = 5; }),
         "request 5"},
    };
    for (const Refusal& c : cases) {
        try {
            BuildMessage(c.request, 0, kCapacity);
            ADD_FAILURE() << c.name << ": built";
        } catch (const BuildError& e) {
            EXPECT_NE(std::string(e.what()).find(c.messagePart), std::string::npos)
                << c.name << ": " << e.what();
        }
    }
}

TEST(BuildMessage, CapacityCountsTheWholeMessage) {
    // 1 type byte + 2047 payload bytes fit 2048; one more does not.
    SendRequest r = Request(SendKind::SendModemData,
                            [](SendRequest& q) { q.modemDataText = std::string(2 * 2047, '1'); });
    EXPECT_EQ(BuildMessage(r, 0, 2048).message.size(), 2048U);
    r.modemDataText += "11";
    EXPECT_THROW(BuildMessage(r, 0, 2048), BuildError);
    EXPECT_THROW(BuildMessage(Request(SendKind::StatusCall), 0, 5), BuildError);
    EXPECT_NO_THROW(BuildMessage(Request(SendKind::StatusCall), 0, 6));
    SendRequest frame =
        Request(SendKind::TestFrame, [](SendRequest& q) { q.data5Text = std::string(34, '0'); });
    EXPECT_THROW(BuildMessage(frame, 0, 16), BuildError);
}

TEST(MakeMessageBuilder, RepeatsBuildFromItsOwnCopy) {
    SendRequest request = Request(SendKind::DataCall, [](SendRequest& r) { r.dataText = "Hello"; });
    const auto builder = MakeMessageBuilder(request);
    request.dataText.clear();  // the window empties its DATA text after the send
    const BuiltMessage first = builder->Build(3, kCapacity);
    const BuiltMessage repeat = builder->Build(3, kCapacity);
    EXPECT_EQ(first.message, (Bytes{0x81, 0x08, 0x07, 0xD1, 0x00, 0xB7, 'H', 'e', 'l', 'l', 'o'}));
    EXPECT_EQ(repeat.message, first.message);
    EXPECT_EQ(repeat.logText, first.logText);
    EXPECT_EQ(first.header[1], 3);

    const auto refusing = MakeMessageBuilder(Request(SendKind::DisconnectRqx));
    EXPECT_THROW(refusing->Build(0, kCapacity), BuildError);
}

// A capture holds only the bytes: reading the TX line back from them gives the line the log showed
// whenever the windows held their default address and status texts.
TEST(SentMessageLogText, ReadsBackTheLogTextOfEveryKindFromItsBytes) {
    using Edit = std::function<void(SendRequest&)>;
    const std::vector<std::pair<int, Edit>> requests = {
        {SendKind::StatusCall, {}},
        {SendKind::StatusCall, [](SendRequest& r) { r.statusText = "15"; }},
        {SendKind::SetupVoice, [](SendRequest& r) { r.includeItem = 1; }},
        {SendKind::EmergencySpeechCall, {}},
        {SendKind::Disconnect, [](SendRequest& r) { r.identText = "12345"; }},
        {SendKind::DisconnectRqx,
         [](SendRequest& r) {
             r.causeItem = 4;
             r.causeBits = 0x81;
         }},
        {SendKind::DataCall, [](SendRequest& r) { r.dataText = "Hello\nWorld\t!"; }},
        {SendKind::DataCall,
         [](SendRequest& r) {
             r.dataText = "\u00C4rger \u00FCber 30 Zeichen, also eine MST";
             r.eightBitCoding = true;
         }},
        {SendKind::DataCall, {}},
        {SendKind::RadioInterrogation, [](SendRequest& r) { r.interrogationKind = 4; }},
        {SendKind::RadioManagement,
         [](SendRequest& r) {
             r.controlsBits = 0xA5;
             r.codingsBits = 0x86;
         }},
        {SendKind::RadioControl, {}},
        {SendKind::ProtocolInfo, {}},
        {SendKind::VolumeControl, [](SendRequest& r) { r.volumeCommand = 0xC3; }},
        {SendKind::DialledString, [](SendRequest& r) { r.dialledText = "12"; }},
        {SendKind::SendModemData, [](SendRequest& r) { r.modemDataText = "AB"; }},
        {SendKind::RadioTest, {}},
        {SendKind::DiversionRequest, {}},
        {SendKind::DiversionCancel, {}},
    };
    for (const auto& [kind, edit] : requests) {
        const BuiltMessage built = BuildMessage(Request(kind, edit), 1, kCapacity);
        EXPECT_EQ(SentMessageLogText(built.message).value_or("(none)"), built.logText)
            << HexBytesBlank(built.message);
    }
    // Nothing the terminal builds, or cut short: no text rather than a wrong one.
    for (const Bytes& message :
         {Bytes{}, Bytes{0x80, 0x08}, Bytes{0xB0, 0x05}, Bytes{0x86, 0x08, 0x07, 0xD1, 0x08},
          Bytes{0x81, 0x08, 0x07, 0xD1, 0x00, 0x87, 0x12}, Bytes{0xC0}})
        EXPECT_FALSE(SentMessageLogText(message)) << HexBytesBlank(message);
}

}  // namespace
}  // namespace map27
