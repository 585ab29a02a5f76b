#pragma once
// MAP27 frames on the line: layout, the frame check sequence (FCS), DLE transparency and the
// builders of the three link messages. Plain functions over byte buffers, shared by the terminal,
// the radio simulator and map27dump.
//
// A frame before stuffing (after de-stuffing on receipt), L bytes:
//   0..2 SYN DLE STX | 3 type | 4..6 header fields | 7..L-5 network message | L-4,L-3 DLE ETX |
//   L-2,L-1 FCS
// Offsets 3..L-5 are the stuffed region: on the line every 0x10 in it is followed by another 0x10.
// The FCS is CRC-16/USB over offsets 3..L-3 (unstuffed), low-order byte first on the line.
#include <array>
#include <cstddef>
#include <cstdint>
#include <random>
#include <span>
#include <vector>

namespace map27 {

inline constexpr std::uint8_t kSyn = 0x16;
inline constexpr std::uint8_t kDle = 0x10;
inline constexpr std::uint8_t kStx = 0x02;
inline constexpr std::uint8_t kEtx = 0x03;

// Link message types (frame offset 3).
inline constexpr std::uint8_t kLinkRequest = 1;   // LR: N1, K, version
inline constexpr std::uint8_t kLinkAck = 2;       // LA: N(R), N(k), 0
inline constexpr std::uint8_t kLinkTransfer = 4;  // LT: N(S), AR, 0, message

inline constexpr std::size_t kFrameOverhead = 11;  // a frame without network message
inline constexpr std::size_t kMessageOffset = 7;   // first byte of the network message
inline constexpr std::size_t kMinFrameLength = 8;  // head, type, end marker and FCS

using CrcTable = std::array<std::uint16_t, 256>;

// Builds the FCS look-up table. Each entry is the reflected CRC-16 (0xA001) table entry with its
// two bytes swapped, which lets FrameCheck work on a byte-swapped register.
CrcTable MakeCrcTable();

// The table, built on first use and never changed afterwards.
const CrcTable& FcsTable();

// The FCS over count bytes: the high byte of the result is the first FCS byte on the line (the low
// byte of the CRC-16/USB value), the low byte the second.
std::uint16_t FrameCheck(const std::uint8_t* data, std::size_t count);
std::uint16_t FrameCheck(std::span<const std::uint8_t> bytes);

// The plain CRC-16/USB value (check value 0xB4C8 over "123456789").
std::uint16_t Crc16Usb(std::span<const std::uint8_t> bytes);

// Receive-buffer size for the working N1 and K: 16 x K x (N1 + 1) + 11 bytes (2059 for 127 and 1).
std::size_t FrameBufferCapacity(std::uint16_t n1, std::uint16_t k);

// Bytes in place of the FCS while the "Make CRC error" test option is on: two bytes drawn
// uniformly, never equal to the right FCS, so that even a link request is refused by a correct
// peer.
class CrcErrorGenerator {
public:
    CrcErrorGenerator();  // seeded from the system's random source
    explicit CrcErrorGenerator(std::uint32_t seed);
    std::array<std::uint8_t, 2> WrongFcs(std::uint8_t rightFirst, std::uint8_t rightSecond);

private:
    std::mt19937 generator_;
    std::uniform_int_distribution<int> byte_{0, 255};
};

// DLE doubling of offsets 3..L-5; everything else is copied unchanged.
std::vector<std::uint8_t> StuffFrame(std::span<const std::uint8_t> frame);

// Collapses each 0x10 0x10 pair found walking offsets 3..L-5 from the left; the second byte of a
// collapsed pair never starts another pair, so 10 10 10 10 becomes 10 10.
std::vector<std::uint8_t> DestuffFrame(std::span<const std::uint8_t> received);

// Frame construction in a byte buffer, in this order: BeginFrame, a header, the message bytes
// appended from offset 7, EndFrame.
void BeginFrame(std::vector<std::uint8_t>& frame);  // clears the buffer, writes SYN DLE STX
void PutHeader(std::vector<std::uint8_t>& frame, const std::array<std::uint8_t, 4>& header);
void PutTransferHeader(std::vector<std::uint8_t>& frame, std::uint8_t ns, std::uint8_t ar);
// Appends DLE ETX and the FCS (or, with wrongFcs, two bytes that are not the FCS), then stuffs.
void EndFrame(std::vector<std::uint8_t>& frame, CrcErrorGenerator* wrongFcs = nullptr);

// Whole frames as they go on the line (stuffed).
std::vector<std::uint8_t> MakeLinkRequest(std::uint8_t n1, std::uint8_t k, std::uint8_t version,
                                          CrcErrorGenerator* wrongFcs = nullptr);
std::vector<std::uint8_t> MakeLinkAck(std::uint8_t nr, std::uint8_t nk,
                                      CrcErrorGenerator* wrongFcs = nullptr);
std::vector<std::uint8_t> MakeDataFrame(const std::array<std::uint8_t, 4>& header,
                                        std::span<const std::uint8_t> message,
                                        CrcErrorGenerator* wrongFcs = nullptr);

// True for a de-stuffed frame that starts with SYN DLE STX, ends its check region with DLE ETX and
// carries the right FCS. A frame shorter than 8 bytes has no check region and is never good.
bool IsGoodFrame(std::span<const std::uint8_t> frame);
// The FCS comparison alone (length at least 8), for tools that show a bad FCS.
bool HasGoodFcs(std::span<const std::uint8_t> frame);

// The network message of a de-stuffed data frame: offsets 7..L-5 (empty for a shorter frame).
std::span<const std::uint8_t> FrameMessage(std::span<const std::uint8_t> frame);

}  // namespace map27
