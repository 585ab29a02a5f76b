#pragma once
// What the MAP27 link engine acts through. The engine holds no I/O, thread or clock of its own:
// its owner gives it a port, five timers and an event sink, and drives it with calls.
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace map27 {

// Thrown by a port whose device has gone (adapter pulled, far end closed): a state, not an error
// to report for every frame. what() names the device, e.g. "Comport lost: /dev/ttyUSB0".
class PortLostError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class ILinkPort {
public:
    virtual ~ILinkPort() = default;
    // Writes one whole frame as it goes on the line. May throw (the port's own error;
    // PortLostError when the device has gone).
    virtual void Write(std::span<const std::uint8_t> bytes) = 0;
    // Returns once the port has sent every byte written, or the port is closed.
    virtual void WaitUntilSent() = 0;
    // Discards both the input and the output queue.
    virtual void Purge() = 0;
    // The longest frame, as it goes on the line, that Write takes in one piece.
    virtual std::size_t LargestWrite() const { return SIZE_MAX; }
};

// A link timer. Start leaves a running timer running with its remaining time; Restart is Stop then
// Start; SetInterval begins a new full interval only when the value differs while it runs.
// The owner calls the engine's TnTimer() on expiry; a timer that is not stopped fires again after
// another interval.
class ILinkTimer {
public:
    virtual ~ILinkTimer() = default;
    virtual void Start() = 0;
    virtual void Stop() = 0;
    void Restart() {
        Stop();
        Start();
    }
    virtual void SetInterval(std::uint16_t ms) = 0;
    virtual bool IsRunning() const = 0;
    virtual std::uint16_t Interval() const = 0;
};

// One data frame's content as the network layer builds it.
struct BuiltMessage {
    std::array<std::uint8_t, 4> header{};  // frame offsets 3..6 as they go out (4, N(S), AR, 0 for an LT)
    std::vector<std::uint8_t> message;     // the network-layer message, from frame offset 7
    std::string logText;                   // the text that follows "TX : " in the log (UTF-8)
    // The log shows the frame itself, byte by byte as written (the hand-made test frame): the engine
    // then logs the bytes it wrote, so a spoiled FCS of the CRC-error test shows as it went out.
    bool logIsFrameDump = false;
};

// Thrown by a builder that refuses to build: a field that does not convert, a text that does not
// fit the frame, a character without a byte. what() is the message for the operator.
class BuildError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Builds one message for a data frame. The engine keeps the builder of the last send so a T1 repeat
// builds the same message again.
class IMessageBuilder {
public:
    virtual ~IMessageBuilder() = default;
    // ns: the N(S) the frame carries (low 8 bits of V(S)); capacity: the largest network message the
    // working frame size allows, (N1 + 1) x 16 bytes. Throws BuildError to refuse.
    virtual BuiltMessage Build(std::uint8_t ns, std::size_t capacity) const = 0;
};

enum class LinkState : std::uint8_t { Setup, Confirm, Established };

struct TimerSnapshot {
    bool running = false;
    std::uint16_t interval = 0;
};

// The engine's state after an operation, for the guards and the Timer check and Variables windows.
struct LinkSnapshot {
    LinkState state = LinkState::Setup;
    std::uint16_t vs = 0, vr = 0, rk = 0, c1 = 0;
    std::int16_t sk = 0;  // may fall below 0; shown as unsigned 16-bit
    std::uint8_t lastRxByte4 = 0, lastRxByte5 = 0;  // N(R), N(k) fields of the last frame received
    std::uint16_t workingN1 = 127, workingK = 1, workingVersion = 1;
    std::size_t bufferCapacity = 2059;  // 16 x K x (N1 + 1) + 11
    std::array<TimerSnapshot, 5> timers{};  // T0..T4
    std::uint16_t t3Repeats = 0;      // idle acknowledgements still to come on T3
    std::uint16_t lastAckNr = 0;      // N(R) of the last LA that acknowledged every frame sent
    std::uint16_t t1 = 33120, t2max = 32944;  // the derived times, ms
};

// What the engine tells its owner. Called inside engine operations, on the engine's thread.
class ILinkEvents {
public:
    virtual ~ILinkEvents() = default;
    virtual void OnLinkStatus(const std::string& panelText) = 0;   // "Status   Link....." / "Status   Link OK"
    virtual void OnLinkTimes(const std::string& t1Panel, const std::string& t2maxPanel) = 0;  // "T1 : 33120(ms)"
    virtual void OnLogLine(const std::string& line) = 0;  // "N(S)!=V(R)", "TX : ..."
    virtual void OnReceivedNs(std::uint8_t ns) = 0;       // N(S) of a data frame taken in Established
    virtual void OnDataFrame(std::span<const std::uint8_t> message) = 0;  // accepted in sequence, for the decoder
    virtual void OnParameterError(const std::string& message) = 0;  // a parameter text that does not convert
    // A message was built (before it is written); isRepeat for a T1 repeat.
    virtual void OnMessageBuilt(const BuiltMessage& built, bool isRepeat) = 0;
};

}  // namespace map27
