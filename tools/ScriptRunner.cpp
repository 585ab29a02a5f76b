#include "tools/ScriptRunner.h"

#include <algorithm>
#include <cstdio>

#include "map27/link/LinkInterfaces.h"
#include "text/QuotedToken.h"

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
    : link_(link), out_(out), start_(Clock::now()), matcher_([&link] { link.Wake(); }) {
    link_.onLogLine = [this](const std::string& line) { OnLogLine(line); };
}

Duration ScriptRunner::Elapsed() const {
    return std::chrono::duration_cast<Duration>(Clock::now() - start_);
}

// Script texts can hold anything: each line is shown with its control characters visible.
void ScriptRunner::Print(const std::string& text) {
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "[%8.3f] ", static_cast<double>(Elapsed().count()) / 1000.0);
    out_ << stamp;
    for (std::size_t start = 0;;) {
        const std::size_t end = text.find('\n', start);
        out_ << text::VisibleText(std::string_view(text).substr(start, end - start));
        if (end == std::string::npos) break;
        out_ << '\n';
        start = end + 1;
    }
    out_ << '\n' << std::flush;
}

void ScriptRunner::OnLogLine(const std::string& line) {
    Print("  " + line);
    if (!line.starts_with(kRxPrefix)) return;
    const std::size_t index = received_.Add(line.substr(kRxPrefix.size()));
    if (searching_) matcher_.Offer(index, received_.Text(index));
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
    const Clock::time_point deadline = Clock::now() + step.within;
    matcher_.Search(step);
    for (std::size_t i = 0; i < received_.Count(); ++i)
        if (!received_.IsTaken(i)) matcher_.Offer(i, received_.Text(i));
    searching_ = true;
    link_.RunUntil([this] { return matcher_.Found().has_value(); }, deadline);
    searching_ = false;
    const bool cutShort = matcher_.Stop();
    if (const auto found = matcher_.Found()) {
        received_.Take(*found);
        return;
    }
    result.verdict = Verdict::Failed;
    result.detail = "no line " + std::string(step.IsPattern() ? "matching /" : "\"") + step.text +
                    (step.IsPattern() ? "/" : "\"") + " within " + TimeText(step.within) +
                    (cutShort ? " (still matching when the time was up)" : "") + "; " + Received();
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
