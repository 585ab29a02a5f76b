#include "map27/link/FrameCodec.h"

namespace map27 {

namespace {

constexpr std::uint16_t SwapBytes(std::uint16_t value) {
    return static_cast<std::uint16_t>((value << 8) | (value >> 8));
}

}  // namespace

CrcTable MakeCrcTable() {
    // One word per input bit: the register's response to a single 1 bit, bytes swapped.
    std::array<std::uint16_t, 8> bitWord{};
    std::uint16_t r = 0;
    bool feed = true;
    for (std::size_t i = 0; i < 8; ++i) {
        if (feed) r ^= 0xA001;
        bitWord[i] = SwapBytes(r);
        feed = (r & 1U) != 0;
        r = static_cast<std::uint16_t>(r >> 1);
    }
    CrcTable table{};
    for (std::size_t v = 0; v < 256; ++v) {
        std::uint16_t entry = 0;
        for (std::size_t j = 0; j < 8; ++j) {
            if ((v >> (7 - j)) & 1U) entry ^= bitWord[j];
        }
        table[v] = entry;
    }
    return table;
}

const CrcTable& FcsTable() {
    static const CrcTable table = MakeCrcTable();
    return table;
}

std::uint16_t FrameCheck(const std::uint8_t* data, std::size_t count) {
    const CrcTable& table = FcsTable();
    // The register holds the CRC with its bytes swapped.
    std::uint16_t a = 0xFFFF;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint16_t t = table[static_cast<std::uint8_t>(data[i] ^ (a >> 8))];
        a = static_cast<std::uint16_t>(
            ((t & 0xFF00U) ^ ((static_cast<unsigned>(a) << 8) & 0xFFFFU)) | (t & 0x00FFU));
    }
    return static_cast<std::uint16_t>(a ^ 0xFFFFU);
}

std::uint16_t FrameCheck(std::span<const std::uint8_t> bytes) {
    return FrameCheck(bytes.data(), bytes.size());
}

std::uint16_t Crc16Usb(std::span<const std::uint8_t> bytes) {
    return SwapBytes(FrameCheck(bytes));
}

std::size_t FrameBufferCapacity(std::uint16_t n1, std::uint16_t k) {
    return 16U * std::size_t{k} * (std::size_t{n1} + 1U) + kFrameOverhead;
}

CrcErrorGenerator::CrcErrorGenerator() : generator_(std::random_device{}()) {}

CrcErrorGenerator::CrcErrorGenerator(std::uint32_t seed) : generator_(seed) {}

std::array<std::uint8_t, 2> CrcErrorGenerator::WrongFcs(std::uint8_t rightFirst,
                                                        std::uint8_t rightSecond) {
    for (;;) {
        const auto first = static_cast<std::uint8_t>(byte_(generator_));
        const auto second = static_cast<std::uint8_t>(byte_(generator_));
        if (first != rightFirst || second != rightSecond) return {first, second};
    }
}

std::vector<std::uint8_t> StuffFrame(std::span<const std::uint8_t> frame) {
    const std::size_t length = frame.size();
    std::vector<std::uint8_t> out;
    out.reserve(length + length / 8 + 4);
    // The region 3..L-5 of the unstuffed frame: insertions move the bound with them.
    for (std::size_t i = 0; i < length; ++i) {
        out.push_back(frame[i]);
        if (i >= 3 && i + 5 <= length && frame[i] == kDle) out.push_back(kDle);
    }
    return out;
}

std::vector<std::uint8_t> DestuffFrame(std::span<const std::uint8_t> received) {
    const std::size_t length = received.size();
    std::vector<std::uint8_t> out;
    out.reserve(length);
    std::size_t i = 0;
    for (; i < length && i < 3; ++i) out.push_back(received[i]);
    // Walking the received bytes: a collapse shortens the frame by one and moves the walk on by
    // one, so in received positions the bound stays at L-5 and a collapsed pair is skipped whole.
    while (i + 5 <= length) {
        out.push_back(received[i]);
        i += (received[i] == kDle && received[i + 1] == kDle) ? 2U : 1U;
    }
    for (; i < length; ++i) out.push_back(received[i]);
    return out;
}

