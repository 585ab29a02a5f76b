#include "tools/TestReport.h"

#include <cstdio>
#include <optional>
#include <utility>

#include "text/Utf8.h"
#include "text/VisibleControls.h"

namespace map27test {

namespace {

std::string Seconds(Duration time) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", static_cast<double>(time.count()) / 1000.0);
    return text;
}

}  // namespace

std::size_t ReceivedLines::Add(std::string text) {
    lines_.push_back({std::move(text)});
    return lines_.size() - 1;
}

std::vector<std::string> ReceivedLines::Untaken() const {
    std::vector<std::string> texts;
    for (const Line& line : lines_)
        if (!line.taken) texts.push_back(line.text);
    return texts;
}

RunSummary Summarize(const std::vector<StepResult>& results) {
    RunSummary summary;
    summary.steps = results.size();
    for (const StepResult& result : results) {
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

std::string XmlEscape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        std::optional<char32_t> character = text::NextUtf8Character(text, i);
        if (!character) ++i;  // a byte that starts no UTF-8 character
        if (!character || *character == 0xFFFE || *character == 0xFFFF) character = 0xFFFD;
        switch (*character) {
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
                // As the log shows control characters.
                text::AppendUtf8(out, text::VisibleControl(*character));
        }
    }
    return out;
}

void WriteJUnit(std::ostream& out, const std::string& suiteName,
                const std::vector<StepResult>& results, Duration total) {
    const RunSummary summary = Summarize(results);
    const std::string counts = " tests=\"" + std::to_string(summary.steps) + "\" failures=\"" +
                               std::to_string(summary.failed) + "\" errors=\"" +
                               std::to_string(summary.errors) + "\"";
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    out << "<testsuites" << counts << " time=\"" << Seconds(total) << "\">\n";
    out << "  <testsuite name=\"" << XmlEscape(suiteName) << "\"" << counts << " time=\""
        << Seconds(total) << "\">\n";
    for (const StepResult& result : results) {
        const std::string name = result.line > 0
                                     ? "line " + std::to_string(result.line) + ": " + result.text
                                     : result.text;
        out << "    <testcase classname=\"" << XmlEscape(suiteName) << "\" name=\""
            << XmlEscape(name) << "\" time=\"" << Seconds(result.took) << "\"";
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
