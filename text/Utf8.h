#pragma once
// Characters to and from UTF-8, the encoding of every text that leaves the libraries.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace text {

// Appends the UTF-8 sequence of one character.
void AppendUtf8(std::string& utf8, char32_t character);

// Decodes the UTF-8 sequence at utf8[i] and advances i past it; nothing (and i unchanged) for a
// malformed, cut, over-long or surrogate sequence.
std::optional<char32_t> NextUtf8Character(std::string_view utf8, std::size_t& i);

// The two halves of a UTF-16 surrogate pair.
constexpr bool IsHighSurrogate(char16_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}
constexpr bool IsLowSurrogate(char16_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

// UTF-16 to UTF-8: surrogate pairs are joined; a lone surrogate is carried over as it is.
std::string Utf16ToUtf8(std::u16string_view utf16);

}  // namespace text
