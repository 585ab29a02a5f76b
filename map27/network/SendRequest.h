#pragma once
// The send request: everything the operator composed for one message, read from the windows on the
// UI thread when the send is asked for. A T1 repeat builds from the same record, so it repeats
// exactly what was sent first.
#include <cstdint>
#include <string>

namespace map27 {

// Which message the next send builds. Where a message has a type byte, the code equals it.
namespace SendKind {
inline constexpr int RadioTest = 1;
inline constexpr int DiversionRequest = 135;
inline constexpr int SendModemData = 163;
inline constexpr int SetupVoice = 164;
inline constexpr int EmergencySpeechCall = 165;
inline constexpr int DisconnectRqx = 166;
inline constexpr int DiversionCancel = 167;
inline constexpr int RadioInterrogation = 176;
inline constexpr int RadioControl = 178;
inline constexpr int RadioManagement = 179;
inline constexpr int ProtocolInfo = 180;
inline constexpr int VolumeControl = 182;
inline constexpr int DialledString = 183;
inline constexpr int DataCall = 259;
inline constexpr int StatusCall = 260;
inline constexpr int Disconnect = 261;
inline constexpr int TestFrame = 999;
}  // namespace SendKind

// Texts are UTF-8 as the windows hold them; item numbers count from 0, -1 for "none chosen".
struct SendRequest {
    int sendKind = 0;
    std::uint16_t interrogationKind = 0;  // 0..4
    std::uint8_t volumeCommand = 0;

    // Main window.
    std::string prefixText = "008";
    std::string identText = "2001";
    std::string statusText = "01";
    std::string dataText;  // line breaks as '\n'
    bool eightBitCoding = false;  // CODING "8 bit PC character"

    // Parameters window.
    std::string arText = "1";
    int sstMstItem = 0;  // 0 "Auto select", 1 "Only use SST", 2 "Only use MST"

    // Voice/Modem Call Option window.
    int individualItem = 0;  // IndividualRG
    int voiceItem = 0;       // VoiceRG
    int includeItem = 0;     // IncludeRG
    int priorityItem = 1;    // PriorityRG

    // Disconnect RQX window.
    int causeItem = -1;           // ComboBoxCause, 4 = "Others"
    std::uint8_t causeBits = 0;   // CB7..CB0

    // Protocol Info window.
    int reasonItem = -1;          // ComboBoxReason, 6 = "Others"
    std::uint8_t reasonBits = 0;  // CB7..CB0

    // Diversion Request/Cancel window.
    std::string pfix1Text = "008";
    std::string id1Text = "2001";
    std::string pfix2Text = "008";
    std::string id2Text = "2001";
    int drgItem = 0;
    int cdrgItem = 0;

    // Radio Control window.
    int hookItem = 1;      // 0 "On", 1 "Off"
    int transmitItem = 1;  // 0 "On", 1 "Off"

    // Volume window.
    int controlPointItem = 2;  // 0 "Modem audio path", 1 "Alert tones", 2 "Normal speech audio path"

    // Radio Personality and Management window: the checked boxes as bit maps.
    std::uint8_t controlsBits = 0;  // VoiceCB (0x80) .. SDMCB (0x01)
    std::uint8_t codingsBits = 0;   // BCDasACB (0x80) .. EightCB (0x02); bit 0 always 0

    // Hexadecimal text windows.
    std::string radioTestText;
    std::string dialledText;
    std::string modemDataText;

    // Test window.
    std::string data1Text = "04";
    std::string data2Text = "01";
    std::string data3Text = "01";
    std::string data4Text = "00";
    std::string data5Text;
    bool makeLtMessage = false;
};

}  // namespace map27
