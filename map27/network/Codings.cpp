#include "map27/network/Codings.h"

#include <cstdio>
#include <optional>

#include "map27/network/Network.h"
#include "text/IntegerText.h"

namespace map27 {

std::vector<std::uint8_t> PackHexText(std::string_view text) {
    std::vector<std::uint8_t> bytes;
    bytes.reserve(text.size() / 2 + 1);
    bool haveHighNibble = false;
    int highNibble = 0;
    for (char c : text) {
        const int value = HexDigitValue(c);
        if (value < 0) continue;
        if (haveHighNibble) {
            bytes.push_back(static_cast<std::uint8_t>((highNibble << 4) | value));
        } else {
            highNibble = value;
        }
        haveHighNibble = !haveHighNibble;
    }
    if (haveHighNibble) bytes.push_back(static_cast<std::uint8_t>(highNibble << 4));
    return bytes;
}

PackedAddress PackAddress(std::int32_t pfix, std::int32_t ident) {
    const auto identBits = static_cast<std::uint32_t>(ident);
    return {static_cast<std::uint8_t>(static_cast<std::uint32_t>(pfix) & 0xFFU),
            static_cast<std::uint8_t>((identBits >> 8) & 0xFFU),
            static_cast<std::uint8_t>(identBits & 0xFFU)};
}

PackedAddress PackAddress(const std::string& pfixText, const std::string& identText) {
    const std::int32_t pfix = StrToInt(pfixText);
    const std::int32_t ident = StrToInt(identText);
    return PackAddress(pfix, ident);
}

std::string PfixText(std::uint8_t pfix) {
    char text[8];
    std::snprintf(text, sizeof text, "%03u", static_cast<unsigned>(pfix));
    return text;
}

std::string IdentText(std::uint16_t ident) {
    char text[8];
    std::snprintf(text, sizeof text, "%04u", static_cast<unsigned>(ident));
    return text;
}

// One set of rules for every number the operator types, shared with the link's parameter texts.
std::int32_t StrToInt(const std::string& text) {
    const std::optional<std::int32_t> value = text::ParseInteger(text);
    if (!value) throw BuildError(text::NotAnIntegerMessage(text));
    return *value;
}

}  // namespace map27
