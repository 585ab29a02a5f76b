// map27dump on any input text, in both modes: it ends with 0 (decoded) or 2 (bad input, named on
// standard error), prints valid UTF-8, and in message mode one output line per input line.
#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "tools/Map27Dump.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input input(data, size);
    const bool messageMode = (input.Byte() & 1U) != 0;
    const auto rest = input.Rest();
    const std::string text(rest.begin(), rest.end());

    std::istringstream in(text);
    std::ostringstream out, err;
    std::vector<std::string> arguments;
    if (messageMode) arguments.emplace_back("--message");
    const int status = RunMap27Dump(arguments, in, out, err);

    FUZZ_CHECK(status == 0 || status == 2, "ends decoded or refused");
    const std::string printed = out.str();
    FUZZ_CHECK(status == 0 || !err.str().empty(), "bad input is named");
    FUZZ_CHECK(fuzz::IsValidUtf8(printed), "the output is valid UTF-8");
    FUZZ_CHECK(printed.find('\r') == std::string::npos, "no carriage return in the output");
    if (messageMode) {
        std::size_t inputLines = 0;
        std::istringstream count(text);
        for (std::string line; std::getline(count, line);) ++inputLines;
        FUZZ_CHECK(static_cast<std::size_t>(std::count(printed.begin(), printed.end(), '\n')) ==
                       inputLines,
                   "one output line per input line");
    }
    return 0;
}
