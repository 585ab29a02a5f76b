#pragma once
// The texts of the messages through IBM PC code page 437, the character set of "8 bit PC
// character" texts: received bytes as one log line, the operator's DATA text as bytes.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace map27 {

// A received text as one log line: each byte as its character; control characters 0x01..0x1F and
// 0x7F as the visible symbols U+2401..U+241F and U+2421, so CR LF never breaks the line; 0x00 adds
// nothing; 0x7F is left out altogether when dropDelete is set (7-bit coding).
std::string ReceivedTextToUtf8(std::span<const std::uint8_t> bytes, bool dropDelete);

// The operator's DATA text (UTF-8) as the bytes that go out: one byte per character, a line break
// ("\n", "\r\n" or a lone "\r") as 0x0D 0x0A. Throws BuildError naming the first character that has
// no byte, or when the text is not UTF-8.
std::vector<std::uint8_t> DataTextToBytes(std::string_view utf8);

// The operator's text for a log line: control characters (line breaks included) shown as the
// visible symbols of the U+2400 block, a line break as the CR LF it is sent as.
std::string VisibleLogText(std::string_view utf8);

}  // namespace map27
