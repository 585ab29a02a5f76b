#pragma once
// What a script run found: the received lines that expectations take from, the verdict of every
// step, and the JUnit report that CI reads.
#include <cstddef>
#include <ostream>
#include <string>
#include <vector>

#include "tools/Script.h"

namespace map27test {

// The "RX : " lines of a run. An expectation takes the earliest line that it matches and that no
// earlier expectation took, so lines that came before the expectation was reached count too.
class ReceivedLines {
public:
    void Add(std::string text);
    // The matched line's text, or nullptr.
    const std::string* Take(const ExpectRxStep& expect);
    std::size_t Count() const { return lines_.size(); }
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
    std::size_t expectations = 0, passed = 0, failed = 0, errors = 0;
    std::size_t failedSteps = 0;  // every step that did not pass, expectations included
};

RunSummary Summarize(const std::vector<StepResult>& results);

// Text safe inside XML 1.0 attributes and elements: markup characters as entities, control
// characters (which XML cannot carry at all) as their visible symbols.
std::string XmlEscape(const std::string& text);

// One test suite named after the script; one test case per expectation.
void WriteJUnit(std::ostream& out, const std::string& suiteName,
                const std::vector<StepResult>& results, Duration total);

}  // namespace map27test
