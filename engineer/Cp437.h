#pragma once
// IBM PC code page 437, the character set of the radios' 8-bit texts: bytes 0x20..0x7E are ASCII,
// bytes 0x80..0xFF the code page's letters, symbols and box-drawing characters. All of them lie in
// the Basic Multilingual Plane, so one UTF-16 unit holds each.
#include <cstdint>
#include <optional>

namespace orrick {

// The character of a byte. Bytes below 0x80 are returned as they are (controls included).
char16_t Cp437ToUnicode(std::uint8_t byte);

// The byte of a character, or nothing when the code page has no byte for it. Characters below
// 0x80 (controls included) are their own byte.
std::optional<std::uint8_t> UnicodeToCp437(char32_t character);

}  // namespace orrick
