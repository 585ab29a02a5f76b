#pragma once
// The simulator's own view of frames on the line: cutting the byte stream into frames, taking a
// frame apart for the trace, and the small edits the fault commands make to an outgoing frame.
// The link engine does the protocol work; this is only what a line monitor needs.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace radiosim {

using Bytes = std::vector<std::uint8_t>;

inline constexpr std::uint8_t kSyn = 0x16, kDle = 0x10, kStx = 0x02, kEtx = 0x03;

// CRC-16/USB over the bytes (the value as a number; low byte first on the line).
std::uint16_t Crc16Usb(std::span<const std::uint8_t> bytes);

// "16 10 02"
std::string HexText(std::span<const std::uint8_t> bytes);

// A frame as it came off the line, taken apart.
struct FrameView {
    bool wellFormed = false;  // starts with SYN DLE STX, ends with DLE ETX and two bytes, long enough
    bool fcsGood = false;
    std::uint8_t type = 0;    // offset 3
    std::array<std::uint8_t, 3> fields{};  // offsets 4..6
    Bytes message;            // the network message of a data frame
};
FrameView ViewFrame(std::span<const std::uint8_t> lineBytes);

// "LR N1:127 K:1 Version:1 FCS good" and the like.
std::string DescribeLinkHeader(const FrameView& view);

// Builds a frame as it goes on the line from header offsets 3..6 and a message.
Bytes MakeLineFrame(std::span<const std::uint8_t> header, std::span<const std::uint8_t> message);

// The same frame with N(S) changed and the FCS made right again; nullopt when it is no data frame.
std::optional<Bytes> WithSequenceNumber(std::span<const std::uint8_t> lineBytes, std::uint8_t ns);

// Cuts the received byte stream into frames: from SYN DLE STX to DLE ETX and the two FCS bytes.
// Bytes before a start marker are skipped; a new start marker inside a frame begins the frame
// again; a frame longer than the bound is abandoned.
class FrameCutter {
public:
    explicit FrameCutter(std::size_t maxFrameBytes = 8192) : max_(maxFrameBytes) {}
    // Feeds bytes; returns the frames completed by them, in order.
    std::vector<Bytes> Feed(std::span<const std::uint8_t> bytes);
    std::size_t DiscardedBytes() const { return discarded_; }

private:
    enum class State { Hunt, Body, AfterDle, Fcs };
    std::size_t max_;
    State state_ = State::Hunt;
    Bytes frame_;
    std::size_t fcsLeft_ = 0;
    std::size_t discarded_ = 0;
    std::uint8_t hunt1_ = 0, hunt2_ = 0;  // the last two bytes seen while hunting
};

}  // namespace radiosim
