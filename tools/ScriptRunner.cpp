#include "tools/ScriptRunner.h"

#include <algorithm>
#include <cstdio>

#include "map27/link/LinkInterfaces.h"

namespace map27test {

namespace {

constexpr std::string_view kRxPrefix = "RX : ";
constexpr std::size_t kLinesShown = 10;

std::string TimeText(Duration time) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f s", static_cast<double>(time.count()) / 1000.0);
    return text;
}

const char* VerdictText(const StepResult& result) {
    switch (result.verdict) {
        case Verdict::Passed:
            return result.isExpect ? "PASS" : "ok";
        case Verdict::Failed:
            return "FAIL";
        case Verdict::Error:
            return "ERROR";
    }
    return "";
}

}  // namespace

ScriptRunner::ScriptRunner(RadioLink& link, std::ostream& out)
    : link_(link), out_(out), start_(Clock::now()) {
    link_.onLogLine = [this](const std::string& line) { OnLogLine(line); };
}

Duration ScriptRunner::Elapsed() const {
    return std::chrono::duration_cast<Duration>(Clock::now() - start_);
}

void ScriptRunner::Print(const std::string& text) {
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "[%8.3f] ", static_cast<double>(Elapsed().count()) / 1000.0);
    out_ << stamp << text << '\n' << std::flush;
}

void ScriptRunner::OnLogLine(const std::string& line) {
    Print("  " + line);
    if (line.starts_with(kRxPrefix)) received_.Add(line.substr(kRxPrefix.size()));
}

std::string ScriptRunner::Received() const {
    const std::vector<std::string> lines = received_.Untaken();
    if (lines.empty()) return "nothing received";
    std::string text = "received instead:";
    // The latest lines; a long run's older ones are in the log above.
    const std::size_t shown = std::min<std::size_t>(lines.size(), kLinesShown);
    if (shown < lines.size())
        text += " (the last " + std::to_string(shown) + " of " + std::to_string(lines.size()) + ")";
    for (std::size_t i = lines.size() - shown; i < lines.size(); ++i)
        text += "\n  RX : " + lines[i];
    return text;
}

std::vector<StepResult> ScriptRunner::Run(const std::vector<Step>& steps) {
    start_ = Clock::now();
    std::vector<StepResult> results;
    std::string stopped;  // why the steps left over are not run
    for (const Step& step : steps) {
        if (!stopped.empty()) {
            StepResult skipped{step.line,
                               step.text,
                               step.IsExpect(),
                               portError_ ? Verdict::Error : Verdict::Failed,
                               Elapsed(),
                               Duration(0),
                               "not run: " + stopped};
            results.push_back(skipped);
            Print("line " + std::to_string(step.line) + ": " + step.text + ": not run");
            continue;
        }
        results.push_back(RunStep(step));
        const StepResult& result = results.back();
        if (portError_) {
            stopped = *portError_;
        } else if (std::holds_alternative<LinkStep>(step.action) &&
                   result.verdict != Verdict::Passed) {
            stopped = "the link was not established (line " + std::to_string(step.line) + ")";
        }
    }
    return results;
}

StepResult ScriptRunner::RunStep(const Step& step) {
    StepResult result{step.line,   step.text, step.IsExpect(), Verdict::Passed, Elapsed(),
                      Duration(0), {}};
    std::visit(
        [&](const auto& action) {
            using Action = std::decay_t<decltype(action)>;
            if constexpr (std::is_same_v<Action, LinkStep>) {
                RunLink(action, result);
            } else if constexpr (std::is_same_v<Action, SendStep>) {
                RunSend(action, result);
            } else if constexpr (std::is_same_v<Action, ExpectRxStep>) {
                RunExpectRx(action, result);
            } else if constexpr (std::is_same_v<Action, ExpectNoRxStep>) {
                RunExpectNoRx(action, result);
            } else {
                link_.RunUntil({}, start_ + result.started + action.time);
            }
        },
        step.action);
    if (!portError_) portError_ = link_.PortError();
    if (portError_) {
        result.verdict = Verdict::Error;
        result.detail = *portError_;
    }
    result.took = Elapsed() - result.started;
    std::string line = "line " + std::to_string(step.line) + ": " + step.text + ": " +
                       VerdictText(result) + " (" + TimeText(result.took) + ")";
    if (result.verdict != Verdict::Passed) line += "\n    " + result.detail;
    Print(line);
    return result;
}

void ScriptRunner::RunLink(const LinkStep& step, StepResult& result) {
    if (link_.RunUntil([this] { return link_.IsEstablished(); }, Clock::now() + step.within))
        return;
    result.verdict = Verdict::Failed;
    result.detail = "the link was not established within " + TimeText(step.within);
}

void ScriptRunner::RunSend(const SendStep& step, StepResult& result) {
    // As a careful operator would: only once the link is up and the radio gives credit.
    if (!link_.RunUntil([this] { return link_.CanSend(); }, Clock::now() + kSendWait)) {
        result.verdict = Verdict::Failed;
        result.detail = std::string("not sent: ") +
                        (link_.IsEstablished() ? "the radio gave no send credit"
                                               : "the link was not established") +
                        " within " + TimeText(kSendWait);
        return;
    }
    try {
        if (link_.Send(step.request)) return;
        result.detail = "not sent: the link did not take the message";
    } catch (const map27::BuildError& e) {
        result.detail = std::string("not sent: ") + e.what();
    }
    result.verdict = Verdict::Failed;
}

void ScriptRunner::RunExpectRx(const ExpectRxStep& step, StepResult& result) {
    const std::string* matched = nullptr;
    link_.RunUntil([&] { return (matched = received_.Take(step)) != nullptr; },
                   Clock::now() + step.within);
    if (matched) return;
    result.verdict = Verdict::Failed;
    result.detail = "no line " + std::string(step.isPattern ? "matching /" : "\"") + step.text +
                    (step.isPattern ? "/" : "\"") + " within " + TimeText(step.within) + "; " +
                    Received();
}

void ScriptRunner::RunExpectNoRx(const ExpectNoRxStep& step, StepResult& result) {
    const std::size_t before = received_.Count();
    if (!link_.RunUntil([&] { return received_.Count() > before; }, Clock::now() + step.within))
        return;
    result.verdict = Verdict::Failed;
    result.detail =
        "received within " + TimeText(step.within) + ": RX : " + received_.Untaken().back();
}

int ExitStatus(const std::vector<StepResult>& results, bool portError) {
    if (portError) return 2;
    for (const StepResult& result : results)
        if (result.verdict != Verdict::Passed) return 1;
    return 0;
}

}  // namespace map27test
