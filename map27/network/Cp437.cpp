#include "map27/network/Cp437.h"

#include <cstdio>
#include <optional>

#include "map27/link/LinkInterfaces.h"
#include "text/CodePage437.h"
#include "text/Utf8.h"
#include "text/VisibleControls.h"

namespace map27 {

namespace {

using text::AppendUtf8;
using text::IsControl;
using text::NextUtf8Character;
using text::VisibleControl;

std::string DescribeCharacter(char32_t codePoint) {
    char number[16];
    std::snprintf(number, sizeof number, "U+%04X", static_cast<unsigned>(codePoint));
    std::string described = "'";
    AppendUtf8(described, codePoint);
    return described + "' (" + number + ")";
}

// "\r\n" is one line break; so are a lone "\n" and a lone "\r". 0 when text[i] starts none.
std::size_t LineBreakLength(std::string_view text, std::size_t i) {
    if (text[i] == '\n') return 1;
    if (text[i] != '\r') return 0;
    return i + 1 < text.size() && text[i + 1] == '\n' ? 2 : 1;
}

}  // namespace

std::string ReceivedTextToUtf8(std::span<const std::uint8_t> bytes, bool dropDelete) {
    std::string text;
    text.reserve(bytes.size() * 2);
    for (std::uint8_t byte : bytes) {
        if (byte == 0x00 || (byte == 0x7F && dropDelete)) continue;
        AppendUtf8(text, VisibleControl(text::Cp437ToUnicode(byte)));
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
        const std::optional<char32_t> codePoint = NextUtf8Character(utf8, i);
        if (!codePoint)
            throw BuildError("The DATA text is not valid UTF-8 text. Nothing was sent.");
        const std::optional<std::uint8_t> byte = text::UnicodeToCp437(*codePoint);
        if (!byte) {
            throw BuildError(
                "The DATA text holds the character " + DescribeCharacter(*codePoint) +
                ", which has no byte in the PC character set (code page 437). Nothing was sent.");
        }
        bytes.push_back(*byte);
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
        const std::optional<char32_t> codePoint = NextUtf8Character(utf8, i);
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
