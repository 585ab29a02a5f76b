#include "text/HexFormat.h"

#include <algorithm>

namespace text {
namespace {

constexpr char kDigits[] = "0123456789ABCDEF";

template <typename Char>
int DigitValue(Char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

}  // namespace

std::string HexByte(std::uint8_t byte) {
    return {kDigits[byte >> 4], kDigits[byte & 0x0F]};
}

std::string HexByteBlank(std::uint8_t byte) {
    return {kDigits[byte >> 4], kDigits[byte & 0x0F], ' '};
}

std::string HexBytesBlank(std::span<const std::uint8_t> bytes) {
    std::string hex;
    hex.reserve(bytes.size() * 3);
    for (std::uint8_t byte : bytes) {
        hex += kDigits[byte >> 4];
        hex += kDigits[byte & 0x0F];
        hex += ' ';
    }
    return hex;
}

std::string HexBytesSpaced(std::span<const std::uint8_t> bytes) {
    std::string hex = HexBytesBlank(bytes);
    if (!hex.empty()) hex.pop_back();
    return hex;
}

void AppendHexByteBlank(std::u16string& line, std::uint8_t byte) {
    line += static_cast<char16_t>(kDigits[byte >> 4]);
    line += static_cast<char16_t>(kDigits[byte & 0x0F]);
    line += u' ';
}

int HexDigitValue(char c) {
    return DigitValue(c);
}

int HexDigitValue(char16_t c) {
    return DigitValue(c);
}

std::optional<std::string_view> ReadHexBytes(std::string_view text,
                                             std::vector<std::uint8_t>& bytes) {
    constexpr std::string_view kBlanks = " \t\r";
    for (std::size_t end = 0;;) {
        const std::size_t start = text.find_first_not_of(kBlanks, end);
        if (start == std::string_view::npos) return std::nullopt;
        end = std::min(text.find_first_of(kBlanks, start), text.size());
        const std::string_view token = text.substr(start, end - start);
        const bool allDigits =
            std::all_of(token.begin(), token.end(), [](char c) { return DigitValue(c) >= 0; });
        if (!allDigits || (token.size() > 2 && token.size() % 2 != 0)) return token;
        if (token.size() == 1) {
            bytes.push_back(static_cast<std::uint8_t>(DigitValue(token[0])));
            continue;
        }
        for (std::size_t k = 0; k < token.size(); k += 2)
            bytes.push_back(
                static_cast<std::uint8_t>(DigitValue(token[k]) * 16 + DigitValue(token[k + 1])));
    }
}

}  // namespace text
