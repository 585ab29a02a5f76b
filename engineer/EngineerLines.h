#pragma once
// The engineer window's line logic, free of any toolkit: how a transmit line becomes bytes in each
// mode, and how the bytes waiting at the port become one received line.
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "text/HexFormat.h"

namespace orrick {

// The window's mode number; kept between runs as an integer.
enum TEngMode : int { DataMode = 0, BinaryMode = 1, AsciiMode = 2 };

inline constexpr char kStx = 0x02;
inline constexpr char kEtx = 0x03;
// Longest Binary line: two characters a byte, and the port takes 4095 bytes in one write (its
// 4096-byte output queue less one).
inline constexpr std::size_t kMaxBinaryLineChars = 8190;
inline constexpr std::chrono::milliseconds kDataLineSilence{1000};
inline constexpr std::size_t kMaxReceivedLineBytes = 4096;
inline constexpr std::u16string_view kIncorrectDataFormat = u"Incorrect Data Format : ";

// ---- Sending -----------------------------------------------------------------------------------

// Data and Ascii modes: "@" becomes STX, "#" ETX, every other character its code page 437 byte.
struct TMarkedLineBytes {
    std::string bytes;
    // Set when a character has no byte in the code page; then nothing may be sent.
    std::optional<char32_t> refused;
};
TMarkedLineBytes EncodeMarkedLine(std::u16string_view line);

// Binary mode: pairs of hexadecimal digits, no separators.
struct THexLineBytes {
    enum class TStatus { Ok, OddLength, TooLong, NotHex };
    TStatus status = TStatus::Ok;
    std::string bytes;
    std::u16string badPair;  // the first pair that is not hexadecimal (NotHex)
};
THexLineBytes DecodeHexLine(std::u16string_view line);

// "'0g' is not a valid integer value": the wording of every failed integer conversion.
std::string NotAnIntegerMessage(std::u16string_view text);

// ---- Receiving ---------------------------------------------------------------------------------

// How a received byte is shown in Data and Ascii lines: code page 437 above 0x7F, and control
// characters as their visible symbols (U+2400 block) so that one line stays one line.
char16_t ReceivedCharacter(std::uint8_t byte);

// "0A ": the byte as two upper-case hexadecimal digits and one blank.
using text::AppendHexByteBlank;

// What the receive side needs of the port (THComm on the receive thread, a fake in tests).
class TRxPort {
public:
    virtual ~TRxPort() = default;
    // Bytes waiting, or -1 when the port is closed.
    virtual std::int32_t CountInBuff() = 0;
    virtual void ReadData(void* buffer, std::uint32_t count) = 0;
    // Up to count of the bytes waiting, without waiting; -1 when the port is closed.
    virtual std::int32_t ReadWaiting(void* buffer, std::uint32_t count);
    // Blocks until a byte waits, the timeout passes or the port is closed; whether a byte waits.
    virtual bool WaitForInput(int timeoutMs) = 0;
};

using TSteadyClock = std::function<std::chrono::steady_clock::time_point()>;

// How long a Binary or Ascii line waits for its next byte: 3.5 character times at the port's speed
// (start, data, parity and stop bits), at least 1 ms. A USB adapter hands a reply over in pieces,
// with the line time of a byte or more between them; a longer silence is the end of the reply.
std::chrono::microseconds LineSilence(unsigned bitsPerSecond, unsigned bitsPerCharacter);

// Silence limit of a line. Started when the input queue is found empty (a start while it runs keeps
// the first start), stopped by every byte read.
class TSilenceTimer {
public:
    explicit TSilenceTimer(std::chrono::steady_clock::duration interval) : interval_(interval) {}
    void Start(std::chrono::steady_clock::time_point now);
    void Stop() { running_ = false; }
    bool Running() const { return running_; }
    // Whole milliseconds left, rounded up; 0 once expired (or when not running).
    int RemainingMs(std::chrono::steady_clock::time_point now) const;

private:
    std::chrono::steady_clock::duration interval_;
    std::chrono::steady_clock::time_point deadline_{};
    bool running_ = false;
};

// A Data-mode line from the bytes waiting at the port: byte by byte up to and including ETX ("@"
// for STX, "#" for ETX, nothing for 0x00); bytes after the ETX stay queued. When no byte arrives
// for 1000 ms from the moment the queue was found empty, or the port closes meanwhile, the line
// ends with "Incorrect Data Format : " in front; when no byte came at all, there is no line.
std::u16string ReceiveDataLine(TRxPort& port, const TSteadyClock& now);

// The clocks and limits of one receive event.
struct TReceiveTiming {
    TSteadyClock now{};
    // Binary and Ascii: the silence that ends a line (LineSilence).
    std::chrono::microseconds lineSilence{1000};
    // How long the receive thread has waited to run so far, a running total; empty or zero where
    // the system does not tell. A byte found late only because the thread was kept from running
    // is then not taken for the end of a silence.
    std::function<std::chrono::nanoseconds()> waitedToRun{};
    // When the display will show a line handed over now, at the soonest. A line may be held that
    // long, to see whether the next piece belongs to it; empty: hand each over at its silence.
    TSteadyClock shownNoSoonerThan{};
};

using TDeliverLine =
    std::function<void(std::u16string&& line, std::chrono::steady_clock::time_point endedAt)>;

// What one receive event does, in the mode given; every non-empty line goes to deliver, in order,
// with the time its last byte was found.
// - Data: ReceiveDataLine again and again while bytes wait (the port raises its event for new
//   arrivals only, so a frame right behind another would otherwise wait for the next arrival).
// - Binary: every byte as "0A "; Ascii: every byte as a character (0x00 adds nothing). A line
//   ends when lineSilence passes without a byte, and after kMaxReceivedLineBytes, so that an
//   endless stream still shows. The silence is judged when the next piece comes, from when it was
//   found: waiting for the silence itself would wake the thread a second time for every line of a
//   stream. The wait ends at the silence, or later while the display would not show the line
//   sooner anyway (shownNoSoonerThan); then the line is delivered and the event is over.
void ReceiveLines(int mode, TRxPort& port, const TReceiveTiming& timing,
                  const TDeliverLine& deliver);

}  // namespace orrick
