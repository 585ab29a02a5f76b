#include <gtest/gtest.h>

#include <random>

#include "map27/link/FrameCodec.h"
#include "map27/link/FrameReception.h"
#include "map27/link/tests/HexBytes.h"

using namespace map27;
using map27::test::Bytes;
using map27::test::Hex;

namespace {

std::vector<std::vector<std::uint8_t>> Assemble(FrameAssembler& assembler,
                                                std::span<const std::uint8_t> bytes,
                                                std::size_t* dropped = nullptr) {
    std::vector<std::vector<std::uint8_t>> frames;
    const std::size_t d = assembler.PushBytes(
        bytes, [&](std::span<const std::uint8_t> f) { frames.emplace_back(f.begin(), f.end()); });
    if (dropped != nullptr) *dropped = d;
    return frames;
}

// A frame whose FCS holds a 0x10, found by trying message bytes.
std::vector<std::uint8_t> FrameWithDleInFcs() {
    for (int b = 0; b < 256; ++b) {
        const std::vector<std::uint8_t> message{0x80, static_cast<std::uint8_t>(b)};
        auto frame = MakeDataFrame({4, 1, 1, 0}, message);
        if (frame[frame.size() - 1] == kDle || frame[frame.size() - 2] == kDle) return frame;
    }
    return {};
}

}  // namespace

TEST(FrameAssembler, TakesFramesInAnyChunking) {
    const auto wire = Bytes("16 10 02 01 10 10 01 01 10 03 22 0B 16 10 02 02 01 01 00 10 03 8F FB");
    for (std::size_t chunk = 1; chunk <= wire.size(); ++chunk) {
        FrameAssembler assembler;
        std::vector<std::vector<std::uint8_t>> frames;
        for (std::size_t i = 0; i < wire.size(); i += chunk) {
            const auto part = std::span(wire).subspan(i, std::min(chunk, wire.size() - i));
            for (auto& f : Assemble(assembler, part)) frames.push_back(std::move(f));
        }
        ASSERT_EQ(frames.size(), 2U) << chunk;
        EXPECT_EQ(Hex(frames[0]), "16 10 02 01 10 10 01 01 10 03 22 0B");  // the pair as it came
        EXPECT_EQ(Hex(frames[1]), "16 10 02 02 01 01 00 10 03 8F FB");
        EXPECT_FALSE(assembler.InProgress());
    }
}

TEST(FrameAssembler, TakesAnFcsHoldingDleAsItComes) {
    const auto wire = FrameWithDleInFcs();
    ASSERT_FALSE(wire.empty());
    FrameAssembler assembler;
    auto frames = Assemble(assembler, wire);
    ASSERT_EQ(frames.size(), 1U);
    EXPECT_EQ(frames[0], wire);
    EXPECT_TRUE(IsGoodFrame(DestuffFrame(frames[0])));
}

TEST(FrameAssembler, DropsAFrameTooLongForTheBufferAndGoesOn) {
    const std::size_t capacity = FrameBufferCapacity(0, 1);  // 16-byte messages
    FrameAssembler assembler(capacity);
    const std::vector<std::uint8_t> fits(16, 0x10);  // 43 bytes on the line, 27 de-stuffed
    const std::vector<std::uint8_t> tooLong(17, 0x41);
    std::vector<std::uint8_t> wire = MakeDataFrame({4, 1, 1, 0}, fits);
    const auto second = MakeDataFrame({4, 2, 1, 0}, tooLong);
    const auto third = MakeLinkAck(3, 1);
    wire.insert(wire.end(), second.begin(), second.end());
    wire.insert(wire.end(), third.begin(), third.end());

    std::size_t dropped = 0;
    const auto frames = Assemble(assembler, wire, &dropped);
    EXPECT_EQ(dropped, 1U);
    ASSERT_EQ(frames.size(), 2U);
    EXPECT_EQ(DestuffFrame(frames[0]).size(), capacity);
    EXPECT_EQ(Hex(frames[1]), Hex(third));
}

TEST(FrameAssembler, NeverStoresMoreThanTwiceTheCapacity) {
    FrameAssembler assembler(100);
    std::vector<std::uint8_t> noise(100000, 0x41);
    std::size_t dropped = 0;
    EXPECT_TRUE(Assemble(assembler, noise, &dropped).empty());
    EXPECT_TRUE(assembler.InProgress());
    // The end of the long run: dropped as one frame.
    EXPECT_TRUE(Assemble(assembler, Bytes("10 03 00 00"), &dropped).empty());
    EXPECT_EQ(dropped, 1U);
    EXPECT_FALSE(assembler.InProgress());
}

