#pragma once
// A radio test script: one step a line. The whole script is parsed, and every message it sends is
// built once, before the port is opened, so a typing error never leaves a half-run test behind.
#include <chrono>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "map27/network/SendRequest.h"
#include "text/Pattern.h"

namespace map27test {

using Duration = std::chrono::milliseconds;

inline constexpr Duration kDefaultLinkTime{5000};
inline constexpr Duration kDefaultRxTime{2000};
inline constexpr Duration kDefaultNoRxTime{3000};

struct LinkStep {
    Duration within = kDefaultLinkTime;
};

struct SendStep {
    map27::SendRequest request;
};

// The most a pattern may cost (text::Pattern::Cost): matching a long received line against it
// then stays well under a second, however the pattern is made.
inline constexpr std::size_t kMaxPatternCost = 2000;

struct ExpectRxStep {
    std::string text;  // the exact text after "RX : ", or the pattern's source
    std::optional<text::Pattern> pattern;
    Duration within = kDefaultRxTime;

    bool IsPattern() const { return pattern.has_value(); }

    bool Matches(const std::string& rxText) const;
};

struct ExpectNoRxStep {
    Duration within = kDefaultNoRxTime;
};

struct WaitStep {
    Duration time{0};
};

struct Step {
    int line = 0;
    std::string text;  // the line as written, without surrounding blanks
    std::variant<LinkStep, SendStep, ExpectRxStep, ExpectNoRxStep, WaitStep> action;

    bool IsExpect() const {
        return std::holds_alternative<ExpectRxStep>(action) ||
               std::holds_alternative<ExpectNoRxStep>(action);
    }
};

class ScriptError : public std::runtime_error {
public:
    // line 0: the script as a whole.
    ScriptError(int line, const std::string& message)
        : std::runtime_error(line > 0 ? "line " + std::to_string(line) + ": " + message : message),
          line_(line) {}
    int Line() const { return line_; }

private:
    int line_;
};

// Throws ScriptError for the first line that is not a valid step, and for a script without steps.
std::vector<Step> ParseScript(std::string_view text);

// "500ms", "2s": at most an hour, so no wait overflows a clock.
Duration ParseTime(std::string_view text);

}  // namespace map27test
