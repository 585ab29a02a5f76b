#pragma once
// Bytes as hexadecimal text, always two upper-case digits a byte ("0A"), and hexadecimal digits
// back to their values.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

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

// Bytes typed as hexadecimal text, read the same way by every tool: tokens separated by blanks
// (space, tab, CR), each of one or two digits ("7 D1 0" is 07 D1 00) or of an even number of
// digits read two at a time ("8008" is 80 08). Appends the bytes of the tokens before the first
// bad one and returns that token; nothing when the whole text was read.
std::optional<std::string_view> ReadHexBytes(std::string_view text,
                                             std::vector<std::uint8_t>& bytes);

}  // namespace text
