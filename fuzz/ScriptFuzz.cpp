// Any text as a map27test script: it parses, or it is refused with a line that exists; every step
// names its own line, and every send it accepts builds. The JUnit text of any step stays
// markup-free.
#include <algorithm>
#include <string>

#include "fuzz/FuzzSupport.h"
#include "map27/network/Network.h"
#include "tools/Script.h"
#include "tools/TestReport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const int lines = static_cast<int>(std::count(text.begin(), text.end(), '\n')) + 1;
    try {
        for (const auto& step : map27test::ParseScript(text)) {
            FUZZ_CHECK(step.line >= 1 && step.line <= lines, "a step names a line of the script");
            if (const auto* send = std::get_if<map27test::SendStep>(&step.action))
                (void)map27::BuildMessage(send->request, 1, 2048);  // a refusal escapes: a crash
            const std::string escaped = map27test::XmlEscape(step.text);
            FUZZ_CHECK(escaped.find_first_of("<>\"") == std::string::npos, "no markup in XML text");
        }
    } catch (const map27test::ScriptError& e) {
        FUZZ_CHECK(e.Line() >= 1 && e.Line() <= lines, "an error names a line of the script");
    }
    return 0;
}
