// The operator's texts: PackHexText and the integer rules (ParseInteger, StrToInt). Nothing may
// crash; a text that converts must agree with a plain reading of it, and every 32-bit value must
// come back from its decimal and hexadecimal forms.
#include <charconv>
#include <cstdio>
#include <string>

#include "fuzz/FuzzSupport.h"
#include "map27/network/Codings.h"
#include "map27/network/Network.h"
#include "text/IntegerText.h"

namespace {

// Blanks, an optional sign, then decimal digits only.
bool IsPlainDecimal(std::string_view text) {
    std::size_t i = text.find_first_not_of(' ');
    if (i == std::string_view::npos) return false;
    if (text[i] == '+' || text[i] == '-') ++i;
    if (i >= text.size()) return false;
    return text.find_first_not_of("0123456789", i) == std::string_view::npos;
}

std::string HexText(std::uint32_t value, const char* prefix) {
    char digits[16];
    std::snprintf(digits, sizeof digits, "%X", static_cast<unsigned>(value));
    return prefix + std::string(digits);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);

    // PackHexText: two digits a byte, an odd digit padded, and the log's hex notation reads back.
    std::size_t digits = 0;
    for (const char c : text) digits += map27::HexDigitValue(c) >= 0 ? 1U : 0U;
    const auto packed = map27::PackHexText(text);
    FUZZ_CHECK(packed.size() == (digits + 1) / 2, "two hexadecimal digits a byte");
    FUZZ_CHECK(map27::PackHexText(map27::HexBytesBlank(packed)) == packed,
               "the log's hex notation reads back");

    // ParseInteger and StrToInt agree, with the one message.
    const auto parsed = text::ParseInteger(text);
    try {
        const std::int32_t value = map27::StrToInt(text);
        FUZZ_CHECK(parsed.has_value() && *parsed == value, "StrToInt agrees with ParseInteger");
    } catch (const map27::BuildError& error) {
        FUZZ_CHECK(!parsed.has_value(), "StrToInt refuses only what ParseInteger refuses");
        // Compared as C strings: what() ends at a NUL the text may hold.
        const std::string message = text::NotAnIntegerMessage(text);
        FUZZ_CHECK(std::string_view(error.what()) == std::string_view(message.c_str()),
                   "the one message");
    }

    // Plain decimal: the value is the number written, in range.
    if (IsPlainDecimal(text)) {
        std::string_view digitsText(text);
        digitsText.remove_prefix(digitsText.find_first_not_of(' '));
        if (digitsText.front() == '+') digitsText.remove_prefix(1);
        std::int64_t reference = 0;
        const auto [end, error] =
            std::from_chars(digitsText.data(), digitsText.data() + digitsText.size(), reference);
        const bool inRange = error == std::errc{} && end == digitsText.data() + digitsText.size() &&
                             reference >= INT32_MIN && reference <= INT32_MAX;
        FUZZ_CHECK(parsed.has_value() == inRange, "a decimal text converts exactly when in range");
        if (parsed) {
            FUZZ_CHECK(*parsed == reference, "a decimal text converts to its number");
            FUZZ_CHECK(text::ParseInteger(std::to_string(*parsed)) == parsed,
                       "the value's decimal form converts back");
        }
    }

    // Every 32-bit value in its written forms.
    fuzz::Input input(data, size);
    const auto value =
        static_cast<std::int32_t>((std::uint32_t{input.Word()} << 16) | input.Word());
    const auto pattern = static_cast<std::uint32_t>(value);
    FUZZ_CHECK(text::ParseInteger(std::to_string(value)) == value, "decimal round trip");
    FUZZ_CHECK(text::ParseInteger("  " + std::to_string(value)) == value, "leading blanks");
    FUZZ_CHECK(text::ParseInteger(HexText(pattern, "$")) == value, "$ hexadecimal round trip");
    FUZZ_CHECK(text::ParseInteger(HexText(pattern, "0x")) == value, "0x hexadecimal round trip");
    return 0;
}
