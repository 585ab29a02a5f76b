#include "tools/TestReport.h"

#include <cstdio>
#include <utility>

namespace map27test {

namespace {

std::string Seconds(Duration time) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", static_cast<double>(time.count()) / 1000.0);
    return text;
}

}  // namespace

void ReceivedLines::Add(std::string text) {
    lines_.push_back({std::move(text)});
}

const std::string* ReceivedLines::Take(const ExpectRxStep& expect) {
    for (Line& line : lines_) {
        if (line.taken || !expect.Matches(line.text)) continue;
        line.taken = true;
        return &line.text;
    }
    return nullptr;
}

std::vector<std::string> ReceivedLines::Untaken() const {
    std::vector<std::string> texts;
    for (const Line& line : lines_)
        if (!line.taken) texts.push_back(line.text);
    return texts;
}

RunSummary Summarize(const std::vector<StepResult>& results) {
    RunSummary summary;
    for (const StepResult& result : results) {
        if (result.verdict != Verdict::Passed) ++summary.failedSteps;
        if (!result.isExpect) continue;
        ++summary.expectations;
        switch (result.verdict) {
            case Verdict::Passed:
                ++summary.passed;
                break;
            case Verdict::Failed:
                ++summary.failed;
                break;
            case Verdict::Error:
                ++summary.errors;
                break;
        }
    }
    return summary;
}

std::string XmlEscape(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&apos;";
                break;
            case '\n':
                out += "&#10;";
                break;
            default:
                if (byte < 0x20 || byte == 0x7F) {
                    // U+2400 + byte (U+2421 for DEL), as the log shows control characters.
                    const unsigned symbol = byte == 0x7F ? 0x2421 : 0x2400 + byte;
                    out += static_cast<char>(0xE0 | (symbol >> 12));
                    out += static_cast<char>(0x80 | ((symbol >> 6) & 0x3F));
                    out += static_cast<char>(0x80 | (symbol & 0x3F));
                } else {
                    out += c;
                }
        }
    }
    return out;
}

void WriteJUnit(std::ostream& out, const std::string& suiteName,
                const std::vector<StepResult>& results, Duration total) {
    const RunSummary summary = Summarize(results);
    const std::string counts = " tests=\"" + std::to_string(summary.expectations) +
                               "\" failures=\"" + std::to_string(summary.failed) + "\" errors=\"" +
                               std::to_string(summary.errors) + "\"";
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    out << "<testsuites" << counts << " time=\"" << Seconds(total) << "\">\n";
    out << "  <testsuite name=\"" << XmlEscape(suiteName) << "\"" << counts << " time=\""
        << Seconds(total) << "\">\n";
    for (const StepResult& result : results) {
        if (!result.isExpect) continue;
        out << "    <testcase classname=\"" << XmlEscape(suiteName) << "\" name=\""
            << XmlEscape("line " + std::to_string(result.line) + ": " + result.text) << "\" time=\""
            << Seconds(result.took) << "\"";
        const std::string detail = XmlEscape(result.detail);
        switch (result.verdict) {
            case Verdict::Passed:
                out << "/>\n";
                continue;
            case Verdict::Failed:
                out << ">\n      <failure message=\"" << detail << "\">" << detail
                    << "</failure>\n";
                break;
            case Verdict::Error:
                out << ">\n      <error message=\"" << detail << "\">" << detail << "</error>\n";
                break;
        }
        out << "    </testcase>\n";
    }
    out << "  </testsuite>\n</testsuites>\n";
}

}  // namespace map27test
