// Turns one message from the radio into the body of its "RX : " log line.
// Nothing beyond the message is ever read: a field past its end shows as "--" ("-- " where the
// field is a hexadecimal byte, so the blanks around it stay as they are).
#include <algorithm>
#include <optional>
#include <string>

#include "map27/network/Codings.h"
#include "map27/network/Cp437.h"
#include "map27/network/Network.h"

namespace map27 {

namespace {

constexpr const char* kMissing = "--";
constexpr const char* kMissingHexByte = "-- ";
constexpr const char* kReservedExtensions = "!!!Reserved for further extensions";

class MessageReader {
public:
    explicit MessageReader(std::span<const std::uint8_t> message) : m_(message) {}

    std::size_t Size() const { return m_.size(); }
    bool Has(std::size_t offset) const { return offset < m_.size(); }
    std::optional<std::uint8_t> At(std::size_t offset) const {
        return Has(offset) ? std::optional<std::uint8_t>(m_[offset]) : std::nullopt;
    }
    std::optional<std::uint16_t> Word(std::size_t offset) const {
        if (!Has(offset + 1)) return std::nullopt;
        return static_cast<std::uint16_t>(m_[offset] << 8 | m_[offset + 1]);
    }
    std::span<const std::uint8_t> From(std::size_t offset) const {
        return offset < m_.size() ? m_.subspan(offset) : std::span<const std::uint8_t>{};
    }

