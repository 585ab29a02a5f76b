#pragma once
// Field codings shared by the messages the terminal sends and the log lines of those it receives.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "text/HexFormat.h"

namespace map27 {

// The hexadecimal byte notation of the log lines ("0A ", "0A", "16 10 02 ") and the digits' values,
// the same helpers every other room uses.
using text::HexByte;
using text::HexByteBlank;
using text::HexBytesBlank;
using text::HexDigitValue;

// Hexadecimal digits to bytes: every other character is dropped, an odd last digit is padded with
// 0, pairs are taken from the left, high nibble first. "ABC" -> AB C0; "a1 b2-c3" -> A1 B2 C3.
std::vector<std::uint8_t> PackHexText(std::string_view text);

// PFIX and IDENT as they go out: the PFIX as one byte (low 8 bits), then the IDENT's low 16 bits,
// high byte first. No range check: "300" sends 0x2C.
struct PackedAddress {
    std::uint8_t pfix = 0, identHigh = 0, identLow = 0;
};
PackedAddress PackAddress(std::int32_t pfix, std::int32_t ident);
// The same from the operator's texts (StrToInt rules); throws BuildError for a text that does not
// convert.
PackedAddress PackAddress(const std::string& pfixText, const std::string& identText);

// The received address texts: PFIX zero-filled to 3 digits ("008"), IDENT to 4 ("0005", "12345").
std::string PfixText(std::uint8_t pfix);
std::string IdentText(std::uint16_t ident);

}  // namespace map27
