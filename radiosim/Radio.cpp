#include "radiosim/Radio.h"

#include <cstdio>

#include "text/HexFormat.h"

namespace radiosim {

namespace {

std::uint8_t Hi(std::uint16_t v) {
    return static_cast<std::uint8_t>(v >> 8);
}
std::uint8_t Lo(std::uint16_t v) {
    return static_cast<std::uint8_t>(v & 0xFF);
}

// The type, the address of offsets 1..3 as they came, and the cause at offset 5 (no ADESC).
Bytes Acknowledgement(std::uint8_t type, std::span<const std::uint8_t> message,
                      std::uint8_t cause) {
    Bytes ack{type, 0, 0, 0, 0x00, cause};
    for (std::size_t i = 1; i <= 3 && i < message.size(); ++i) ack[i] = message[i];
    return ack;
}

Bytes ProtocolInfo(std::uint8_t reason) {
    return {0xB4, reason};
}

std::string Address(std::span<const std::uint8_t> m) {
    if (m.size() < 4) return "(no address)";
    char text[32];
    std::snprintf(text, sizeof text, "%03u/%04u", m[1], static_cast<unsigned>(m[2] * 256 + m[3]));
    return text;
}

std::string Printable(std::span<const std::uint8_t> data) {
    std::string text;
    for (std::uint8_t b : data) {
        if (b >= 0x20 && b < 0x7F) {
            text += static_cast<char>(b);
        } else {
            text += "\\x" + text::HexByte(b);
        }
    }
    return text;
}

std::string CodingName(std::uint8_t coding) {
    switch (coding) {
        case 0xB7:
            return "7-bit";
        case 0xF7:
            return "8-bit";
        case 0x17:
            return "BCD";
        case 0xA7:
            return "Telex";
        case 0x87:
            return "Binary";
        default:
            return "coding " + text::HexByte(coding);
    }
}

}  // namespace

Bytes Radio::PersonalityAnswer() const {
    const auto model =
        static_cast<std::uint8_t>(((p_.model & 0x0F) << 4) | ((p_.serial >> 16) & 0x03));
    return {0xB0,
            p_.pfix,
            Hi(p_.ident),
            Lo(p_.ident),
            p_.manufacturerCode,
            model,
            static_cast<std::uint8_t>((p_.serial >> 8) & 0xFF),
            static_cast<std::uint8_t>(p_.serial & 0xFF),
            p_.sa,
            p_.sb,
            p_.sc,
            p_.codings};
}

Bytes Radio::NumberingAnswer() const {
    Bytes m{0xB1,
            p_.pfix,
            Hi(p_.ident),
            Lo(p_.ident),
            static_cast<std::uint8_t>(Hi(p_.individualBase) & 0x7F),
            Lo(p_.individualBase),
            Hi(p_.highestIndividual),
            Lo(p_.highestIndividual),
            static_cast<std::uint8_t>(Hi(p_.groupBase) & 0x7F),
            Lo(p_.groupBase),
            Hi(p_.highestGroup),
            Lo(p_.highestGroup)};
    for (const GroupAddress& g : p_.groups) {
        m.push_back(g.pfix);
        m.push_back(Hi(g.ident));
        m.push_back(Lo(g.ident));
    }
    return m;
}

Bytes Radio::SettingsAnswer() const {
    return {0xB3, p_.settingsSa, p_.settingsSb, p_.settingsSc, p_.settingsCodings};
}

Bytes Radio::OperatingConditionAnswer() const {
    return {0xB2, p_.conditions, p_.fieldStrength, p_.mcdt};
}

Bytes Radio::NetworkAnswer() const {
    return {0xB5, static_cast<std::uint8_t>(Hi(p_.channel) & 0x03), Lo(p_.channel),
            static_cast<std::uint8_t>(Hi(p_.systemCode) & 0x7F), Lo(p_.systemCode)};
}

std::vector<Bytes> Radio::Answer(std::span<const std::uint8_t> m) {
    if (m.empty()) return {ProtocolInfo(0x01)};
    const bool addressed = m.size() >= 4;
    switch (m[0]) {
        case 0x80:  // send status
            if (m.size() < 6) return {ProtocolInfo(0x01)};
            return {Acknowledgement(0xC0, m, 0x00)};
        case 0x81:    // send SST
        case 0x82: {  // send MST
            if (m.size() < 6) return {ProtocolInfo(0x01)};
            std::vector<Bytes> out{Acknowledgement(0xC0, m, 0x00)};
            if (echo_) out.emplace_back(m.begin(), m.end());
            return out;
        }
        case 0xA4:  // set-up voice or modem call
        case 0xA5:  // emergency call
            if (!addressed) return {ProtocolInfo(0x01)};
            // The called unit alerts, then answers.
            return {Acknowledgement(0xD4, m, 0x01), Acknowledgement(0xC4, m, 0x00)};
        case 0x86:  // disconnect: the call is cleared, normal end
            if (!addressed) return {ProtocolInfo(0x01)};
            return {Bytes{0x86, m[1], m[2], m[3], 0x07}};
        case 0xA6:  // disconnect, cancel attempt: the transaction is aborted
            if (!addressed) return {ProtocolInfo(0x01)};
            return {Acknowledgement(0xE0, m, 0x08)};
        case 0x87:  // diversion request
        case 0xA7:  // diversion cancel
            if (!addressed) return {ProtocolInfo(0x01)};
            return {Acknowledgement(0xC7, m, 0x00)};
        case 0xB0:  // radio interrogation
            if (m.size() < 2) return {ProtocolInfo(0x01)};
            switch (m[1]) {
                case 0:
                    return {PersonalityAnswer()};
                case 1:
                    return {NumberingAnswer()};
                case 2:
                    return {SettingsAnswer()};
                case 3:
                    return {OperatingConditionAnswer()};
                case 4:
                    return {NetworkAnswer()};
                default:
                    return {ProtocolInfo(0x02)};
            }
        case 0xB2:  // radio control: hook (bit 1) and transmit (bit 0)
            if (m.size() < 2) return {ProtocolInfo(0x01)};
            p_.conditions = static_cast<std::uint8_t>((p_.conditions & ~0x03U) | (m[1] & 0x03U));
            return {OperatingConditionAnswer()};
        case 0xB3:  // radio management: the settings are taken and confirmed
            if (m.size() < 2) return {ProtocolInfo(0x01)};
            p_.settingsSa = m[1];
            if (m.size() > 2) p_.settingsSb = m[2];
            if (m.size() > 3) p_.settingsSc = m[3];
            if (m.size() > 4) p_.settingsCodings = m[4];
            return {SettingsAnswer()};
        case 0xB4:  // protocol info: nothing to answer
        case 0xB6:  // volume control
        case 0xB7:  // dialled string
        case 0xA3:  // modem data goes out over the air
            return {};
        case 0x01:  // radio test: the result carries the test bytes back
            return {Bytes(m.begin(), m.end())};
        default:
            return {ProtocolInfo(0x01)};
    }
}

std::string DescribeTerminalMessage(std::span<const std::uint8_t> m) {
    if (m.empty()) return "empty message";
    char text[96];
    switch (m[0]) {
        case 0x80:
            std::snprintf(text, sizeof text, "Send Status to %s status %u", Address(m).c_str(),
                          m.size() > 5 ? m[5] : 0U);
            return m.size() > 5 ? text : "Send Status (short)";
        case 0x81:
        case 0x82: {
            std::string d = m[0] == 0x81 ? "Send SST to " : "Send MST to ";
            d += Address(m);
            if (m.size() < 6) return d + " (short)";
            const auto data = m.subspan(6);
            d += " " + CodingName(m[5]) + " (" + std::to_string(data.size()) + " bytes): ";
            if (m[5] == 0xB7 || m[5] == 0xF7)
                d += "\"" + Printable(data) + "\"";
            else
                d += text::HexBytesSpaced(data);
            return d;
        }
        case 0xA4:
        case 0xA5:
            return std::string(m[0] == 0xA4 ? "Setup Voice" : "Emergency Call") + " to " +
                   Address(m) + " options " + text::HexByte(m.size() > 5 ? m[5] : std::uint8_t{0});
        case 0x86:
            return "Disconnect " + Address(m);
        case 0xA6:
            return "Disconnect RQX cause " + text::HexByte(m.size() > 4 ? m[4] : std::uint8_t{0});
        case 0x87:
            return "Diversion Request " + Address(m);
        case 0xA7:
            return "Diversion Cancel " + Address(m);
        case 0xB0: {
            static const char* const kinds[] = {"personality", "numbering information",
                                                "radio settings", "operating condition",
                                                "network information"};
            if (m.size() < 2) return "Radio Interrogation (short)";
            if (m[1] < 5) return std::string("Radio Interrogation: ") + kinds[m[1]];
            return "Radio Interrogation: request " + text::HexByte(m[1]);
        }
        case 0xB2:
            return "Radio Control " + text::HexByte(m.size() > 1 ? m[1] : std::uint8_t{0});
        case 0xB3:
            return "Radio Management " + text::HexBytesSpaced(m.subspan(1));
        case 0xB4:
            return "Protocol Info reason " + text::HexByte(m.size() > 1 ? m[1] : std::uint8_t{0});
        case 0xB6:
            return "Volume Control " + text::HexBytesSpaced(m.subspan(1));
        case 0xB7:
            return "Dialled String " + text::HexBytesSpaced(m.subspan(1));
        case 0xA3:
            return "Send Modem Data " + text::HexBytesSpaced(m.subspan(1));
        case 0x01:
            return "Radio Test " + text::HexBytesSpaced(m.subspan(1));
        default:
            return "unknown message type " + text::HexByte(m[0]);
    }
}

}  // namespace radiosim
