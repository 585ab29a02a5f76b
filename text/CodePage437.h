#pragma once
// IBM PC code page 437, the character set of the radios' "8 bit PC character" texts, both ways:
// bytes 0x20..0x7E are ASCII, 0x80..0xFF the code page's letters, symbols and box drawings;
// 0x00..0x1F and 0x7F stand for the control characters of the same numbers. Every character
// lies in the Basic Multilingual Plane, so one UTF-16 unit holds each.
#include <cstdint>
#include <optional>

namespace text {

// The character of a byte. Bytes below 0x80 (controls included) are their own character.
char16_t Cp437ToUnicode(std::uint8_t byte);

// The byte of a character, or nothing when the code page has none. Characters below 0x80
// (controls included) are their own byte.
std::optional<std::uint8_t> UnicodeToCp437(char32_t character);

}  // namespace text
