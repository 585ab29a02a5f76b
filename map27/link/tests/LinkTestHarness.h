#pragma once
// A deterministic world for link engines and sessions: a virtual clock that jumps from event to
// event, fake timers on it, a fake port that records every frame with its time, and a fake line
// that joins two engines and can drop, corrupt, delay or split what travels on it. A 35-second
// supervision test takes a millisecond.
#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <span>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "map27/link/FrameCodec.h"
#include "map27/link/FrameReception.h"
#include "map27/link/LinkEngine.h"
#include "map27/link/LinkSession.h"

namespace map27::test {

using Ms = std::int64_t;

class VirtualClock {
public:
    Ms Now() const { return now_; }

    // Runs fn at the given time (not before now); events at the same time run in the order given.
    void At(Ms when, std::function<void()> fn) {
        queue_.emplace(std::make_pair(std::max(when, now_), seq_++), std::move(fn));
    }

    // Moves time on without running anything: a thread blocked in a wait sees its timers late.
    void Pass(Ms delta) { now_ += delta; }

    // Runs every event due up to the given time, in time order, and leaves the clock there.
    void RunUntil(Ms until) {
        std::size_t steps = 0;
        while (!queue_.empty() && queue_.begin()->first.first <= until) {
            auto node = queue_.extract(queue_.begin());
            now_ = std::max(now_, node.key().first);
            node.mapped()();
            if (++steps > 50'000'000) throw std::runtime_error("virtual clock: runaway events");
        }
        now_ = std::max(now_, until);
    }
    void Advance(Ms delta) { RunUntil(now_ + delta); }

    // Runs events until pred() holds or the time limit passes; returns pred().
    template <class Pred>
    bool RunUntilTrue(Pred pred, Ms limit) {
        while (!pred()) {
            if (queue_.empty() || queue_.begin()->first.first > limit) {
                now_ = std::max(now_, limit);
                return pred();
            }
            RunUntil(queue_.begin()->first.first);
        }
        return true;
    }

private:
    Ms now_ = 0;
    std::uint64_t seq_ = 0;
    std::map<std::pair<Ms, std::uint64_t>, std::function<void()>> queue_;
};

// A link timer on the virtual clock, with the rules of the real one: Start keeps a running timer's
// remaining time, the same interval changes nothing, a timer not stopped fires again.
class FakeTimer : public ILinkTimer {
public:
    explicit FakeTimer(VirtualClock& clock) : clock_(clock) {}

    std::function<void()> onExpiry;
    int expiries = 0;

    void Start() override {
        if (running_) return;
        running_ = true;
        Schedule();
    }
    void Stop() override {
        running_ = false;
        ++generation_;
    }
    void SetInterval(std::uint16_t ms) override {
        if (ms == interval_) return;
        interval_ = ms;
        if (running_) Schedule();
    }
    bool IsRunning() const override { return running_; }
    std::uint16_t Interval() const override { return interval_; }
    Ms DueAt() const { return dueAt_; }

private:
    void Schedule() {
        const std::uint64_t generation = ++generation_;
        dueAt_ = clock_.Now() + interval_;
        clock_.At(dueAt_, [this, generation] {
            if (generation != generation_ || !running_) return;
            Schedule();  // fires again after another interval unless stopped
            ++expiries;
            if (onExpiry) onExpiry();
        });
    }

    VirtualClock& clock_;
    std::uint16_t interval_ = 0;
    bool running_ = false;
    std::uint64_t generation_ = 0;
    Ms dueAt_ = 0;
};

class FakePort : public ILinkPort {
public:
    explicit FakePort(VirtualClock& clock) : clock_(clock) {}

    struct Written {
        Ms at;
        std::vector<std::uint8_t> bytes;
    };
    std::vector<Written> written;
    int purges = 0;
    int waits = 0;
    int writesToFail = 0;  // the next n writes throw
    int waitsToFail = 0;   // the next n waits throw
    bool gone = false;     // the device has gone: writes and waits throw PortLostError
    int writeAttempts = 0;
    int bitsPerSecond =
        0;  // 0: the line takes no time; else WaitUntilSent lets the bytes' line time pass
    std::function<void(std::span<const std::uint8_t>)> onWrite;  // the far end of the line

