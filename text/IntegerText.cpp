#include "text/IntegerText.h"

#include "text/HexFormat.h"

namespace text {

std::optional<std::int32_t> ParseInteger(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    int base = 10;
    if (i < text.size() && text[i] == '$') {
        base = 16;
        ++i;
    } else if (i + 1 < text.size() && text[i] == '0' &&
               (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i >= text.size()) return std::nullopt;
    const std::uint64_t limit =
        base == 16 ? 0xFFFFFFFFULL : (negative ? 0x80000000ULL : 0x7FFFFFFFULL);
    std::uint64_t value = 0;
    for (; i < text.size(); ++i) {
        const int digit = HexDigitValue(text[i]);
        if (digit < 0 || digit >= base) return std::nullopt;
        value = value * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(digit);
        if (value > limit) return std::nullopt;
    }
    auto pattern = static_cast<std::uint32_t>(value);
    if (negative) pattern = ~pattern + 1U;
    return static_cast<std::int32_t>(pattern);
}

std::string NotAnIntegerMessage(std::string_view text) {
    return "'" + std::string(text) + "' is not a valid integer value";
}

}  // namespace text
