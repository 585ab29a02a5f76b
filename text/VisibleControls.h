#pragma once
// Control characters as the visible symbols of the U+2400 block, so that a received CR LF never
// breaks a line of the log or of Orrick's display.

namespace text {

// 0x00..0x1F and 0x7F (DELETE).
constexpr bool IsControl(char32_t character) {
    return character < 0x20 || character == 0x7F;
}

// The symbol of a control character (U+2400..U+241F, U+2421 for DELETE); any other character as
// it is.
constexpr char32_t VisibleControl(char32_t character) {
    if (character < 0x20) return 0x2400 + character;
    return character == 0x7F ? char32_t{0x2421} : character;
}

}  // namespace text
