#include "Cp437.h"

#include "Cp437Table.h"

#include <array>
#include <cstdio>
#include <optional>

#include "LinkInterfaces.h"

namespace map27 {

namespace {

using cp437::kUpperHalf;

constexpr char32_t kSymbolForNull = 0x2400;  // U+2401..U+241F follow for 0x01..0x1F
constexpr char32_t kSymbolForDelete = 0x2421;

// Decodes one UTF-8 sequence at text[i], advancing i; nothing for a malformed sequence.
std::optional<char32_t> NextCodePoint(std::string_view text, std::size_t& i) {
    const auto lead = static_cast<unsigned char>(text[i]);
    std::size_t length = 0;
    char32_t codePoint = 0;
    if (lead < 0x80) {
        ++i;
        return lead;
    }
    if ((lead & 0xE0) == 0xC0) {
        length = 2;
        codePoint = lead & 0x1FU;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        codePoint = lead & 0x0FU;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        codePoint = lead & 0x07U;
    } else {
        return std::nullopt;
    }
    if (text.size() - i < length) return std::nullopt;
    for (std::size_t k = 1; k < length; ++k) {
        const auto next = static_cast<unsigned char>(text[i + k]);
        if ((next & 0xC0) != 0x80) return std::nullopt;
        codePoint = (codePoint << 6) | (next & 0x3FU);
    }
    static constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (codePoint < kSmallest[length] || codePoint > 0x10FFFF ||
        (codePoint >= 0xD800 && codePoint <= 0xDFFF)) {
        return std::nullopt;
    }
    i += length;
    return codePoint;
}

std::string DescribeCharacter(char32_t codePoint) {
    char number[16];
    std::snprintf(number, sizeof number, "U+%04X", static_cast<unsigned>(codePoint));
    std::string text = "'";
    AppendUtf8(text, codePoint);
    return text + "' (" + number + ")";
}

// "\r\n" is one line break; so are a lone "\n" and a lone "\r". 0 when text[i] starts none.
std::size_t LineBreakLength(std::string_view text, std::size_t i) {
    if (text[i] == '\n') return 1;
    if (text[i] != '\r') return 0;
    return i + 1 < text.size() && text[i + 1] == '\n' ? 2 : 1;
}

bool IsControl(char32_t codePoint) {
    return codePoint < 0x20 || codePoint == 0x7F;
}

char32_t VisibleControl(char32_t codePoint) {
    return codePoint == 0x7F ? kSymbolForDelete : kSymbolForNull + codePoint;
}

}  // namespace

char32_t Cp437CodePoint(std::uint8_t byte) {
    return byte < 0x80 ? char32_t{byte} : char32_t{kUpperHalf[byte - 0x80U]};
}

int Cp437ByteOf(char32_t codePoint) {
    if (codePoint < 0x80) return static_cast<int>(codePoint);
    for (std::size_t k = 0; k < kUpperHalf.size(); ++k) {
        if (kUpperHalf[k] == codePoint) return static_cast<int>(0x80 + k);
    }
    return -1;
}

void AppendUtf8(std::string& text, char32_t codePoint) {
    const auto cp = static_cast<std::uint32_t>(codePoint);
    if (cp < 0x80) {
        text += static_cast<char>(cp);
    } else if (cp < 0x800) {
        text += static_cast<char>(0xC0 | (cp >> 6));
        text += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        text += static_cast<char>(0xE0 | (cp >> 12));
        text += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        text += static_cast<char>(0xF0 | (cp >> 18));
        text += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        text += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

std::string ReceivedTextToUtf8(std::span<const std::uint8_t> bytes, bool dropDelete) {
    std::string text;
    text.reserve(bytes.size() * 2);
    for (std::uint8_t byte : bytes) {
        if (byte == 0x00 || (byte == 0x7F && dropDelete)) continue;
        const char32_t codePoint = Cp437CodePoint(byte);
        AppendUtf8(text, IsControl(codePoint) ? VisibleControl(codePoint) : codePoint);
    }
    return text;
}

std::vector<std::uint8_t> DataTextToBytes(std::string_view utf8) {
    std::vector<std::uint8_t> bytes;
    bytes.reserve(utf8.size() + 8);
    std::size_t i = 0;
    while (i < utf8.size()) {
        if (const std::size_t lineBreak = LineBreakLength(utf8, i); lineBreak != 0) {
            i += lineBreak;
            bytes.push_back(0x0D);
            bytes.push_back(0x0A);
            continue;
        }
        const std::optional<char32_t> codePoint = NextCodePoint(utf8, i);
        if (!codePoint)
            throw BuildError("The DATA text is not valid UTF-8 text. Nothing was sent.");
        const int byte = Cp437ByteOf(*codePoint);
        if (byte < 0) {
            throw BuildError(
                "The DATA text holds the character " + DescribeCharacter(*codePoint) +
                ", which has no byte in the PC character set (code page 437). Nothing was sent.");
        }
        bytes.push_back(static_cast<std::uint8_t>(byte));
    }
    return bytes;
}

std::string VisibleLogText(std::string_view utf8) {
    std::string text;
    text.reserve(utf8.size() + 8);
    std::size_t i = 0;
    while (i < utf8.size()) {
        if (const std::size_t lineBreak = LineBreakLength(utf8, i); lineBreak != 0) {
            i += lineBreak;
            AppendUtf8(text, VisibleControl(0x0D));
            AppendUtf8(text, VisibleControl(0x0A));
            continue;
        }
        const std::size_t start = i;
        const std::optional<char32_t> codePoint = NextCodePoint(utf8, i);
        if (!codePoint) {
            AppendUtf8(text, 0xFFFD);
            i = start + 1;
        } else if (IsControl(*codePoint)) {
            AppendUtf8(text, VisibleControl(*codePoint));
        } else {
            text.append(utf8.substr(start, i - start));
        }
    }
    return text;
}

}  // namespace map27
