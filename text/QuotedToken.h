#pragma once
// A piece of the user's input inside an error message. Input can hold anything: an escape byte that
// moves the terminal's cursor, a bell, a line of 50 MB. The message shows it quoted, with control
// characters as visible symbols and cut short, so that it stays one readable line.
#include <cstddef>
#include <string>
#include <string_view>

namespace text {

// The most characters of a token that a message shows.
inline constexpr std::size_t kQuotedTokenLength = 80;

// The text in UTF-8, safe on a terminal: C0 controls and DELETE as their U+2400 symbols, C1
// controls and bytes that are not UTF-8 as U+FFFD; a text longer than maxCharacters characters
// cut to that many, with "..." after them.
std::string VisibleText(std::string_view text, std::size_t maxCharacters = std::string_view::npos);

// 'TOKEN': VisibleText cut to kQuotedTokenLength characters, in quotes.
std::string QuotedToken(std::string_view token);

}  // namespace text
