#pragma once
// What a script run found: the received lines that expectations take from, the verdict of every
// step, and the JUnit report that CI reads.
#include <cstddef>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "tools/Script.h"

namespace map27test {

// The "RX : " lines of a run. An expectation takes the earliest line that it matches and that no
// earlier expectation took, so lines that came before the expectation was reached count too.
class ReceivedLines {
public:
    // Returns the line's index.
    std::size_t Add(std::string text);
    std::size_t Count() const { return lines_.size(); }
    const std::string& Text(std::size_t index) const { return lines_.at(index).text; }
    bool IsTaken(std::size_t index) const { return lines_.at(index).taken; }
    void Take(std::size_t index) { lines_.at(index).taken = true; }
    // The lines no expectation took, oldest first: what came instead.
    std::vector<std::string> Untaken() const;

private:
    struct Line {
        std::string text;
        bool taken = false;
    };
    std::vector<Line> lines_;
};

// Error: the run could not carry out the step (the port went away); Failed: it did, and what the
// step asked for did not happen.
enum class Verdict { Passed, Failed, Error };

struct StepResult {
    int line = 0;
    std::string text;
    bool isExpect = false;
    Verdict verdict = Verdict::Error;
    Duration started{0};
    Duration took{0};
    std::string detail;  // why it failed, and what came instead
};

struct RunSummary {
    std::size_t steps = 0, passed = 0, failed = 0, errors = 0;
};

RunSummary Summarize(const std::vector<StepResult>& results);

// Text safe inside XML 1.0 attributes and elements: markup characters as entities, control
// characters (which XML cannot carry at all) as their visible symbols, bytes that are not UTF-8
// and the non-characters U+FFFE and U+FFFF as U+FFFD.
std::string XmlEscape(std::string_view text);

// One test suite named after the script; one test case per result, every step of the script
// (and, where the run added one, the capture that could not be written).
void WriteJUnit(std::ostream& out, const std::string& suiteName,
                const std::vector<StepResult>& results, Duration total);

}  // namespace map27test
