#pragma once
// The MAP27 network layer: building every message the terminal sends, and decoding every message
// the radio sends into the body of its log line.
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "map27/link/LinkInterfaces.h"
#include "map27/network/SendRequest.h"

namespace map27 {

// The ordinary string-to-integer rules: leading blanks, an optional sign, decimal digits, or
// hexadecimal after "$" or "0x"; 32-bit range. Throws BuildError("'TEXT' is not a valid integer value").
std::int32_t StrToInt(const std::string& text);

// Builds the message of the request for a data frame with N(S) = ns (header bytes included).
// Throws BuildError with the operator's message when a field does not convert, the message does
// not fit capacity bytes, a character has no byte, a Disconnect RQX has no cause, or the kind is
// unknown.
// For the hand-made test frame (SendKind::TestFrame) the header is the operator's and logText is the
// dump of the whole frame as it goes on the line, DLE doubling and FCS included ("16 10 02 ... 90 0D ").
// logIsFrameDump is set, so the engine logs the bytes it wrote (a spoiled FCS of the CRC-error test
// option included).
BuiltMessage BuildMessage(const SendRequest& request, std::uint8_t ns, std::size_t capacity);

// The text that follows "TX : " in the log for a message the terminal sent, read back from its
// bytes (a wire capture). The typed texts are not on the wire: PREFIX, IDENT and STATUS are shown
// as the windows hold them by default ("008", "2001", "01"), and a line break of the DATA text as
// the CR LF it was sent as. nullopt for a message the terminal does not build.
std::optional<std::string> SentMessageLogText(std::span<const std::uint8_t> message);

// The request as a builder for the link engine; repeats build from the same record.
std::shared_ptr<const IMessageBuilder> MakeMessageBuilder(SendRequest request);

// What the radio's personality answer (0xB0) writes into the management window.
struct PersonalityUpdate {
    std::string pfix, ident, manufacturerCode, model, serial;  // as in the log body
    std::uint8_t facilities = 0;  // Sa: VoiceCB (bit 7) .. SDMCB (bit 0) enabled
    std::uint8_t codings = 0;     // BCDasACB (bit 7) .. EightCB (bit 1) enabled
};

// What the radio's settings answer (0xB3) writes into the management window.
struct SettingsUpdate {
    std::uint8_t facilities = 0;            // VoiceCB (bit 7) .. SDMCB (bit 0) checked
    std::optional<std::uint8_t> codings;    // absent: "Caution : No codings field"
};

struct DecodedMessage {
    std::string body;  // the log line after "RX : ", UTF-8, always one line
    std::optional<PersonalityUpdate> personality;
    std::optional<SettingsUpdate> settings;
};

// Decodes one network-layer message from the radio. Reads nothing beyond the message: a field past
// the end of a short message shows as "--" ("-- " where the field is a hexadecimal byte, so the blanks
// around it stay). A personality answer updates the dialog only when whole (12 bytes), a settings
// answer when it carries its Sa byte.
DecodedMessage DecodeIncomingMessage(std::span<const std::uint8_t> message);

}  // namespace map27
