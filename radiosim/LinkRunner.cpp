#include "radiosim/LinkRunner.h"

#include "map27/link/FrameCodec.h"

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

namespace radiosim {

class LinkRunner::LinePort : public map27::ILinkPort {
public:
    explicit LinePort(LinkRunner& owner) : owner_(owner) {}
    void Write(std::span<const std::uint8_t> bytes) override { owner_.WriteLine(bytes); }
    void WaitUntilSent() override {
        // A pseudo-terminal has no line to drain; a real port does.
        if (!owner_.isPty_ && !owner_.lineLost_) ::tcdrain(owner_.fd_);
    }
    void Purge() override { ::tcflush(owner_.fd_, TCIOFLUSH); }

private:
    LinkRunner& owner_;
};

LinkRunner::LinkRunner(int lineFd, bool lineIsPseudoTerminal)
    : fd_(lineFd), isPty_(lineIsPseudoTerminal), port_(std::make_unique<LinePort>(*this)) {
    for (auto& t : timers_) t = std::make_unique<map27::DeadlineTimer>([] { return Clock::now(); });
}

LinkRunner::~LinkRunner() = default;

map27::ILinkPort& LinkRunner::Port() {
    return *port_;
}

map27::SessionTimers LinkRunner::Timers() {
    return {timers_[0].get(), timers_[1].get(), timers_[2].get(),
            timers_[3].get(), timers_[4].get(), timers_[5].get()};
}

void LinkRunner::Attach(map27::LinkSession& session) {
    session_ = &session;
}

void LinkRunner::Watch(int fd, std::function<void()> onReadable) {
    watched_[fd] = std::move(onReadable);
}

void LinkRunner::Unwatch(int fd) {
    watched_.erase(fd);
}

void LinkRunner::After(std::chrono::milliseconds delay, std::function<void()> callback) {
    oneShots_.emplace(Clock::now() + delay, std::move(callback));
}

void LinkRunner::Operate(const std::function<void()>& op) {
    try {
        op();
    } catch (const std::exception& e) {
        if (onError) onError(e.what());
    }
    if (afterOperation) {
        try {
            afterOperation();
        } catch (const std::exception& e) {
            if (onError) onError(e.what());
        }
    }
}

void LinkRunner::WriteLine(std::span<const std::uint8_t> bytes) {
    Bytes frame(bytes.begin(), bytes.end());
    if (onFrameSending && !onFrameSending(frame)) return;
    std::size_t done = 0;
    bool waited = false;
    while (done < frame.size() && !lineLost_) {
        const ssize_t n = ::write(fd_, frame.data() + done, frame.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) && !waited) {
            pollfd p{fd_, POLLOUT, 0};
            ::poll(&p, 1, 20);
            waited = true;
            continue;
        }
        // Nobody reads the line (a pseudo-terminal that no program has open fills up): the
        // frame is lost as on a line without a listener. Said once, not for every frame.
        if (!lineFullReported_ && onError)
            onError(std::string("the line takes no more bytes (") +
                    (n < 0 ? std::strerror(errno) : "full") +
                    "); frames are lost until it is read again");
        lineFullReported_ = true;
        break;
    }
    if (done == frame.size()) lineFullReported_ = false;
    if (onFrameSent) onFrameSent(frame);
}

void LinkRunner::ReadLine() {
    std::uint8_t buffer[4096];
    const ssize_t n = ::read(fd_, buffer, sizeof buffer);
    if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) return;
    if (n <= 0) {
        // The other side went away (EIO on a pseudo-terminal whose peer closed): wait no more.
        lineLost_ = true;
        if (onError)
            onError(n < 0 ? std::string("line lost: ") + std::strerror(errno) : "line closed");
        return;
    }
    if (!session_) return;
    Operate([&] {
        session_->Receive(std::span<const std::uint8_t>(buffer, static_cast<std::size_t>(n)));
    });
}

