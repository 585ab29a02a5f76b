// Any text as a wire capture: a line that parses formats back to a line that parses to the same
// record, and map27dump --capture ends decoded (0) or with its malformed lines named (2), printing
// valid UTF-8 without carriage returns.
#include <sstream>
#include <string>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "map27/capture/WireCapture.h"
#include "tools/Map27Dump.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::istringstream lines(text);
    for (std::string line, error; std::getline(lines, line);) {
        const auto record = map27::ParseCaptureLine(line, error);
        if (!record) continue;
        const auto again = map27::ParseCaptureLine(map27::FormatCaptureLine(*record), error);
        FUZZ_CHECK(again && *again == *record, "a parsed line formats back to the same record");
    }

    std::istringstream in(text);
    std::ostringstream out, err;
    const int status = RunMap27Dump({"--capture", "-"}, in, out, err);
    FUZZ_CHECK(status == 0 || status == 2, "ends decoded or with its malformed lines named");
    FUZZ_CHECK(status == 0 || !err.str().empty(), "a malformed line is named");
    FUZZ_CHECK(fuzz::IsValidUtf8(out.str()), "the output is valid UTF-8");
    FUZZ_CHECK(out.str().find('\r') == std::string::npos, "no carriage return in the output");
    return 0;
}
