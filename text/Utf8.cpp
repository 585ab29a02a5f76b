#include "text/Utf8.h"

#include <cstdint>

namespace text {

void AppendUtf8(std::string& utf8, char32_t character) {
    const auto cp = static_cast<std::uint32_t>(character);
    if (cp < 0x80) {
        utf8 += static_cast<char>(cp);
    } else if (cp < 0x800) {
        utf8 += static_cast<char>(0xC0 | (cp >> 6));
        utf8 += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        utf8 += static_cast<char>(0xE0 | (cp >> 12));
        utf8 += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        utf8 += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        utf8 += static_cast<char>(0xF0 | (cp >> 18));
        utf8 += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        utf8 += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        utf8 += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

std::optional<char32_t> NextUtf8Character(std::string_view utf8, std::size_t& i) {
    const auto lead = static_cast<unsigned char>(utf8[i]);
    std::size_t length = 0;
    char32_t character = 0;
    if (lead < 0x80) {
        ++i;
        return lead;
    }
    if ((lead & 0xE0) == 0xC0) {
        length = 2;
        character = lead & 0x1FU;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        character = lead & 0x0FU;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        character = lead & 0x07U;
    } else {
        return std::nullopt;
    }
    if (utf8.size() - i < length) return std::nullopt;
    for (std::size_t k = 1; k < length; ++k) {
        const auto next = static_cast<unsigned char>(utf8[i + k]);
        if ((next & 0xC0) != 0x80) return std::nullopt;
        character = (character << 6) | (next & 0x3FU);
    }
    static constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (character < kSmallest[length] || character > 0x10FFFF ||
        (character >= 0xD800 && character <= 0xDFFF)) {
        return std::nullopt;
    }
    i += length;
    return character;
}

std::string Utf16ToUtf8(std::u16string_view utf16) {
    std::string utf8;
    utf8.reserve(utf16.size());
    for (std::size_t i = 0; i < utf16.size(); ++i) {
        char32_t c = utf16[i];
        if (IsHighSurrogate(utf16[i]) && i + 1 < utf16.size() && IsLowSurrogate(utf16[i + 1])) {
            c = 0x10000 + ((static_cast<char32_t>(utf16[i]) - 0xD800) << 10) +
                (utf16[i + 1] - 0xDC00u);
            ++i;
        }
        AppendUtf8(utf8, c);
    }
    return utf8;
}

}  // namespace text