void LinkRunner::FireTimers() {
    const Clock::time_point now = Clock::now();
    for (std::size_t i = 0; i < timers_.size() && !stopped_; ++i) {
        if (!timers_[i]->DueBy(now)) continue;
        timers_[i]->Rearm();
        if (session_) Operate([&] { session_->TimerExpired(i); });
    }
    while (!oneShots_.empty() && oneShots_.begin()->first <= Clock::now() && !stopped_) {
        auto callback = std::move(oneShots_.begin()->second);
        oneShots_.erase(oneShots_.begin());
        Operate(callback);
    }
}

void LinkRunner::Step(Clock::time_point deadline) {
    Clock::time_point wake = deadline;
    for (const auto& t : timers_)
        if (t->IsRunning()) wake = std::min(wake, t->Due());
    if (!oneShots_.empty()) wake = std::min(wake, oneShots_.begin()->first);

    std::vector<pollfd> fds;
    if (!lineLost_) fds.push_back({fd_, POLLIN, 0});
    for (const auto& [fd, callback] : watched_) fds.push_back({fd, POLLIN, 0});

    const auto now = Clock::now();
    const auto waitMs =
        wake <= now ? 0 : std::chrono::ceil<std::chrono::milliseconds>(wake - now).count();
    const int timeout = static_cast<int>(std::min<long long>(waitMs, 60'000));
    const int ready = ::poll(fds.data(), static_cast<nfds_t>(fds.size()), timeout);
    if (ready < 0) {
        if (errno != EINTR && onError) onError(std::string("poll failed: ") + std::strerror(errno));
        return;
    }
    for (const pollfd& p : fds) {
        if (stopped_ || p.revents == 0) continue;
        if (p.fd == fd_ && !lineLost_) {
            ReadLine();
        } else if (auto it = watched_.find(p.fd); it != watched_.end()) {
            auto callback = it->second;  // the callback may unwatch itself
            Operate(callback);
        }
    }
    if (!stopped_) FireTimers();
}

bool LinkRunner::RunUntil(const std::function<bool()>& done, Clock::time_point deadline) {
    while (!stopped_) {
        if (done && done()) return true;
        if (Clock::now() >= deadline) return false;
        Step(deadline);
    }
    return true;
}

void LinkRunner::Run() {
    RunUntil({}, Clock::time_point::max());
}

bool MessageSender::Queue(std::shared_ptr<const map27::IMessageBuilder> builder) {
    if (Waiting() >= kMaxWaiting) return false;
    queue_.push_back(std::move(builder));
    return true;
}

std::size_t MessageSender::Clear() {
    const std::size_t dropped = Waiting();
    queue_.clear();
    inFlight_.reset();
    return dropped;
}

void MessageSender::Pump() {
    const map27::LinkSnapshot snap = engine_.Snapshot();
    const bool up = snap.state == map27::LinkState::Established;
    if (inFlight_) {
        if (!up) {
            queue_.push_front(std::move(inFlight_));  // dropped by a link restart: send it again
            inFlight_.reset();
        } else if (!snap.timers[map27::kT1].running) {
            inFlight_.reset();  // acknowledged
        }
    }
    if (inFlight_ || queue_.empty() || !up || snap.sk <= 0) return;
    auto next = queue_.front();
    queue_.pop_front();
    try {
        engine_.SendNetworkMessage(next);
    } catch (const std::exception& e) {
        if (onError) onError(e.what());  // refused by its builder: it can never be sent
        return;
    }
    if (engine_.Snapshot().timers[map27::kT1].running)
        inFlight_ = std::move(next);
    else
        queue_.push_front(std::move(next));  // not taken; try again after the next operation
}

map27::BuiltMessage FixedMessage::Build(std::uint8_t ns, std::size_t capacity) const {
    if (message_.size() > capacity)
        throw map27::BuildError("the message of " + std::to_string(message_.size()) +
                                " bytes does not fit the frame (" + std::to_string(capacity) +
                                " bytes)");
    map27::BuiltMessage built;
    built.header = {4, ns, 1, 0};
    built.message = message_;
    built.logText = log_;
    return built;
}

}  // namespace radiosim
