#include "FrameBytes.h"

namespace map27::frame_bytes {

std::uint16_t Crc16Usb(std::span<const std::uint8_t> bytes) {
    std::uint16_t crc = 0xFFFF;
    for (std::uint8_t byte : bytes) {
        crc = static_cast<std::uint16_t>(crc ^ byte);
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 1U) != 0 ? static_cast<std::uint16_t>((crc >> 1) ^ 0xA001U) : static_cast<std::uint16_t>(crc >> 1);
        }
    }
    return static_cast<std::uint16_t>(crc ^ 0xFFFFU);
}

std::vector<std::uint8_t> FrameOnLine(std::span<const std::uint8_t, 4> header, std::span<const std::uint8_t> message) {
    std::vector<std::uint8_t> checked(header.begin(), header.end());
    checked.insert(checked.end(), message.begin(), message.end());
    checked.push_back(kDle);
    checked.push_back(kEtx);
    const std::uint16_t fcs = Crc16Usb(checked);

    std::vector<std::uint8_t> line = {kSyn, kDle, kStx};
    line.reserve(checked.size() * 2 + 5);
    for (std::size_t i = 0; i + 2 < checked.size(); ++i) {
        line.push_back(checked[i]);
        if (checked[i] == kDle) line.push_back(kDle);
    }
    line.push_back(kDle);
    line.push_back(kEtx);
    line.push_back(static_cast<std::uint8_t>(fcs & 0xFFU));
    line.push_back(static_cast<std::uint8_t>(fcs >> 8));
    return line;
}

std::vector<std::uint8_t> Destuff(std::span<const std::uint8_t> received) {
    std::vector<std::uint8_t> frame(received.begin(), received.end());
    // The stuffed region runs from offset 3 to L-5; the second byte of a collapsed pair is never taken
    // as the start of another pair.
    for (std::size_t i = 3; i + 5 <= frame.size(); ++i) {
        if (frame[i] == kDle && frame[i + 1] == kDle) {
            frame.erase(frame.begin() + static_cast<std::ptrdiff_t>(i) + 1);
        }
    }
    return frame;
}

bool FcsIsGood(std::span<const std::uint8_t> frame) {
    if (frame.size() < 8) return false;
    const std::uint16_t fcs = Crc16Usb(frame.subspan(3, frame.size() - 5));
    return frame[frame.size() - 2] == (fcs & 0xFFU) && frame[frame.size() - 1] == (fcs >> 8);
}

}  // namespace map27::frame_bytes
