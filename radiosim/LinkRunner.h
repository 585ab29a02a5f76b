#pragma once
// A Qt-free driver for a MAP27 link session: one poll() loop over the line's descriptor, any
// further descriptors (standard input, a signal descriptor) and a list of timers on the monotonic
// clock. It gives the session its port and its six timers (T0..T4 and the reception supervision),
// hands it every piece read from the line and every expiry, and serialises every session call. The
// frames are cut, supervised and answered by the session (map27/link/LinkSession.h), as in
// Talvane27. The radio simulator runs the radio's session on it; the end to end tests run the
// terminal's on it over the other side of the pseudo-terminal.
#include <array>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <span>
#include <string>

#include "map27/link/LinkEngine.h"
#include "map27/link/DeadlineTimer.h"
#include "map27/link/LinkSession.h"
#include "radiosim/FrameText.h"

namespace radiosim {

using Clock = std::chrono::steady_clock;

class LinkRunner {
public:
    // lineFd: the open line, not owned. On a pseudo-terminal there is nothing to drain.
    LinkRunner(int lineFd, bool lineIsPseudoTerminal);
    ~LinkRunner();
    LinkRunner(const LinkRunner&) = delete;
    LinkRunner& operator=(const LinkRunner&) = delete;

    // What a session on this line is built with.
    map27::ILinkPort& Port();
    map27::SessionTimers Timers();
    // The session that the timers and the received bytes drive; it must outlive the runner's loop.
    // Every frame it cuts from the line goes to its sink's OnFrameReceived first.
    void Attach(map27::LinkSession& session);

    // Every frame the session writes, before it goes out; may change it; return false to drop it.
    std::function<bool(Bytes& frame)> onFrameSending;
    // Every frame as it went out.
    std::function<void(std::span<const std::uint8_t> frame)> onFrameSent;
    // After every session operation the loop made (bytes read, a timer) and every callback it ran.
    std::function<void()> afterOperation;
    // A failure the loop caught (a session call that threw, a line that went away).
    std::function<void(const std::string& what)> onError;

    // Watches another descriptor; the callback runs when it is readable (or hung up).
    void Watch(int fd, std::function<void()> onReadable);
    void Unwatch(int fd);
    // A one-shot callback after the delay.
    void After(std::chrono::milliseconds delay, std::function<void()> callback);

    void Stop() { stopped_ = true; }
    bool Stopped() const { return stopped_; }
    // Runs until Stop(), until done() holds (checked after every step) or until the deadline;
    // returns whether done() held (or Stop() was called).
    bool RunUntil(const std::function<bool()>& done, Clock::time_point deadline);
    void Run();
    // Calls into the session from outside the loop's callbacks go through here, so failures are
    // reported and afterOperation runs.
    void Operate(const std::function<void()>& op);

private:
    class LinePort;
    void Step(Clock::time_point deadline);
    void ReadLine();
    void FireTimers();
    void WriteLine(std::span<const std::uint8_t> bytes);

    int fd_;
    bool isPty_;
    bool lineLost_ = false;
    bool lineFullReported_ = false;
    bool stopped_ = false;
    map27::LinkSession* session_ = nullptr;
    std::unique_ptr<LinePort> port_;
    std::array<std::unique_ptr<map27::DeadlineTimer>, map27::kSessionTimerCount> timers_;
    std::map<int, std::function<void()>> watched_;
    std::multimap<Clock::time_point, std::function<void()>> oneShots_;
};

// Sends network messages one after the other as the link allows: a message waits until the
// link is up, the send credit is there and the previous message is acknowledged. A message that
// a link restart dropped unacknowledged is sent again once the link is back, unless its owner
// clears the queue.
class MessageSender {
public:
    // No more than this many messages wait, so that a flood of commands cannot take the memory.
    static constexpr std::size_t kMaxWaiting = 10000;

    explicit MessageSender(map27::LinkEngine& engine) : engine_(engine) {}
    // False, and the message is not queued, when kMaxWaiting messages are waiting.
    bool Queue(std::shared_ptr<const map27::IMessageBuilder> builder);
    // Drops every waiting message, the one not yet acknowledged too; returns how many.
    std::size_t Clear();
    // Call after every engine operation.
    void Pump();
    std::size_t Waiting() const { return queue_.size() + (inFlight_ ? 1 : 0); }
    std::function<void(const std::string& what)> onError;

private:
    map27::LinkEngine& engine_;
    std::deque<std::shared_ptr<const map27::IMessageBuilder>> queue_;
    std::shared_ptr<const map27::IMessageBuilder> inFlight_;
};

// Builds a fixed network message (the radio's messages) into a data frame with AR = 1.
class FixedMessage : public map27::IMessageBuilder {
public:
    FixedMessage(Bytes message, std::string logText)
        : message_(std::move(message)), log_(std::move(logText)) {}
    map27::BuiltMessage Build(std::uint8_t ns, std::size_t capacity) const override;

private:
    Bytes message_;
    std::string log_;
};

}  // namespace radiosim
