// De-stuffing and the FCS. The input is taken as a received frame, as an unstuffed frame and as
// the parts of a data frame to build, and the codec's identities are checked on each:
//   DestuffFrame(StuffFrame(f)) == f for every f;
//   StuffFrame(DestuffFrame(r)) == r when r is the stuffing of some frame;
//   a built frame is good, carries its header and message, and one flipped bit makes it bad;
//   the table-driven FCS equals a bit-by-bit CRC-16/USB.
#include <algorithm>
#include <array>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "map27/link/FrameCodec.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

std::uint16_t BitwiseCrc16Usb(std::span<const std::uint8_t> bytes) {
    std::uint16_t crc = 0xFFFF;
    for (const std::uint8_t byte : bytes) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit)
            crc = static_cast<std::uint16_t>((crc & 1U) ? (crc >> 1) ^ 0xA001U : crc >> 1);
    }
    return static_cast<std::uint16_t>(crc ^ 0xFFFFU);
}

std::size_t DlesInStuffedRegion(std::span<const std::uint8_t> frame) {
    std::size_t count = 0;
    for (std::size_t i = 3; i + 5 <= frame.size(); ++i) count += frame[i] == map27::kDle ? 1U : 0U;
    return count;
}

// True when every DLE of the region, walked as the receiver walks it, is doubled and the last pair
// ends before the end marker: the bytes are then the stuffing of some frame.
bool IsCanonicallyStuffed(std::span<const std::uint8_t> received) {
    const std::size_t length = received.size();
    if (length < map27::kMinFrameLength) return true;  // no region: nothing to stuff
    std::size_t i = 3;
    while (i + 5 <= length) {
        if (received[i] != map27::kDle) {
            ++i;
        } else if (received[i + 1] == map27::kDle) {
            i += 2;
        } else {
            return false;
        }
    }
    return i == length - 4;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);

    // As a received frame.
    const Bytes destuffed = map27::DestuffFrame(bytes);
    FUZZ_CHECK(destuffed.size() <= bytes.size(), "de-stuffing never lengthens");
    FUZZ_CHECK(bytes.size() - destuffed.size() <= bytes.size() / 2,
               "each collapse takes one byte of a pair");
    const Bytes restuffed = map27::StuffFrame(destuffed);
    FUZZ_CHECK(map27::DestuffFrame(restuffed) == destuffed, "de-stuffing inverts stuffing");
    FUZZ_CHECK((restuffed == Bytes(bytes.begin(), bytes.end())) == IsCanonicallyStuffed(bytes),
               "the received bytes come back from their frame exactly when they are its stuffing");
    (void)map27::IsGoodFrame(destuffed);
    (void)map27::FrameMessage(destuffed);

    // As an unstuffed frame.
    const Bytes stuffed = map27::StuffFrame(bytes);
    FUZZ_CHECK(stuffed.size() == bytes.size() + DlesInStuffedRegion(bytes),
               "stuffing doubles each DLE of the region and nothing else");
    FUZZ_CHECK(map27::DestuffFrame(stuffed) == Bytes(bytes.begin(), bytes.end()),
               "de-stuffing a stuffed frame gives it back");

    // The FCS against the definition.
    FUZZ_CHECK(map27::Crc16Usb(bytes) == BitwiseCrc16Usb(bytes), "table FCS equals bitwise CRC");

    // As the parts of a data frame: four header bytes, then the message.
    fuzz::Input input(data, size);
    std::array<std::uint8_t, 4> header{};
    for (auto& b : header) b = input.Byte();
    const std::uint8_t flip = input.Byte();
    const auto message = input.Rest();
    const Bytes wire = map27::MakeDataFrame(header, message);
    const Bytes frame = map27::DestuffFrame(wire);
    FUZZ_CHECK(map27::IsGoodFrame(frame), "a built frame is good");
    FUZZ_CHECK(map27::StuffFrame(frame) == wire, "a built frame is its own stuffing");
    FUZZ_CHECK(std::equal(header.begin(), header.end(), frame.begin() + 3),
               "the header is where it belongs");
    const auto carried = map27::FrameMessage(frame);
    FUZZ_CHECK(std::equal(carried.begin(), carried.end(), message.begin(), message.end()),
               "the message comes back");
    // CRC-16 finds every single-bit error in the checked region (offsets 3 .. L-1).
    Bytes damaged = frame;
    const std::size_t region = damaged.size() - 3;
    const std::size_t at = 3 + (std::size_t{flip} * 131U) % region;
    damaged[at] = static_cast<std::uint8_t>(damaged[at] ^ (1U << (flip % 8U)));
    FUZZ_CHECK(!map27::HasGoodFcs(damaged), "one flipped bit spoils the FCS");

    map27::CrcErrorGenerator spoiler(static_cast<std::uint32_t>(size));
    const Bytes spoiled = map27::DestuffFrame(map27::MakeDataFrame(header, message, &spoiler));
    FUZZ_CHECK(!map27::IsGoodFrame(spoiled), "a spoiled FCS is never right");
    return 0;
}