    // XX(k): the byte as two hex digits and a blank.
    std::string Xx(std::size_t offset) const {
        return Has(offset) ? HexByteBlank(m_[offset]) : kMissingHexByte;
    }
    std::string Decimal(std::size_t offset) const {
        return Has(offset) ? std::to_string(m_[offset]) : kMissing;
    }
    std::string Decimal16(std::size_t offset) const {
        const auto word = Word(offset);
        return word ? std::to_string(*word) : kMissing;
    }
    std::string Pfix() const { return Has(1) ? PfixText(m_[1]) : kMissing; }
    std::string Ident() const {
        const auto word = Word(2);
        return word ? IdentText(*word) : kMissing;
    }
    // "PFIX:" is the end of the label; this is the rest of the address.
    std::string Address(const char* identLabel = "  ID:") const {
        return Pfix() + identLabel + Ident();
    }

private:
    std::span<const std::uint8_t> m_;
};

std::string DataMessage(const MessageReader& r, std::uint8_t type) {
    struct Coding {
        std::uint8_t code;
        const char* label;
        bool asText, dropDelete, inMst;
    };
    static constexpr Coding kCodings[] = {
        {0xB7, "  Data(7bit ASCII):", true, true, true},
        {0xF7, "  Data(8bit PC character):", true, false, false},
        {0x17, "  Data(BCD):", false, false, true},
        {0xA7, "  Data(Telex):", false, false, true},
        {0x87, "  Data(Binary):", false, false, true},
    };
    const bool sst = type == 0x81;
    const std::optional<std::uint8_t> code = r.At(5);
    const Coding* coding = nullptr;
    for (const Coding& c : kCodings) {
        if (code && c.code == *code && (sst || c.inMst)) coding = &c;
    }
    if (coding == nullptr) return r.Xx(0) + "!!!Not supported by Talvane27:Coding " + r.Xx(5);

    const std::span<const std::uint8_t> data = r.From(6);
    std::string body = sst ? "Receive SST  PFIX:" : "Receive MST  PFIX:";
    body += r.Address() + coding->label;
    body += coding->asText ? ReceivedTextToUtf8(data, coding->dropDelete) : HexBytesBlank(data);
    return body;
}

// 0xA4 and 0xA5: the shown byte moves with the low four bits of offset 4.
std::string IncomingCall(const MessageReader& r, const char* code, const char* label) {
    const std::optional<std::uint8_t> layout = r.At(4);
    const std::string shown = layout ? r.Xx(5U + (*layout & 0x0FU)) : kMissingHexByte;
    return code + shown + label + r.Address();
}

std::string ClearMessage(const MessageReader& r, std::uint8_t type) {
    struct Row {
        std::uint8_t type, sub;
        const char* label;
    };
    static constexpr Row kRows[] = {
        {0x86, 0x07, "86-07 Clear(normal end)             PFIX:"},
        {0xA6, 0x00, "A6-00 Clear(abnormal end)           PFIX:"},
        {0xA6, 0x01, "A6-01 Radio generated clear         PFIX:"},
        {0xA6, 0x04, "A6-04 Service not available         PFIX:"},
        {0xA6, 0x05,
         "A6-05 Transmission or message too long, call disconnected or message rejected  PFIX:"},
        {0xA6, 0x06, "A6-06 Message coding no possible, message rejected  PFIX:"},
        {0xA6, 0x0E, "A6-0E Abnormal Disconnect           PFIX:"},
    };
    const std::optional<std::uint8_t> sub = r.At(4);
    for (const Row& row : kRows) {
        if (sub && row.type == type && row.sub == *sub) return row.label + r.Address();
    }
    return r.Xx(0) + "-" + r.Xx(4) + kReservedExtensions;
}

std::string ProtocolInfo(const MessageReader& r) {
    static constexpr const char* kReasons[] = {
        "B4-01 Unrecognised Message",
        "B4-02 Facility or addressing not supported",
        "B4-03 Protocol state mismatch detected",
        "B4-04 Message coding not supported",
        "B4-05 Radio busy because of local operation",
        "B4-06 Radio for remote control",
    };
    const std::optional<std::uint8_t> reason = r.At(1);
    if (reason && *reason >= 1 && *reason <= 6) return kReasons[*reason - 1];
    return "B4h Reserved";
}

bool IsAcknowledgement(std::uint8_t type) {
    static constexpr std::uint8_t kTypes[] = {0xC0, 0xC4, 0xC5, 0xC7, 0xD0, 0xD4,
                                              0xD5, 0xE0, 0xE4, 0xE5, 0xE7};
    return std::find(std::begin(kTypes), std::end(kTypes), type) != std::end(kTypes);
}

std::string Acknowledgement(const MessageReader& r, std::uint8_t type) {
    struct Row {
        std::uint8_t type, sub;
        const char* label;
        const char* identLabel;  // nullptr: the label is the whole body, without address
    };
    static constexpr Row kRows[] = {
        {0xC0, 0x00, "C0-00 ACK:Successful Transaction    PFIX:", "  ID:"},
        {0xC4, 0x00, "C4-00 GTC:Call Connected            PFIX:", "  ID:"},
        {0xC5, 0x00, "C5-00 GTC                           PFIX2:", "  ID2:"},
        {0xC7, 0x00, "C7-00 Diversion ACK                 PFIX:", "  ID:"},
        {0xD0, 0x02, "D0-02 ACKQ(0):System busy           PFIX:", "  ID:"},
        {0xD0, 0x0A, "D0-0A ACKQ(1):Called unit engaged   PFIX:", "  ID:"},
        {0xD0, 0x22, "D0-22 Local  TSC does not support MST, the radio tries to use multiple SST.",
         nullptr},
        {0xD0, 0x26, "D0-26 ACKT                          PFIX:", "  ID:"},
        {0xD4, 0x01, "D4-01 ACKI(queuing)                 PFIX:", "  ID:"},
        {0xD4, 0x02, "D4-02 ACKQ(0)(queuing)              PFIX:", "  ID:"},
        {0xD4, 0x05, "D4-05 ACKE(queuing)                 PFIX:", "  ID:"},
        {0xD4, 0x0A, "D4-0A ACKQ(1)(queuing)              PFIX:", "  ID:"},
        {0xD4, 0x26, "D4-26 ACKT   (queuing)              PFIX:", "  ID:"},
        {0xD4, 0x36, "D4-36 ACKT   (queuing)              PFIX:", "  ID:"},
        {0xD5, 0x01, "D5-01 MAINT                         PFIX2:", " ID2:"},
        {0xD5, 0x02, "D5-02 System busy                   PFIX2:", " ID2:"},
        {0xD5, 0x0A, "D5-0A Local:Clear down timer warning(optional)  PFIX2:", " ID2:"},
        {0xE0, 0x03, "E0-03 ACKX(0):Invalid call          PFIX:", "  ID:"},
        {0xE0, 0x04, "E0-04 ACKV(0):Out of reach          PFIX:", "  ID:"},
        {0xE0, 0x06, "E0-06 ACKT   :Diverted              PFIX:", "  ID:"},
        {0xE0, 0x08, "E0-08 ACK(Transaction aborted)      PFIX:", "  ID:"},
        {0xE0, 0x0B, "E0-0B ACKX(1):Overloaded            PFIX:", "  ID:"},
        {0xE0, 0x0C, "E0-0C ACKV(1):Called unit engaged   PFIX:", "  ID:"},
        {0xE0, 0x0D, "E0-0D TSC does not support MST, transaction aborted.", nullptr},
        {0xE0, 0x0E, "E0-0E ACKT   :Diverted to an invalid address  PFIX:", "  ID:"},
        {0xE0, 0x16, "E0-16 ACKT   :Diverted to a group   PFIX:", "  ID:"},
        {0xE4, 0x03, "E4-03 ACKX(0)(negative)             PFIX:", "  ID:"},
        {0xE4, 0x04, "E4-04 ACKV(0)(negative)             PFIX:", "  ID:"},
        {0xE4, 0x06, "E4-06 ACKT   (negative)             PFIX:", "  ID:"},
        {0xE4, 0x07, "E4-07 ACKB(negative)                PFIX:", "  ID:"},
        {0xE4, 0x08, "E4-08 ACK:Call set-up aborted       PFIX:", "  ID:"},
        {0xE4, 0x0B, "E4-0B ACKX(1)(negative)             PFIX:", "  ID:"},
        {0xE4, 0x0C, "E4-0C ACKV(1)(negative)             PFIX:", "  ID:"},
        {0xE4, 0x0E, "E4-0E ACKT   (negative)             PFIX:", "  ID:"},
        {0xE4, 0x16, "E4-16 ACKT   (negative)             PFIX:", "  ID:"},
        {0xE5, 0x03, "E5-03 AHYX:Call set-up rejected     PFIX2:", "  ID2:"},
        {0xE5, 0x07, "E5-07 Local Radio has accepted the call for call-back  PFIX2:", "  ID2:"},
        {0xE7, 0x03, "E7-03 Diversion ACKX(0)             PFIX:", "  ID:"},
        {0xE7, 0x04, "E7-04 Diversion ACKV                PFIX:", "  ID:"},
        {0xE7, 0x08, "E7-08 Diversion ACK(Transaction aborted)  PFIX:", "  ID:"},
        {0xE7, 0x0B, "E7-0B Diversion ACKX(1)             PFIX:", "  ID:"},
    };
    const std::optional<std::uint8_t> sub = r.At(5);
    for (const Row& row : kRows) {
        if (!sub || row.type != type || row.sub != *sub) continue;
        return row.identLabel == nullptr ? std::string(row.label)
                                         : row.label + r.Address(row.identLabel);
    }
    // The four forms of an unknown sub-code differ in blanks and wording.
    switch (type) {
        case 0xC0:
            return "C0-" + r.Xx(5) + " " + kReservedExtensions;
        case 0xD0:
            return r.Xx(0) + "-" + r.Xx(5) + " " + kReservedExtensions;
        case 0xE0:
            return r.Xx(0) + kReservedExtensions + ":Cause " + r.Xx(5);
        default:
            return r.Xx(0) + "-" + r.Xx(5) + kReservedExtensions;
    }
}

void RadioPersonality(const MessageReader& r, DecodedMessage& decoded) {
    const std::optional<std::uint8_t> modelByte = r.At(5);
    const std::string model = modelByte ? std::to_string(*modelByte >> 4) : kMissing;
    std::string serial = kMissing;
    if (r.Has(7)) {
        serial = std::to_string((*r.At(5) & 0x03U) * 65536U + *r.Word(6));
    }
    const std::string code = r.Decimal(4);
    decoded.body = "Radio personality Response  PFIX:" + r.Pfix() + "  ID:" + r.Ident() +
                   "  Manufacturer's code:" + code + "  Model:" + model + "  Serial:" + serial +
                   "  Sa:" + r.Xx(8) + "  Sb:" + r.Xx(9) + "  Sc:" + r.Xx(10) +
                   "  CODINGS:" + r.Xx(11);
    // The dialog learns only from a whole answer: a cut one would disable boxes on bytes never
    // sent.
    if (r.Has(11)) {
        decoded.personality =
            PersonalityUpdate{r.Pfix(), r.Ident(), code, model, serial, *r.At(8), *r.At(11)};
    }
}

std::string NumberingInformation(const MessageReader& r) {
    // Base IDENTs: bit 7 of their high byte is not part of the number.
    const auto baseIdent = [&r](std::size_t offset) -> std::string {
        const auto word = r.Word(offset);
        return word ? std::to_string(*word & 0x7FFFU) : kMissing;
    };
    std::string body = "Numbering Information : Radio Unit = " + r.Decimal(1) + "-" +
                       r.Decimal16(2) + "  Individual number base IDENT = " + baseIdent(4) +
                       "  Highest individual IDENT = " + r.Decimal16(6) +
                       "  Group number base IDENT = " + baseIdent(8) +
                       "  Highest group IDENT = " + r.Decimal16(10) +
                       "  Radio unit group address = ";
    // Whole three-byte entries only; one or two bytes left after the last are not shown.
    for (std::size_t i = 12; i + 2 < r.Size(); i += 3) {
        body += r.Decimal(i) + "-" + r.Decimal16(i + 1) + ", ";
    }
    return body;
}

void RadioSettings(const MessageReader& r, DecodedMessage& decoded) {
    const bool hasCodings = r.Has(4);
    decoded.body = "Radio Settings  Sa:" + r.Xx(1) + "  Sb:" + r.Xx(2) + "  Sc:" + r.Xx(3) +
                   "  CODINGS:" + (hasCodings ? r.Xx(4) : std::string("no field"));
    if (r.Has(1)) decoded.settings = SettingsUpdate{*r.At(1), r.At(4)};
}

}  // namespace

DecodedMessage DecodeIncomingMessage(std::span<const std::uint8_t> message) {
    const MessageReader r(message);
    DecodedMessage decoded;
    if (message.empty()) {
        decoded.body = std::string(kMissingHexByte) + "!!! Empty message";
        return decoded;
    }
    const std::uint8_t type = message[0];
    std::string& body = decoded.body;
    switch (type) {
        case 0x00:
            body = "00    !!! Reserved for protocol escape mechanism";
            break;
        case 0x01:
            body = "01    Radio Test Result(Informative)";
            break;
        case 0x80:
            body = "80    Receive Status                PFIX:" + r.Address() +
                   "  Status:" + r.Decimal(5);
            break;
        case 0x81:
        case 0x82:
            body = DataMessage(r, type);
            break;
        case 0x86:
        case 0xA6:
            body = ClearMessage(r, type);
            break;
        case 0xA3:
            body = "A3    RECEIVE MODEM DATA";
            break;
        case 0xA4:
            body = IncomingCall(r, "A4-", "Incoming Voice Call           PFIX:");
            break;
        case 0xA5:
            body = IncomingCall(r, "A5-", "Incoming Emergency Voice Call   PFIX:");
            break;
        case 0xB0:
            RadioPersonality(r, decoded);
            break;
        case 0xB1:
            body = NumberingInformation(r);
            break;
        case 0xB2:
            body = "OPERATING CONDITION  Conditions:" + r.Xx(1) + " Field Strength:" + r.Xx(2) +
                   " MCDT:" + r.Xx(3);
            break;
        case 0xB3:
            RadioSettings(r, decoded);
            break;
        case 0xB4:
            body = ProtocolInfo(r);
            break;
        case 0xB5:
            body = "B5    Network Information : Radio channel number = " + r.Decimal16(1) +
                   ", System identity code = " + r.Decimal16(3);
            break;
        default:
            if (IsAcknowledgement(type)) {
                body = Acknowledgement(r, type);
            } else {
                body =
                    r.Xx(0) + (type < 0x40 ? "!!! Spare(free for customisation)" : "!!! Reserved");
            }
            break;
    }
    return decoded;
}

}  // namespace map27
