#include "tools/Script.h"

#include <array>
#include <charconv>
#include <utility>

#include "map27/network/Network.h"
#include "text/HexFormat.h"
#include "text/IntegerText.h"
#include "text/QuotedToken.h"

namespace map27test {

namespace {

constexpr Duration kLongestTime{3'600'000};
// What a data frame carries with the link's default frame size; the radio may negotiate less,
// which only the run can tell.
constexpr std::size_t kDefaultCapacity = 2048;

constexpr std::array<std::pair<std::string_view, std::uint16_t>, 5> kInterrogations{{
    {"personality", 0},
    {"numbering", 1},
    {"settings", 2},
    {"operating", 3},
    {"network", 4},
}};

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (IsBlank(text.front()) || text.front() == '\r')) text.remove_prefix(1);
    while (!text.empty() && (IsBlank(text.back()) || text.back() == '\r')) text.remove_suffix(1);
    return text;
}

// Reads words off the front of a line; the rest stays available for texts with blanks in them.
class LineReader {
public:
    LineReader(int line, std::string_view text) : line_(line), rest_(text) {}

    std::string_view Word() {
        rest_ = Trim(rest_);
        std::size_t end = 0;
        while (end < rest_.size() && !IsBlank(rest_[end])) ++end;
        const std::string_view word = rest_.substr(0, end);
        rest_.remove_prefix(end);
        return word;
    }
    std::string_view Rest() const { return Trim(rest_); }
    bool AtEnd() const { return Rest().empty(); }
    std::string_view TakeRest() { return Trim(std::exchange(rest_, {})); }
    void Consume(std::size_t count) { rest_.remove_prefix(count); }
    void SkipBlanks() { rest_ = Trim(rest_); }

    [[noreturn]] void Fail(const std::string& message) const { throw ScriptError(line_, message); }

    std::string_view Required(std::string_view what) {
        const std::string_view word = Word();
        if (word.empty()) Fail("missing " + std::string(what));
        return word;
    }

    // An optional "within TIME" closing the step.
    Duration Within(Duration fallback) {
        if (AtEnd()) return fallback;
        const std::string_view word = Word();
        if (word != "within")
            Fail("unexpected " + text::QuotedToken(word) + "; expected 'within TIME'");
        const Duration time = Time(Required("time after 'within'"));
        ExpectEnd();
        return time;
    }

    Duration Time(std::string_view text) const {
        try {
            return ParseTime(text);
        } catch (const std::invalid_argument& e) {
            Fail(e.what());
        }
    }

    void ExpectEnd() const {
        if (!AtEnd()) Fail("unexpected " + text::QuotedToken(Rest()) + " at the end of the step");
    }

private:
    int line_;
    std::string_view rest_;
};

// A number typed into an address or status field: the operator's integer rules, and a value the
// field can carry (the windows would quietly keep only its low bits).
std::string FieldNumber(LineReader& reader, std::string_view what, std::int32_t largest) {
    const std::string typed(reader.Required(what));
    const auto value = text::ParseInteger(typed);
    if (!value) reader.Fail(text::QuotedToken(typed) + " is not a valid integer value");
    if (*value < 0 || *value > largest)
        reader.Fail(std::string(what) + " " + typed + " is out of range (0 to " +
                    std::to_string(largest) + ")");
    return typed;
}

void ReadAddress(LineReader& reader, map27::SendRequest& request) {
    request.prefixText = FieldNumber(reader, "PFIX", 255);
    request.identText = FieldNumber(reader, "IDENT", 65535);
}

// The message's bytes as map27dump --message reads them, in the digits the builder takes.
std::string RawHex(LineReader& reader) {
    std::vector<std::uint8_t> bytes;
    if (const auto bad = text::ReadHexBytes(reader.TakeRest(), bytes))
        reader.Fail(text::QuotedToken(*bad) + " is not a hexadecimal byte");
    if (bytes.empty()) reader.Fail("missing the message bytes (hexadecimal)");
    return text::HexBytesSpaced(bytes);
}

SendStep ParseSend(LineReader& reader) {
    SendStep step;
    map27::SendRequest& request = step.request;
    const std::string_view kind = reader.Required("what to send");
    if (kind == "status") {
        request.sendKind = map27::SendKind::StatusCall;
        ReadAddress(reader, request);
        request.statusText = FieldNumber(reader, "STATUS", 255);
    } else if (kind == "voice" || kind == "emergency" || kind == "disconnect") {
        request.sendKind = kind == "voice"       ? map27::SendKind::SetupVoice
                           : kind == "emergency" ? map27::SendKind::EmergencySpeechCall
                                                 : map27::SendKind::Disconnect;
        ReadAddress(reader, request);
    } else if (kind == "data" || kind == "data8") {
        request.sendKind = map27::SendKind::DataCall;
        request.eightBitCoding = kind == "data8";
        ReadAddress(reader, request);
        request.dataText = std::string(reader.TakeRest());
        if (request.dataText.empty()) reader.Fail("missing the text of the data call");
        return step;
    } else if (kind == "interrogate") {
        const std::string_view item = reader.Required("what to interrogate");
        request.sendKind = map27::SendKind::RadioInterrogation;
        bool known = false;
        for (const auto& [name, code] : kInterrogations) {
            if (item == name) {
                request.interrogationKind = code;
                known = true;
            }
        }
        if (!known)
            reader.Fail("unknown interrogation " + text::QuotedToken(item) +
                        "; expected personality, numbering, settings, operating or network");
    } else if (kind == "raw") {
        // A hand-made network message, sent as the test window sends one in a data frame.
        request.sendKind = map27::SendKind::TestFrame;
        request.makeLtMessage = true;
        request.data1Text = "04";
        request.data5Text = RawHex(reader);
    } else {
        reader.Fail("unknown message " + text::QuotedToken(kind) +
                    "; expected status, voice, emergency, disconnect, data, data8, interrogate "
                    "or raw");
    }
    reader.ExpectEnd();
    return step;
}