    void Write(std::span<const std::uint8_t> bytes) override {
        ++writeAttempts;
        if (gone) throw PortLostError("Comport lost: /dev/fake");
        if (writesToFail > 0) {
            --writesToFail;
            throw std::runtime_error("Write data Timeout");
        }
        written.push_back({clock_.Now(), {bytes.begin(), bytes.end()}});
        if (bitsPerSecond > 0) {
            const Ms start = std::max(clock_.Now(), lineFreeAt_);
            lineFreeAt_ = start + (static_cast<Ms>(bytes.size()) * 10 * 1000 + bitsPerSecond - 1) /
                                      bitsPerSecond;
        }
        if (onWrite) onWrite(bytes);
    }
    void WaitUntilSent() override {
        ++waits;
        if (gone) throw PortLostError("Comport lost: /dev/fake");
        if (waitsToFail > 0) {
            --waitsToFail;
            throw std::runtime_error("Communication Write Error  ErrorMask=0");
        }
        if (lineFreeAt_ > clock_.Now()) clock_.Pass(lineFreeAt_ - clock_.Now());
    }
    void Purge() override { ++purges; }

    // The frames written, de-stuffed.
    std::vector<std::vector<std::uint8_t>> Frames() const {
        std::vector<std::vector<std::uint8_t>> frames;
        for (const auto& w : written) frames.push_back(DestuffFrame(w.bytes));
        return frames;
    }

private:
    VirtualClock& clock_;
    Ms lineFreeAt_ = 0;
};

// Records what an engine or a session tells its owner.
class RecordingEvents : public ILinkSessionEvents {
public:
    std::vector<std::string> statuses, logLines, parameterErrors;
    std::vector<std::pair<std::string, std::string>> times;
    std::vector<std::uint8_t> receivedNs;
    std::vector<std::vector<std::uint8_t>> dataFrames;
    std::vector<std::pair<BuiltMessage, bool>> built;
    // Session only.
    std::vector<std::vector<std::uint8_t>> framesReceived;  // every frame cut, as it came
    int receptionTimeouts = 0;
    int portLosses = 0;
    bool deaf = false;  // keeps every frame from the engine

    void OnLinkStatus(const std::string& text) override { statuses.push_back(text); }
    void OnLinkTimes(const std::string& t1, const std::string& t2max) override {
        times.emplace_back(t1, t2max);
    }
    void OnLogLine(const std::string& line) override { logLines.push_back(line); }
    void OnReceivedNs(std::uint8_t ns) override { receivedNs.push_back(ns); }
    void OnDataFrame(std::span<const std::uint8_t> message) override {
        dataFrames.emplace_back(message.begin(), message.end());
    }
    void OnParameterError(const std::string& message) override {
        parameterErrors.push_back(message);
    }
    void OnMessageBuilt(const BuiltMessage& message, bool isRepeat) override {
        built.emplace_back(message, isRepeat);
    }
    bool OnFrameReceived(std::span<const std::uint8_t> frame) override {
        framesReceived.emplace_back(frame.begin(), frame.end());
        return !deaf;
    }
    void OnReceptionTimedOut() override { ++receptionTimeouts; }
    void OnPortLost() override { ++portLosses; }
};

// A builder that makes the same message every time, with the header a network layer would write.
class TestBuilder : public IMessageBuilder {
public:
    explicit TestBuilder(std::vector<std::uint8_t> message, std::string logText = "test",
                         std::uint8_t ar = 1)
        : message_(std::move(message)), logText_(std::move(logText)), ar_(ar) {}

    mutable int builds = 0;
    mutable std::size_t lastCapacity = 0;
    std::string refuseWith;  // non-empty: Build throws BuildError with this text

    BuiltMessage Build(std::uint8_t ns, std::size_t capacity) const override {
        ++builds;
        lastCapacity = capacity;
        if (!refuseWith.empty()) throw BuildError(refuseWith);
        return BuiltMessage{{kLinkTransfer, ns, ar_, 0}, message_, logText_};
    }

private:
    std::vector<std::uint8_t> message_;
    std::string logText_;
    std::uint8_t ar_;
};

// One engine with its fake port, timers and event sink on a shared clock.
class EngineRig {
public:
    explicit EngineRig(VirtualClock& sharedClock)
        : clock(sharedClock),
          port(sharedClock),
          timers{FakeTimer(sharedClock), FakeTimer(sharedClock), FakeTimer(sharedClock),
                 FakeTimer(sharedClock), FakeTimer(sharedClock)},
          engine(port, {&timers[0], &timers[1], &timers[2], &timers[3], &timers[4]}, events) {
        timers[kT0].onExpiry = [this] { Guard([this] { engine.T0Timer(); }); };
        timers[kT1].onExpiry = [this] { Guard([this] { engine.T1Timer(); }); };
        timers[kT2].onExpiry = [this] { Guard([this] { engine.T2Timer(); }); };
        timers[kT3].onExpiry = [this] { Guard([this] { engine.T3Timer(); }); };
        timers[kT4].onExpiry = [this] { Guard([this] { engine.T4Timer(); }); };
    }

    VirtualClock& clock;
    FakePort port;
    std::array<FakeTimer, 5> timers;
    RecordingEvents events;
    LinkEngine engine;
    std::vector<std::string> errors;  // what escaped the engine from timer expiries

