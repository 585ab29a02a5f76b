#pragma once
// The few frame rules the network layer needs for itself: the FCS and DLE doubling, to show a hand-made
// test frame exactly as it goes on the line, and the reverse for map27dump.
// Line layout: SYN DLE STX, type, three header bytes, message, DLE ETX, FCS low byte, FCS high byte.
// Every DLE between the type byte and the end marker is doubled; the FCS covers the unstuffed bytes
// from the type byte to ETX and is CRC-16/USB.
#include <cstdint>
#include <span>
#include <vector>

namespace map27::frame_bytes {

inline constexpr std::uint8_t kSyn = 0x16, kDle = 0x10, kStx = 0x02, kEtx = 0x03;

// CRC-16/USB (reflected 0x8005, preset 0xFFFF, inverted): 0xB4C8 over "123456789".
std::uint16_t Crc16Usb(std::span<const std::uint8_t> bytes);

// The whole frame as written: header (4 bytes from the type byte on) and message framed, FCS added,
// DLE doubled.
std::vector<std::uint8_t> FrameOnLine(std::span<const std::uint8_t, 4> header, std::span<const std::uint8_t> message);

// A frame as read off the line (up to DLE ETX and the two FCS bytes) with DLE doubling undone from the
// type byte to just before the end marker, as the terminal does it.
std::vector<std::uint8_t> Destuff(std::span<const std::uint8_t> received);

// True when the last two bytes of an unstuffed frame (8 bytes or more) are the FCS of its type byte..ETX.
bool FcsIsGood(std::span<const std::uint8_t> frame);

}  // namespace map27::frame_bytes
