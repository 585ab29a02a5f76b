#include "text/HexFormat.h"

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

}  // namespace text