    // Feeds a frame as the peer would send it (stuffed, FCS included).
    void Receive(std::span<const std::uint8_t> wire) { engine.AcceptFrame(wire); }

    std::vector<std::vector<std::uint8_t>> Sent() const { return port.Frames(); }
    void ClearSent() { port.written.clear(); }

private:
    template <class F>
    void Guard(F&& f) {
        try {
            f();
        } catch (const std::exception& e) {
            errors.push_back(e.what());
        }
    }
};

// One session with its fake port, six timers (T0..T4, supervision) and event sink on a shared
// clock: what LinkHost and radiosim give it, without threads or a real clock.
class SessionRig {
public:
    explicit SessionRig(VirtualClock& sharedClock)
        : clock(sharedClock),
          port(sharedClock),
          timers{FakeTimer(sharedClock), FakeTimer(sharedClock), FakeTimer(sharedClock),
                 FakeTimer(sharedClock), FakeTimer(sharedClock), FakeTimer(sharedClock)},
          session(port, {&timers[0], &timers[1], &timers[2], &timers[3], &timers[4], &timers[5]},
                  events) {
        for (std::size_t i = 0; i < timers.size(); ++i)
            timers[i].onExpiry = [this, i] {
                if (i == kSupervision) supervisionExpiries.push_back(clock.Now());
                Guard([this, i] { session.TimerExpired(i); });
            };
    }

    VirtualClock& clock;
    FakePort port;
    std::array<FakeTimer, kSessionTimerCount> timers;
    RecordingEvents events;
    LinkSession session;
    std::vector<std::string> errors;  // what escaped the session's calls made here
    std::vector<Ms> supervisionExpiries;

    // Bytes from the line, as one piece.
    void Feed(std::span<const std::uint8_t> bytes) {
        Guard([&] { session.Receive(bytes); });
    }

    std::vector<std::vector<std::uint8_t>> Sent() const { return port.Frames(); }
    void ClearSent() { port.written.clear(); }

private:
    template <class F>
    void Guard(F&& f) {
        try {
            f();
        } catch (const std::exception& e) {
            errors.push_back(e.what());
        }
    }
};

// The serial line between two rigs. Every write travels after a delay, possibly in pieces, and
// meets the far side's frame assembler; a frame may be dropped or have one bit flipped.
class FakeLine {
public:
    FakeLine(EngineRig& a, EngineRig& b, std::uint32_t seed = 1) : toA_(a), random_(seed) {
        Connect(a, b, assemblerAtB_);
        Connect(b, a, assemblerAtA_);
    }

    double dropRate = 0.0;
    double corruptRate = 0.0;
    Ms delay = 0;
    bool split = false;
    int dropped = 0, corrupted = 0;

private:
    void Connect(EngineRig& from, EngineRig& to, FrameAssembler& assembler) {
        from.port.onWrite = [this, &from, &to, &assembler](std::span<const std::uint8_t> bytes) {
            std::vector<std::uint8_t> travelling(bytes.begin(), bytes.end());
            if (Chance(dropRate)) {
                ++dropped;
                return;
            }
            if (Chance(corruptRate) && !travelling.empty()) {
                ++corrupted;
                const std::size_t at = random_() % travelling.size();
                travelling[at] =
                    static_cast<std::uint8_t>(travelling[at] ^ (1U << (random_() % 8)));
            }
            std::size_t offset = 0;
            // Bytes keep their order on the line, however they are cut.
            Ms& lastAt = &to == &toA_ ? lastAtA_ : lastAtB_;
            Ms when = std::max(from.clock.Now() + delay, lastAt);
            while (offset < travelling.size()) {
                const std::size_t piece =
                    split ? std::min<std::size_t>(1 + random_() % 5, travelling.size() - offset)
                          : travelling.size() - offset;
                std::vector<std::uint8_t> chunk(
                    travelling.begin() + static_cast<std::ptrdiff_t>(offset),
                    travelling.begin() + static_cast<std::ptrdiff_t>(offset + piece));
                from.clock.At(when, [&to, &assembler, chunk] {
                    assembler.SetCapacity(to.engine.Snapshot().bufferCapacity);
                    assembler.PushBytes(
                        chunk, [&to](std::span<const std::uint8_t> frame) { to.Receive(frame); });
                });
                offset += piece;
                lastAt = when;
                if (split) when += static_cast<Ms>(random_() % 2);
            }
        };
    }

    bool Chance(double rate) {
        return rate > 0 && std::uniform_real_distribution<double>(0, 1)(random_) < rate;
    }

    EngineRig& toA_;
    std::mt19937 random_;
    FrameAssembler assemblerAtA_, assemblerAtB_;
    Ms lastAtA_ = 0, lastAtB_ = 0;
};

}  // namespace map27::test
