#include "text/Pattern.h"

#include <re2/re2.h>

#include "text/QuotedToken.h"

namespace text {

Pattern::Pattern(std::string_view source, PatternOptions options) {
    RE2::Options engine;
    engine.set_encoding(RE2::Options::EncodingUTF8);
    engine.set_literal(options.literal);
    engine.set_case_sensitive(!options.ignoreCase);
    engine.set_never_capture(true);  // only the whole match is ever asked for
    engine.set_log_errors(false);    // the caller shows Error() where it belongs
    auto compiled =
        std::make_shared<const RE2>(re2::StringPiece(source.data(), source.size()), engine);
    if (compiled->ok()) {
        compiled_ = std::move(compiled);
        return;
    }
    // The engine names the part it refused, which can be the whole pattern: quoted, cut short and
    // with its control characters visible.
    const std::string& error = compiled->error();
    const std::string& part = compiled->error_arg();
    error_ = error.empty() ? "the pattern cannot be compiled" : error;
    if (!part.empty() && error.ends_with(part))
        error_ = error.substr(0, error.size() - part.size()) + QuotedToken(part);
}

std::size_t Pattern::Cost() const {
    return compiled_ ? static_cast<std::size_t>(compiled_->ProgramSize()) : 0;
}

bool Pattern::Matches(std::string_view line) const {
    return compiled_ && RE2::PartialMatch(re2::StringPiece(line.data(), line.size()), *compiled_);
}

std::vector<PatternMatch> Pattern::FindAll(std::string_view line) const {
    std::vector<PatternMatch> matches;
    if (!compiled_) return matches;
    const re2::StringPiece text(line.data(), line.size());
    std::size_t from = 0;
    while (from <= line.size()) {
        re2::StringPiece found;
        if (!compiled_->Match(text, from, line.size(), RE2::UNANCHORED, &found, 1)) break;
        const auto offset = static_cast<std::size_t>(found.data() - line.data());
        if (!found.empty()) {
            matches.push_back({offset, found.size()});
            from = offset + found.size();
            continue;
        }
        // An empty match: look again from the next character, so the search always moves on.
        from = offset + 1;
        while (from < line.size() && (static_cast<unsigned char>(line[from]) & 0xC0) == 0x80)
            ++from;
    }
    return matches;
}

}  // namespace text
