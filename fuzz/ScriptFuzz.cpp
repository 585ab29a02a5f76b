// Any text as a map27test script: it parses, or it is refused with a line that exists (or as a
// whole, when it has no steps); every step names its own line, and every send it accepts builds.
// The JUnit text of any step stays markup-free. Every expectation it accepts is matched against
// long lines, the script itself repeated and a long run of one letter: a pattern that takes the
// fuzzer's time-out over one is a finding.
#include <algorithm>
#include <string>

#include "fuzz/FuzzSupport.h"
#include "map27/network/Network.h"
#include "tools/Script.h"
#include "tools/TestReport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const int lines = static_cast<int>(std::count(text.begin(), text.end(), '\n')) + 1;
    std::string longLine;
    while (!text.empty() && longLine.size() < 8192) longLine += text;
    const std::string longLines[] = {longLine, std::string(4096, 'A')};
    try {
        for (const auto& step : map27test::ParseScript(text)) {
            FUZZ_CHECK(step.line >= 1 && step.line <= lines, "a step names a line of the script");
            if (const auto* send = std::get_if<map27test::SendStep>(&step.action))
                (void)map27::BuildMessage(send->request, 1, 2048);  // a refusal escapes: a crash
            if (const auto* expect = std::get_if<map27test::ExpectRxStep>(&step.action))
                for (const std::string& line : longLines) (void)expect->Matches(line);
            const std::string escaped = map27test::XmlEscape(step.text);
            FUZZ_CHECK(escaped.find_first_of("<>\"") == std::string::npos, "no markup in XML text");
        }
    } catch (const map27test::ScriptError& e) {
        FUZZ_CHECK(e.Line() >= 0 && e.Line() <= lines, "an error names a line of the script");
    }
    return 0;
}
