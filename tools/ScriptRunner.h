#pragma once
// Runs a parsed script on a link to the radio: waits, sends and expectations against the clock,
// each step printed with its time and verdict as it ends, every log line as it comes.
#include <chrono>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "map27/network/SendRequest.h"
#include "tools/LineMatcher.h"
#include "tools/Script.h"
#include "tools/TestReport.h"

namespace map27test {

using Clock = std::chrono::steady_clock;

// The link to the radio as the runner sees it.
class RadioLink {
public:
    virtual ~RadioLink() = default;
    // Runs the link until done() holds, the deadline passes or the port is lost; returns done().
    virtual bool RunUntil(const std::function<bool()>& done, Clock::time_point deadline) = 0;
    virtual bool IsEstablished() const = 0;
    // Established, with send credit: a message would go out now.
    virtual bool CanSend() const = 0;
    // Builds and sends the message; false when the link did not take it. Throws
    // map27::BuildError when the message cannot be built for this link.
    virtual bool Send(const map27::SendRequest& request) = 0;
    // Why the port can no longer be used, once it cannot.
    virtual std::optional<std::string> PortError() const = 0;
    // From any thread: RunUntil asks its done() again. RunUntil calls done() without holding
    // anything that Wake takes.
    virtual void Wake() = 0;

    // Every log line as Talvane27's log shows it ("TX : ...", "RX : ...", "N(S)!=V(R)").
    std::function<void(const std::string& line)> onLogLine;
};

// How long a send waits for the link to take it (the link up, send credit back).
inline constexpr Duration kSendWait{10'000};

class ScriptRunner {
public:
    ScriptRunner(RadioLink& link, std::ostream& out);
    std::vector<StepResult> Run(const std::vector<Step>& steps);
    // Set when the run ended because the port went away.
    const std::optional<std::string>& PortError() const { return portError_; }
    Duration Elapsed() const;

private:
    StepResult RunStep(const Step& step);
    void RunLink(const LinkStep& step, StepResult& result);
    void RunSend(const SendStep& step, StepResult& result);
    void RunExpectRx(const ExpectRxStep& step, StepResult& result);
    void RunExpectNoRx(const ExpectNoRxStep& step, StepResult& result);
    void OnLogLine(const std::string& line);
    void Print(const std::string& text);
    std::string Received() const;

    RadioLink& link_;
    std::ostream& out_;
    Clock::time_point start_;
    ReceivedLines received_;
    LineMatcher matcher_;
    bool searching_ = false;  // the lines that come are offered to the matcher
    std::optional<std::string> portError_;
};

int ExitStatus(const std::vector<StepResult>& results, bool portError);

}  // namespace map27test
