#pragma once
// Find and match with regular expressions whose time grows only linearly with the line's length,
// whatever the pattern (no backtracking): map27test's expectations and the line view's find and
// filter take the same syntax from here. The syntax is RE2's (Perl-like without backreferences
// or lookaround); texts and offsets are UTF-8.
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace re2 {
class RE2;
}

namespace text {

struct PatternOptions {
    bool ignoreCase = false;
    bool literal = false;  // the source is plain text to find, not a regular expression
};

// Byte offsets into the UTF-8 line. A match always starts and ends on a character boundary, so a
// UTF-16 caller maps an offset to its own by counting the UTF-16 units of line.substr(0, offset).
struct PatternMatch {
    std::size_t offset = 0;
    std::size_t length = 0;

    friend bool operator==(const PatternMatch&, const PatternMatch&) = default;
};

class Pattern {
public:
    // Compiles the source; a pattern the engine does not take leaves IsValid() false and Error()
    // saying why. Copies share the compiled form, which any number of threads may match with.
    explicit Pattern(std::string_view source, PatternOptions options = {});

    bool IsValid() const { return error_.empty(); }
    // Empty when valid ("invalid escape sequence: \1").
    const std::string& Error() const { return error_; }

    // The size of the compiled pattern (0 when invalid). A search's time is linear in the line's
    // length but grows with this too: a caller that takes patterns from others may cap it.
    std::size_t Cost() const;

    // Whether the pattern is found anywhere in the line; false for an invalid pattern.
    bool Matches(std::string_view line) const;
    // Every non-empty match, left to right, none overlapping; nothing for an invalid pattern.
    std::vector<PatternMatch> FindAll(std::string_view line) const;

private:
    std::shared_ptr<const re2::RE2> compiled_;
    std::string error_;
};

}  // namespace text
