#pragma once
// Frames as a line monitor sees them: a frame taken apart for the trace, and the small edits the
// fault commands make to an outgoing frame. Built on the link's frame codec.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "text/HexFormat.h"

namespace radiosim {

using Bytes = std::vector<std::uint8_t>;

// A frame as it came off the line, taken apart.
struct FrameView {
    bool wellFormed =
        false;  // starts with SYN DLE STX, ends with DLE ETX and two bytes, long enough
    bool fcsGood = false;
    std::uint8_t type = 0;                 // offset 3
    std::array<std::uint8_t, 3> fields{};  // offsets 4..6
    Bytes message;                         // the network message of a data frame
};
FrameView ViewFrame(std::span<const std::uint8_t> lineBytes);

// "LR N1:127 K:1 Version:1 FCS good" and the like.
std::string DescribeLinkHeader(const FrameView& view);

// Builds a frame as it goes on the line from header offsets 3..6 and a message.
Bytes MakeLineFrame(const std::array<std::uint8_t, 4>& header,
                    std::span<const std::uint8_t> message);

// The same frame with N(S) changed and the FCS made right again; nullopt when it is no data frame.
std::optional<Bytes> WithSequenceNumber(std::span<const std::uint8_t> lineBytes, std::uint8_t ns);

}  // namespace radiosim
