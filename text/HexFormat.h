#pragma once
// Bytes as hexadecimal text, always two upper-case digits a byte ("0A"), and hexadecimal digits
// back to their values.
#include <cstdint>
#include <span>
#include <string>

namespace text {

// "0A"
std::string HexByte(std::uint8_t byte);
// "0A ": the byte notation of Talvane27's log lines and of several dialogs.
std::string HexByteBlank(std::uint8_t byte);
// HexByteBlank of every byte, in order ("16 10 02 ").
std::string HexBytesBlank(std::span<const std::uint8_t> bytes);
// The bytes separated by single blanks, none at the end ("16 10 02").
std::string HexBytesSpaced(std::span<const std::uint8_t> bytes);
// HexByteBlank appended to a UTF-16 line (Orrick's Binary display).
void AppendHexByteBlank(std::u16string& line, std::uint8_t byte);

// 0..15 for 0-9, A-F, a-f; -1 for any other character.
int HexDigitValue(char c);
int HexDigitValue(char16_t c);

}  // namespace text
