// Builds the message of a send request, with the text of its "TX : " log line.
#include <array>
#include <optional>
#include <span>
#include <string>

#include "map27/link/FrameCodec.h"
#include "map27/network/Codings.h"
#include "map27/network/Cp437.h"
#include "map27/network/Network.h"

namespace map27 {

namespace {

// Code column and name together fill 36 characters, so "PFIX:" lines up in every TX line.
constexpr const char* kSetupVoiceLabel = "Setup Voice                   PFIX:";
constexpr const char* kEmergencyLabel = "Emergency Speech Call         PFIX:";
constexpr const char* kStatusCallLabel = "80    Status Call                   PFIX:";
constexpr const char* kDisconnectLabel = "86-07 DISCONNECT                    PFIX:";
constexpr const char* kInterrogationLabel = "      Radio Interrogation           ";
constexpr std::array<const char*, 5> kInterrogationItems = {
    "Personality request", "Numbering information", "Status of radio settings",
    "Operating condition", "Network information"};

constexpr std::uint8_t kSevenBitCoding = 0xB7;
constexpr std::uint8_t kEightBitCoding = 0xF7;
// Characters an SST carries: 4 codewords of 7-bit ASCII hold 25, of 8-bit PC characters 22.
constexpr std::size_t kSstCharactersSevenBit = 25;
constexpr std::size_t kSstCharactersEightBit = 22;

using Bytes = std::vector<std::uint8_t>;

void AppendAddress(Bytes& message, const std::string& pfixText, const std::string& identText) {
    const PackedAddress address = PackAddress(pfixText, identText);
    message.push_back(address.pfix);
    message.push_back(address.identHigh);
    message.push_back(address.identLow);
}

std::uint8_t LowByte(std::int32_t value) {
    return static_cast<std::uint8_t>(static_cast<std::uint32_t>(value) & 0xFFU);
}

std::string AddressLogText(const SendRequest& r) {
    return VisibleLogText(r.prefixText) + "  ID:" + VisibleLogText(r.identText);
}

// Bit set when the second item of its group is chosen; Non-priority is the group's default.
std::uint8_t CallOptions(const SendRequest& r) {
    std::uint8_t options = 0;
    if (r.includeItem == 1) options |= 0x40;
    if (r.individualItem == 1) options |= 0x20;
    if (r.voiceItem == 1) options |= 0x10;
    if (r.priorityItem == 1) options |= 0x08;
    return options;
}

std::uint8_t DiversionByte(const SendRequest& r) {
    const int drg = r.drgItem < 0 ? 0 : r.drgItem & 0x03;
    const int cdrg = r.cdrgItem < 0 ? 0 : r.cdrgItem & 0x03;
    return static_cast<std::uint8_t>(drg + 8 * cdrg);
}

std::uint8_t DisconnectCause(const SendRequest& r) {
    static constexpr std::array<std::uint8_t, 4> kCauses = {0x08, 0x09, 0x0A, 0x0C};
    if (r.causeItem >= 0 && r.causeItem < 4) return kCauses[static_cast<std::size_t>(r.causeItem)];
    if (r.causeItem == 4) return r.causeBits;
    throw BuildError("Select a cause before sending Disconnect RQX. Nothing was sent.");
}

std::uint8_t ProtocolInfoReason(const SendRequest& r) {
    if (r.reasonItem >= 0 && r.reasonItem < 6) return static_cast<std::uint8_t>(r.reasonItem + 1);
    if (r.reasonItem == 6) return r.reasonBits;
    if (r.reasonItem == -1) return 0x00;  // never chosen: sent as "reserved"
    throw BuildError("Unknown Protocol Info reason " + std::to_string(r.reasonItem) +
                     ". Nothing was sent.");
}

std::uint8_t RadioControlByte(const SendRequest& r) {
    std::uint8_t control = 0;
    if (r.transmitItem == 0) control |= 0x01;  // transmit "On"
    if (r.hookItem == 1) control |= 0x02;      // hook "Off": off-hook
    return control;
}

std::uint8_t VolumeControlPoint(const SendRequest& r) {
    static constexpr std::array<std::uint8_t, 3> kPoints = {0x04, 0x02, 0x01};
    if (r.controlPointItem >= 0 && r.controlPointItem < 3)
        return kPoints[static_cast<std::size_t>(r.controlPointItem)];
    throw BuildError("Unknown volume control point " + std::to_string(r.controlPointItem) +
                     ". Nothing was sent.");
}

std::uint8_t TestHeaderByte(const std::string& text) {
    return LowByte(StrToInt("0x" + text));
}

void BuildDataCall(const SendRequest& r, BuiltMessage& built) {
    const Bytes data = DataTextToBytes(r.dataText);
    const std::size_t sstLimit = r.eightBitCoding ? kSstCharactersEightBit : kSstCharactersSevenBit;
    std::uint8_t type = data.size() <= sstLimit ? 0x81 : 0x82;
    if (r.sstMstItem == 1) type = 0x81;
    if (r.sstMstItem == 2) type = 0x82;

    Bytes& m = built.message;
    m.push_back(type);
    AppendAddress(m, r.prefixText, r.identText);
    m.push_back(0x00);
    m.push_back(r.eightBitCoding ? kEightBitCoding : kSevenBitCoding);
    m.insert(m.end(), data.begin(), data.end());
    built.logText = "Data Call  PFIX:" + AddressLogText(r) + "  DATA:" + VisibleLogText(r.dataText);
}

void BuildTestFrame(const SendRequest& r, std::uint8_t ns, std::uint8_t ar, BuiltMessage& built) {
    built.header[0] = TestHeaderByte(r.data1Text);
    if (r.makeLtMessage) {
        built.header[1] = ns;
        built.header[2] = ar;
        built.header[3] = 0x00;
    } else {
        built.header[1] = TestHeaderByte(r.data2Text);
        built.header[2] = TestHeaderByte(r.data3Text);
        built.header[3] = TestHeaderByte(r.data4Text);
    }
    built.message = PackHexText(r.data5Text);
}

void BuildBody(const SendRequest& r, std::uint8_t ns, std::uint8_t ar, BuiltMessage& built) {
    Bytes& m = built.message;
    switch (r.sendKind) {
        case SendKind::RadioTest:
            m = PackHexText(r.radioTestText);
            m.insert(m.begin(), 0x01);
            built.logText = "Radio Test";
            return;
        case SendKind::DiversionRequest:
            m.push_back(0x87);
            AppendAddress(m, r.pfix1Text, r.id1Text);
            m.push_back(0x00);
            m.push_back(DiversionByte(r));
            AppendAddress(m, r.pfix2Text, r.id2Text);
            m.push_back(0x00);
            built.logText = "Diversion Request";
            return;
        case SendKind::SendModemData:
            m = PackHexText(r.modemDataText);
            m.insert(m.begin(), 0xA3);
            built.logText = "Send Modem Data";
            return;
        case SendKind::SetupVoice:
        case SendKind::EmergencySpeechCall: {
            const bool emergency = r.sendKind == SendKind::EmergencySpeechCall;
            // An emergency call takes only "group call" and "modem call" from the options.
            const std::uint8_t options = emergency ? CallOptions(r) & 0x30 : CallOptions(r);
            m.push_back(emergency ? 0xA5 : 0xA4);
            AppendAddress(m, r.prefixText, r.identText);
            m.push_back(0x00);
            m.push_back(options);
            built.logText = (emergency ? "A5-" : "A4-") + HexByteBlank(options) +
                            (emergency ? kEmergencyLabel : kSetupVoiceLabel) + AddressLogText(r);
            return;
        }
        case SendKind::DisconnectRqx: {
            const std::uint8_t cause = DisconnectCause(r);
            m.push_back(0xA6);
            AppendAddress(m, r.prefixText, r.identText);
            m.push_back(cause);
            built.logText = "A6-" + HexByteBlank(cause) + "Disconnect RQX";
            return;
        }
        case SendKind::DiversionCancel:
            m.push_back(0xA7);
            AppendAddress(m, r.pfix2Text, r.id2Text);
            m.push_back(0x00);
            m.push_back(DiversionByte(r));
            built.logText = "Diversion Cancel";
            return;
        case SendKind::RadioInterrogation:
            if (r.interrogationKind >= kInterrogationItems.size()) {
                throw BuildError("Unknown radio interrogation request " +
                                 std::to_string(r.interrogationKind) + ". Nothing was sent.");
            }
            m = {0xB0, static_cast<std::uint8_t>(r.interrogationKind & 0xFFU)};
            built.logText =
                std::string(kInterrogationLabel) + kInterrogationItems[r.interrogationKind];
            return;
        case SendKind::RadioControl:
            m = {0xB2, RadioControlByte(r)};
            built.logText = "Radio Control";
            return;
        case SendKind::RadioManagement: {
            const auto codings = static_cast<std::uint8_t>(r.codingsBits & 0xFEU);
            m = {0xB3, r.controlsBits, 0x00, 0x00, codings};
            built.logText = "Radio Management : CONTROLSa = " + HexByteBlank(r.controlsBits) +
                            ", CODINGS = " + HexByteBlank(codings);
            return;
        }
        case SendKind::ProtocolInfo:
            m = {0xB4, ProtocolInfoReason(r)};
            built.logText = "Protocol Info";
            return;
        case SendKind::VolumeControl:
            m = {0xB6, VolumeControlPoint(r), r.volumeCommand};
            built.logText = "Volume Control";
            return;
        case SendKind::DialledString:
            m = PackHexText(r.dialledText);
            m.insert(m.begin(), 0xB7);
            built.logText = "Dialled String";
            return;
        case SendKind::DataCall:
            BuildDataCall(r, built);
            return;
        case SendKind::StatusCall: {
            const std::uint8_t status = LowByte(StrToInt(r.statusText));
            m.push_back(0x80);
            AppendAddress(m, r.prefixText, r.identText);
            m.push_back(0x00);
            m.push_back(status);
            built.logText =
                kStatusCallLabel + AddressLogText(r) + "  STATUS:" + VisibleLogText(r.statusText);
            return;
        }
        case SendKind::Disconnect:
            m.push_back(0x86);
            AppendAddress(m, r.prefixText, r.identText);
            m.push_back(0x07);
            built.logText = kDisconnectLabel + AddressLogText(r);
            return;
        case SendKind::TestFrame:
            BuildTestFrame(r, ns, ar, built);
            return;
        default:
            throw BuildError("Unknown message kind " + std::to_string(r.sendKind) +
                             ". Nothing was sent.");
    }
}

class RequestBuilder final : public IMessageBuilder {
public:
    explicit RequestBuilder(SendRequest request) : request_(std::move(request)) {}
    BuiltMessage Build(std::uint8_t ns, std::size_t capacity) const override {
        return BuildMessage(request_, ns, capacity);
    }

private:
    const SendRequest request_;
};

}  // namespace

BuiltMessage BuildMessage(const SendRequest& request, std::uint8_t ns, std::size_t capacity) {
    const std::uint8_t ar = LowByte(StrToInt(request.arText));
    BuiltMessage built;
    built.header = {0x04, ns, ar, 0x00};
    BuildBody(request, ns, ar, built);
    if (built.message.size() > capacity) {
        throw BuildError("The message is " + std::to_string(built.message.size()) +
                         " bytes long, but a data frame carries at most " +
                         std::to_string(capacity) + " bytes. Nothing was sent.");
    }
    if (request.sendKind == SendKind::TestFrame) {
        // The dump shows the frame as it goes on the line; the engine logs the bytes it actually
        // wrote, so the CRC-error test option's spoiled FCS shows too.
        built.logText = HexBytesBlank(MakeDataFrame(built.header, built.message));
        built.logIsFrameDump = true;
    }
    return built;
}

namespace {

// The address of a sent message as the main window shows it by default ("008", "2001").
std::string SentAddressText(std::span<const std::uint8_t> m) {
    return PfixText(m[1]) + "  ID:" + IdentText(static_cast<std::uint16_t>(m[2] << 8 | m[3]));
}

// The STATUS box holds two digits ("01").
std::string SentStatusText(std::uint8_t status) {
    return status < 10 ? "0" + std::to_string(status) : std::to_string(status);
}

}  // namespace

std::optional<std::string> SentMessageLogText(std::span<const std::uint8_t> m) {
    if (m.empty()) return std::nullopt;
    const std::size_t n = m.size();
    switch (m[0]) {
        case 0x01:
            return "Radio Test";
        case 0x87:
            return "Diversion Request";
        case 0xA3:
            return "Send Modem Data";
        case 0xA7:
            return "Diversion Cancel";
        case 0xB2:
            return "Radio Control";
        case 0xB4:
            return "Protocol Info";
        case 0xB6:
            return "Volume Control";
        case 0xB7:
            return "Dialled String";
        case 0xA4:
        case 0xA5:
            if (n != 6) return std::nullopt;
            return (m[0] == 0xA5 ? "A5-" : "A4-") + HexByteBlank(m[5]) +
                   (m[0] == 0xA5 ? kEmergencyLabel : kSetupVoiceLabel) + SentAddressText(m);
        case 0xA6:
            if (n != 5) return std::nullopt;
            return "A6-" + HexByteBlank(m[4]) + "Disconnect RQX";
        case 0x80:
            if (n != 6) return std::nullopt;
            return kStatusCallLabel + SentAddressText(m) + "  STATUS:" + SentStatusText(m[5]);
        case 0x86:
            if (n != 5 || m[4] != 0x07) return std::nullopt;
            return kDisconnectLabel + SentAddressText(m);
        case 0x81:
        case 0x82:
            // Only the two text codings come from the DATA box.
            if (n < 6 || (m[5] != kSevenBitCoding && m[5] != kEightBitCoding)) return std::nullopt;
            return "Data Call  PFIX:" + SentAddressText(m) +
                   "  DATA:" + ReceivedTextToUtf8(m.subspan(6), false);
        case 0xB0:
            if (n != 2 || m[1] >= kInterrogationItems.size()) return std::nullopt;
            return std::string(kInterrogationLabel) + kInterrogationItems[m[1]];
        case 0xB3:
            if (n != 5) return std::nullopt;
            return "Radio Management : CONTROLSa = " + HexByteBlank(m[1]) +
                   ", CODINGS = " + HexByteBlank(m[4]);
        default:
            return std::nullopt;
    }
}

std::shared_ptr<const IMessageBuilder> MakeMessageBuilder(SendRequest request) {
    return std::make_shared<const RequestBuilder>(std::move(request));
}

}  // namespace map27
