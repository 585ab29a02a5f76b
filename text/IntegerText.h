#pragma once
// The ordinary string-to-integer rules for numbers typed by the operator: leading blanks, an
// optional sign, then decimal digits, or hexadecimal digits after "$" or "0x"; 32-bit range
// (hexadecimal up to FFFFFFFF, taken as the 32-bit pattern). Nothing may follow the digits.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace text {

std::optional<std::int32_t> ParseInteger(std::string_view text);

// "'TEXT' is not a valid integer value"
std::string NotAnIntegerMessage(std::string_view text);

}  // namespace text