// A quoted text ("..." with \" and \\) or a pattern (/.../ with \/ kept for the pattern itself).
std::string Delimited(LineReader& reader, char delimiter, bool keepEscapes) {
    const std::string_view rest = reader.Rest();
    std::string text;
    for (std::size_t i = 1; i < rest.size(); ++i) {
        const char c = rest[i];
        if (c == '\\' && i + 1 < rest.size() && (rest[i + 1] == delimiter || rest[i + 1] == '\\')) {
            if (keepEscapes) text += c;
            text += rest[++i];
            continue;
        }
        if (c == delimiter) {
            reader.SkipBlanks();
            reader.Consume(i + 1);
            return text;
        }
        text += c;
    }
    reader.Fail(delimiter == '"' ? "missing closing quote" : "missing closing '/' of the pattern");
}

Step ParseExpect(LineReader& reader) {
    Step step;
    const std::string_view what = reader.Required("'rx' or 'no rx'");
    if (what == "no") {
        if (reader.Word() != "rx") reader.Fail("expected 'expect no rx'");
        step.action = ExpectNoRxStep{reader.Within(kDefaultNoRxTime)};
        return step;
    }
    if (what != "rx") reader.Fail("expected 'expect rx' or 'expect no rx'");
    ExpectRxStep expect;
    const std::string_view rest = reader.Rest();
    if (rest.empty()) reader.Fail("missing the expected text (\"TEXT\" or /PATTERN/)");
    if (rest.front() == '"') {
        expect.text = Delimited(reader, '"', false);
    } else if (rest.front() == '/') {
        expect.text = Delimited(reader, '/', true);
        expect.pattern.emplace(expect.text);
        const std::string shown = "bad pattern " + text::QuotedToken("/" + expect.text + "/");
        if (!expect.pattern->IsValid()) reader.Fail(shown + ": " + expect.pattern->Error());
        if (expect.pattern->Cost() > kMaxPatternCost)
            reader.Fail(shown + ": too large (costs " + std::to_string(expect.pattern->Cost()) +
                        ", at most " + std::to_string(kMaxPatternCost) + ")");
    } else {
        reader.Fail("the expected text must be quoted (\"TEXT\") or a pattern (/PATTERN/)");
    }
    expect.within = reader.Within(kDefaultRxTime);
    step.action = std::move(expect);
    return step;
}

Step ParseStep(int line, std::string_view text) {
    LineReader reader(line, text);
    const std::string_view keyword = reader.Word();
    Step step;
    if (keyword == "link") {
        step.action = LinkStep{reader.Within(kDefaultLinkTime)};
    } else if (keyword == "send") {
        SendStep send = ParseSend(reader);
        try {
            (void)map27::BuildMessage(send.request, 1, kDefaultCapacity);
        } catch (const map27::BuildError& e) {
            reader.Fail(e.what());
        }
        step.action = std::move(send);
    } else if (keyword == "expect") {
        step = ParseExpect(reader);
    } else if (keyword == "wait") {
        step.action = WaitStep{reader.Time(reader.Required("time"))};
        reader.ExpectEnd();
    } else {
        reader.Fail("unknown step " + text::QuotedToken(keyword) +
                    "; expected link, send, expect or wait");
    }
    step.line = line;
    step.text = std::string(text);
    return step;
}

}  // namespace

bool ExpectRxStep::Matches(const std::string& rxText) const {
    return pattern ? pattern->Matches(rxText) : rxText == text;
}

Duration ParseTime(std::string_view text) {
    const bool millis = text.ends_with("ms");
    const bool seconds = !millis && text.ends_with("s");
    const std::string_view digits = text.substr(0, text.size() - (millis ? 2 : seconds ? 1 : 0));
    long long value = -1;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if ((!millis && !seconds) || digits.empty() || error != std::errc{} ||
        end != digits.data() + digits.size() || value < 0)
        throw std::invalid_argument(text::QuotedToken(text) + " is not a time (500ms or 2s)");
    if (value > (millis ? kLongestTime.count() : kLongestTime.count() / 1000))
        throw std::invalid_argument(text::QuotedToken(text) + " is longer than an hour");
    return Duration(millis ? value : value * 1000);
}

std::vector<Step> ParseScript(std::string_view text) {
    constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";  // some editors start with one
    if (text.starts_with(kByteOrderMark)) text.remove_prefix(kByteOrderMark.size());
    std::vector<Step> steps;
    int line = 0;
    while (!text.empty()) {
        ++line;
        const std::size_t end = text.find('\n');
        const std::string_view content = Trim(text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (content.empty() || content.front() == '#') continue;
        steps.push_back(ParseStep(line, content));
    }
    // A run of nothing would pass, and a CI job would count a wrong or empty file as a test.
    if (steps.empty())
        throw ScriptError(0, "the script has no steps, only blank lines and comments");
    return steps;
}

}  // namespace map27test