TEST(FrameAssembler, SkipsNoiseBeforeAFrameStart) {
    struct Case {
        const char* noise;
    } cases[] = {{"41"}, {"16"}, {"16 10"}, {"16 10 02 04"}, {"10 16"}, {"10 10 FF"}, {"00 16 16"}};
    const auto frame = MakeLinkAck(5, 1);
    for (const auto& c : cases) {
        FrameAssembler assembler;
        auto wire = Bytes(c.noise);
        wire.insert(wire.end(), frame.begin(), frame.end());
        const auto frames = Assemble(assembler, wire);
        ASSERT_EQ(frames.size(), 1U) << c.noise;
        EXPECT_EQ(frames[0], frame) << c.noise;
    }
}

TEST(FrameAssembler, AFrameWhoseStartWasLostDoesNotTakeTheNextOne) {
    const auto lost = MakeDataFrame({4, 1, 1, 0}, Bytes("80 08 07 D1 00 01"));
    const auto next = MakeLinkAck(2, 1);
    std::vector<std::uint8_t> wire(lost.begin() + 5, lost.end());  // the tail only
    wire.insert(wire.end(), next.begin(), next.end());
    FrameAssembler assembler;
    const auto frames = Assemble(assembler, wire);
    ASSERT_FALSE(frames.empty());
    EXPECT_FALSE(IsGoodFrame(DestuffFrame(frames.front())));  // the tail: damaged
    EXPECT_EQ(frames.back(), next);
}

TEST(FrameAssembler, ShortFramesComeOutButFailTheCheck) {
    FrameAssembler assembler;
    const auto frames = Assemble(assembler, Bytes("16 10 02 10 03 AA BB  10 03 00 00"));
    ASSERT_EQ(frames.size(), 2U);
    for (const auto& f : frames) EXPECT_FALSE(IsGoodFrame(DestuffFrame(f)));
}

TEST(FrameAssembler, RandomRoundTripsSurviveStuffingSplittingAndNoise) {
    std::mt19937 random(2027);
    const std::uint8_t awkward[] = {0x10, 0x02, 0x03, 0x16};
    auto randomByte = [&] {
        // Half of all bytes are the control values that matter to the framing.
        return (random() & 1U) ? awkward[random() % 4] : static_cast<std::uint8_t>(random());
    };
    FrameAssembler assembler;
    std::vector<std::vector<std::uint8_t>> sent;
    std::vector<std::uint8_t> wire;
    for (int n = 0; n < 3000; ++n) {
        if (random() % 4 == 0) {
            // Stray bytes between frames (line noise without a DLE).
            for (auto i = random() % 6; i > 0; --i) {
                std::uint8_t b = randomByte();
                wire.push_back(b == kDle ? 0x55 : b);
            }
        }
        std::vector<std::uint8_t> message(random() % 40);
        for (auto& b : message) b = randomByte();
        const std::array<std::uint8_t, 4> header{kLinkTransfer, randomByte(), randomByte(), 0};
        std::vector<std::uint8_t> unstuffed;
        BeginFrame(unstuffed);
        PutHeader(unstuffed, header);
        unstuffed.insert(unstuffed.end(), message.begin(), message.end());
        auto stuffed = MakeDataFrame(header, message);
        EndFrame(unstuffed);
        ASSERT_EQ(unstuffed, stuffed);
        sent.push_back(DestuffFrame(stuffed));
        wire.insert(wire.end(), stuffed.begin(), stuffed.end());
    }
    std::vector<std::vector<std::uint8_t>> accepted;
    for (std::size_t i = 0; i < wire.size();) {
        const std::size_t chunk = std::min<std::size_t>(1 + random() % 64, wire.size() - i);
        assembler.PushBytes(std::span(wire).subspan(i, chunk),
                            [&](std::span<const std::uint8_t> f) {
                                auto destuffed = DestuffFrame(f);
                                if (IsGoodFrame(destuffed))
                                    accepted.push_back(std::move(destuffed));
                            });
        i += chunk;
    }
    ASSERT_EQ(accepted.size(), sent.size());
    for (std::size_t i = 0; i < sent.size(); ++i) ASSERT_EQ(Hex(accepted[i]), Hex(sent[i])) << i;
}

// The reception with its supervision, its time-outs and the port events: LinkSessionTest.cpp.