void BeginFrame(std::vector<std::uint8_t>& frame) {
    frame.clear();
    frame.push_back(kSyn);
    frame.push_back(kDle);
    frame.push_back(kStx);
}

void PutHeader(std::vector<std::uint8_t>& frame, const std::array<std::uint8_t, 4>& header) {
    frame.resize(3);
    frame.insert(frame.end(), header.begin(), header.end());
}

void PutTransferHeader(std::vector<std::uint8_t>& frame, std::uint8_t ns, std::uint8_t ar) {
    PutHeader(frame, {kLinkTransfer, ns, ar, 0});
}

void EndFrame(std::vector<std::uint8_t>& frame, CrcErrorGenerator* wrongFcs) {
    frame.push_back(kDle);
    frame.push_back(kEtx);
    const std::uint16_t fcs = FrameCheck(frame.data() + 3, frame.size() - 3);
    auto first = static_cast<std::uint8_t>(fcs >> 8);
    auto second = static_cast<std::uint8_t>(fcs & 0xFFU);
    if (wrongFcs != nullptr) {
        const auto wrong = wrongFcs->WrongFcs(first, second);
        first = wrong[0];
        second = wrong[1];
    }
    frame.push_back(first);
    frame.push_back(second);
    frame = StuffFrame(frame);
}

std::vector<std::uint8_t> MakeLinkRequest(std::uint8_t n1, std::uint8_t k, std::uint8_t version,
                                          CrcErrorGenerator* wrongFcs) {
    std::vector<std::uint8_t> frame;
    BeginFrame(frame);
    PutHeader(frame, {kLinkRequest, n1, k, version});
    EndFrame(frame, wrongFcs);
    return frame;
}

std::vector<std::uint8_t> MakeLinkAck(std::uint8_t nr, std::uint8_t nk,
                                      CrcErrorGenerator* wrongFcs) {
    std::vector<std::uint8_t> frame;
    BeginFrame(frame);
    PutHeader(frame, {kLinkAck, nr, nk, 0});
    EndFrame(frame, wrongFcs);
    return frame;
}

std::vector<std::uint8_t> MakeDataFrame(const std::array<std::uint8_t, 4>& header,
                                        std::span<const std::uint8_t> message,
                                        CrcErrorGenerator* wrongFcs) {
    std::vector<std::uint8_t> frame;
    frame.reserve(message.size() + kFrameOverhead);
    BeginFrame(frame);
    PutHeader(frame, header);
    frame.insert(frame.end(), message.begin(), message.end());
    EndFrame(frame, wrongFcs);
    return frame;
}

bool HasGoodFcs(std::span<const std::uint8_t> frame) {
    const std::size_t length = frame.size();
    if (length < kMinFrameLength) return false;
    const std::uint16_t fcs = FrameCheck(frame.data() + 3, length - 5);
    return frame[length - 2] == static_cast<std::uint8_t>(fcs >> 8) &&
           frame[length - 1] == static_cast<std::uint8_t>(fcs & 0xFFU);
}

bool IsGoodFrame(std::span<const std::uint8_t> frame) {
    const std::size_t length = frame.size();
    if (length < kMinFrameLength) return false;
    if (frame[0] != kSyn || frame[1] != kDle || frame[2] != kStx) return false;
    if (frame[length - 4] != kDle || frame[length - 3] != kEtx) return false;
    return HasGoodFcs(frame);
}

std::span<const std::uint8_t> FrameMessage(std::span<const std::uint8_t> frame) {
    if (frame.size() < kFrameOverhead) return {};
    return frame.subspan(kMessageOffset, frame.size() - kFrameOverhead);
}

}  // namespace map27
