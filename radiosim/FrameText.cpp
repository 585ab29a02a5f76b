#include "FrameText.h"

#include <cstdio>

namespace radiosim {

std::uint16_t Crc16Usb(std::span<const std::uint8_t> bytes) {
    std::uint16_t crc = 0xFFFF;
    for (std::uint8_t b : bytes) {
        crc = static_cast<std::uint16_t>(crc ^ b);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1U) ? static_cast<std::uint16_t>((crc >> 1) ^ 0xA001U) : static_cast<std::uint16_t>(crc >> 1);
    }
    return static_cast<std::uint16_t>(crc ^ 0xFFFF);
}

std::string HexText(std::span<const std::uint8_t> bytes) {
    std::string text;
    text.reserve(bytes.size() * 3);
    char digits[4];
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(digits, sizeof digits, "%02X", bytes[i]);
        if (i) text += ' ';
        text += digits;
    }
    return text;
}

namespace {

// The unstuffed link header and message of a line frame (offset 3 up to the DLE ETX).
Bytes Destuff(std::span<const std::uint8_t> line) {
    Bytes region;
    const std::size_t end = line.size() - 4;
    for (std::size_t i = 3; i < end; ++i) {
        region.push_back(line[i]);
        if (line[i] == kDle && i + 1 < end && line[i + 1] == kDle) ++i;
    }
    return region;
}

void AppendStuffed(Bytes& out, std::span<const std::uint8_t> region) {
    for (std::uint8_t b : region) {
        out.push_back(b);
        if (b == kDle) out.push_back(kDle);
    }
}

}  // namespace

FrameView ViewFrame(std::span<const std::uint8_t> line) {
    FrameView view;
    if (line.size() < 11 || line[0] != kSyn || line[1] != kDle || line[2] != kStx ||
        line[line.size() - 4] != kDle || line[line.size() - 3] != kEtx)
        return view;
    Bytes region = Destuff(line);
    if (region.size() < 4) return view;
    view.wellFormed = true;
    view.type = region[0];
    view.fields = {region[1], region[2], region[3]};
    view.message.assign(region.begin() + 4, region.end());
    region.push_back(kDle);
    region.push_back(kEtx);
    const std::uint16_t crc = Crc16Usb(region);
    view.fcsGood = line[line.size() - 2] == (crc & 0xFF) && line[line.size() - 1] == (crc >> 8);
    return view;
}

std::string DescribeLinkHeader(const FrameView& view) {
    if (!view.wellFormed) return "damaged frame";
    char text[96];
    const unsigned a = view.fields[0], b = view.fields[1], c = view.fields[2];
    switch (view.type) {
    case 1: std::snprintf(text, sizeof text, "LR N1:%u K:%u Version:%u", a, b, c); break;
    case 2: std::snprintf(text, sizeof text, "LA N(R):%u N(k):%u", a, b); break;
    case 4: std::snprintf(text, sizeof text, "LT N(S):%u AR:%u", a, b); break;
    default: std::snprintf(text, sizeof text, "type %02X %02X %02X %02X", view.type, a, b, c); break;
    }
    return std::string(text) + (view.fcsGood ? " FCS good" : " FCS BAD");
}

Bytes MakeLineFrame(std::span<const std::uint8_t> header, std::span<const std::uint8_t> message) {
    Bytes region(header.begin(), header.end());
    region.insert(region.end(), message.begin(), message.end());
    Bytes line{kSyn, kDle, kStx};
    AppendStuffed(line, region);
    line.push_back(kDle);
    line.push_back(kEtx);
    region.push_back(kDle);
    region.push_back(kEtx);
    const std::uint16_t crc = Crc16Usb(region);
    line.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    line.push_back(static_cast<std::uint8_t>(crc >> 8));
    return line;
}

std::optional<Bytes> WithSequenceNumber(std::span<const std::uint8_t> line, std::uint8_t ns) {
    const FrameView view = ViewFrame(line);
    if (!view.wellFormed || view.type != 4) return std::nullopt;
    const std::array<std::uint8_t, 4> header{view.type, ns, view.fields[1], view.fields[2]};
    return MakeLineFrame(header, view.message);
}

std::vector<Bytes> FrameCutter::Feed(std::span<const std::uint8_t> bytes) {
    std::vector<Bytes> done;
    for (std::uint8_t b : bytes) {
        switch (state_) {
        case State::Hunt:
            if (hunt1_ == kSyn && hunt2_ == kDle && b == kStx) {
                discarded_ -= 2;  // the SYN DLE counted below belong to this frame
                frame_ = {kSyn, kDle, kStx};
                state_ = State::Body;
                hunt1_ = hunt2_ = 0;
            } else {
                ++discarded_;
                hunt1_ = hunt2_;
                hunt2_ = b;
            }
            continue;
        case State::Body:
            if (b == kDle) state_ = State::AfterDle;
            else frame_.push_back(b);
            break;
        case State::AfterDle:
            if (b == kStx) {  // a start marker: whatever came before was a broken frame
                discarded_ += frame_.size() - 1;
                frame_ = {kSyn, kDle, kStx};
                state_ = State::Body;
                continue;
            }
            frame_.push_back(kDle);
            frame_.push_back(b);
            if (b == kEtx) {
                state_ = State::Fcs;
                fcsLeft_ = 2;
            } else {
                state_ = State::Body;
            }
            break;
        case State::Fcs:
            frame_.push_back(b);
            if (--fcsLeft_ == 0) {
                done.push_back(std::move(frame_));
                frame_.clear();
                state_ = State::Hunt;
            }
            continue;
        }
        if (frame_.size() > max_) {
            discarded_ += frame_.size();
            frame_.clear();
            state_ = State::Hunt;
        }
    }
    return done;
}

}  // namespace radiosim
