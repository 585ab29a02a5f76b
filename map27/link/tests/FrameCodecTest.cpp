#include <gtest/gtest.h>

#include <random>
#include <string>

#include "map27/link/FrameCodec.h"
#include "map27/link/tests/HexBytes.h"

using namespace map27;
using map27::test::Bytes;
using map27::test::Hex;

namespace {

std::uint16_t ReferenceCrc16Usb(std::span<const std::uint8_t> bytes) {
    std::uint16_t crc = 0xFFFF;
    for (const std::uint8_t b : bytes) {
        crc ^= b;
        for (int bit = 0; bit < 8; ++bit)
            crc = static_cast<std::uint16_t>((crc & 1U) ? (crc >> 1) ^ 0xA001U : crc >> 1);
    }
    return static_cast<std::uint16_t>(crc ^ 0xFFFFU);
}

}  // namespace

TEST(FrameCheck, GivesTheCrc16UsbCheckValueLowByteFirst) {
    const std::string digits = "123456789";
    const std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(digits.data()),
                                              digits.size());
    EXPECT_EQ(Crc16Usb(bytes), 0xB4C8);
    EXPECT_EQ(FrameCheck(bytes), 0xC8B4);  // high byte first on the line
    EXPECT_EQ(ReferenceCrc16Usb(bytes), 0xB4C8);
}

TEST(FrameCheck, TableIsTheReflectedTableWithBytesSwapped) {
    const CrcTable table = MakeCrcTable();
    for (std::uint16_t v = 0; v < 256; ++v) {
        std::uint16_t r = v;
        for (int bit = 0; bit < 8; ++bit)
            r = static_cast<std::uint16_t>((r & 1U) ? (r >> 1) ^ 0xA001U : r >> 1);
        EXPECT_EQ(table[v], static_cast<std::uint16_t>((r << 8) | (r >> 8))) << v;
    }
    EXPECT_EQ(&FcsTable(), &FcsTable());
}

TEST(FrameCheck, AgreesWithBitwiseCrcOnEveryLength) {
    std::vector<std::uint8_t> data;
    for (int i = 0; i < 300; ++i) {
        EXPECT_EQ(Crc16Usb(data), ReferenceCrc16Usb(data)) << i;
        data.push_back(static_cast<std::uint8_t>(i * 37 + 11));
    }
}

TEST(FrameCodec, BuildsTheFramesOnTheWireByteForByte) {
    const std::vector<std::uint8_t> statusMessage{0x80};
    struct Case {
        const char* name;
        std::vector<std::uint8_t> built;
        const char* wire;
    } cases[] = {
        {"default LR", MakeLinkRequest(127, 1, 1), "16 10 02 01 7F 01 01 10 03 F6 02"},
        {"LA V(R) 1 R(k) 1", MakeLinkAck(1, 1), "16 10 02 02 01 01 00 10 03 8F FB"},
        {"LR N1 16 doubles the 10", MakeLinkRequest(16, 1, 1),
         "16 10 02 01 10 10 01 01 10 03 22 0B"},
        {"LT N(S) 1 AR 1 0x80", MakeDataFrame({4, 1, 1, 0}, statusMessage),
         "16 10 02 04 01 01 00 80 10 03 D1 07"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Hex(c.built), c.wire) << c.name;
        const auto destuffed = DestuffFrame(c.built);
        EXPECT_TRUE(IsGoodFrame(destuffed)) << c.name;
    }
}

TEST(FrameCodec, BeginPutEndBuildTheSameDataFrame) {
    std::vector<std::uint8_t> frame;
    BeginFrame(frame);
    PutTransferHeader(frame, 1, 1);
    frame.push_back(0x80);
    EndFrame(frame);
    EXPECT_EQ(Hex(frame), "16 10 02 04 01 01 00 80 10 03 D1 07");
}

TEST(FrameCodec, ThreeDleDataBytesTravelAsSixAndArriveAsThree) {
    const std::vector<std::uint8_t> message{0x10, 0x10, 0x10};
    const auto wire = MakeDataFrame({4, 2, 0, 0}, message);
    ASSERT_EQ(wire.size(), 11U + 6U);
    EXPECT_EQ(Hex(std::span(wire).subspan(7, 6)), "10 10 10 10 10 10");
    const auto destuffed = DestuffFrame(wire);
    ASSERT_TRUE(IsGoodFrame(destuffed));
    EXPECT_EQ(Hex(FrameMessage(destuffed)), "10 10 10");
}

TEST(FrameCodec, DestuffingCollapsesPairsFromTheLeftWithinTheRegion) {
    struct Case {
        const char* received;
        const char* destuffed;
    } cases[] = {
        {"16 10 02 10 10 10 10 10 03 AA BB", "16 10 02 10 10 10 03 AA BB"},  // 10 10 10 10 -> 10 10
        {"16 10 02 10 10 10 10 10 10 10 03 AA BB", "16 10 02 10 10 10 10 03 AA BB"},
        {"16 10 02 04 10 10 10 03 10 10", "16 10 02 04 10 10 03 10 10"},  // FCS bytes untouched
        {"16 10 02 10 03 10 10", "16 10 02 10 03 10 10"},                 // no region at all
        {"10 10", "10 10"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Hex(DestuffFrame(Bytes(c.received))), c.destuffed) << c.received;
}

TEST(FrameCodec, StuffingDoublesOnlyTheRegion) {
    // Header, message and end marker: 10 in the region doubled, the end marker and FCS left alone.
    EXPECT_EQ(Hex(StuffFrame(Bytes("16 10 02 10 10 00 00 10 03 10 10"))),
              "16 10 02 10 10 10 10 00 00 10 03 10 10");
    for (int n = 0; n < 40; ++n) {
        std::vector<std::uint8_t> frame = Bytes("16 10 02 04 10 10 00");
        frame.insert(frame.end(), static_cast<std::size_t>(n), 0x10);
        frame.insert(frame.end(), {0x10, 0x03, 0x10, 0x10});
        EXPECT_EQ(DestuffFrame(StuffFrame(frame)), frame) << n;
    }
}

namespace {

// The in-place algorithms, step by step, as a reference for the single-pass ones.
std::vector<std::uint8_t> StuffInPlace(std::vector<std::uint8_t> b) {
    std::size_t length = b.size();
    for (std::size_t i = 3; i + 5 <= length; ++i) {
        if (b[i] == 0x10) {
            b.insert(b.begin() + static_cast<std::ptrdiff_t>(i) + 1, 0x10);
            ++length;
            ++i;
        }
    }
    return b;
}

std::vector<std::uint8_t> DestuffInPlace(std::vector<std::uint8_t> b) {
    std::size_t length = b.size();
    for (std::size_t i = 3; i + 5 <= length; ++i) {
        if (b[i] == 0x10 && b[i + 1] == 0x10) {
            b.erase(b.begin() + static_cast<std::ptrdiff_t>(i) + 1);
            --length;
        }
    }
    return b;
}

}  // namespace

TEST(FrameCodec, StuffingAndDestuffingMatchTheInPlaceAlgorithms) {
    std::mt19937 random(11);
    for (int n = 0; n < 5000; ++n) {
        std::vector<std::uint8_t> bytes(random() % 24);
        for (auto& b : bytes)
            b = (random() % 3 == 0) ? static_cast<std::uint8_t>(random()) : std::uint8_t{0x10};
        ASSERT_EQ(StuffFrame(bytes), StuffInPlace(bytes)) << Hex(bytes);
        ASSERT_EQ(DestuffFrame(bytes), DestuffInPlace(bytes)) << Hex(bytes);
    }
}

TEST(FrameCodec, OneWrongBitAnywhereMakesTheFrameBad) {
    const std::vector<std::uint8_t> message{0x80, 0x08, 0x07, 0xD1, 0x00, 0x01};
    const auto good = DestuffFrame(MakeDataFrame({4, 1, 1, 0}, message));
    ASSERT_TRUE(IsGoodFrame(good));
    for (std::size_t i = 0; i < good.size(); ++i) {
        for (int bit = 0; bit < 8; ++bit) {
            auto bad = good;
            bad[i] = static_cast<std::uint8_t>(bad[i] ^ (1U << bit));
            EXPECT_FALSE(IsGoodFrame(bad)) << "byte " << i << " bit " << bit;
        }
    }
}

TEST(FrameCodec, ShortFramesAreNeverGood) {
    for (const char* shortFrame : {"", "16", "16 10 02 10 03 FF", "16 10 02 10 03 FF FF"}) {
        EXPECT_FALSE(IsGoodFrame(Bytes(shortFrame))) << shortFrame;
        EXPECT_FALSE(HasGoodFcs(Bytes(shortFrame))) << shortFrame;
    }
    // Eight bytes is the least that holds a check region (the type byte and the end marker).
    std::vector<std::uint8_t> eight = Bytes("16 10 02 01 10 03");
    const std::uint16_t fcs = FrameCheck(std::span(eight).subspan(3));
    eight.push_back(static_cast<std::uint8_t>(fcs >> 8));
    eight.push_back(static_cast<std::uint8_t>(fcs));
    EXPECT_TRUE(IsGoodFrame(eight));
    EXPECT_TRUE(FrameMessage(eight).empty());
}

TEST(FrameCodec, CrcErrorModeChangesOnlyTheFcs) {
    CrcErrorGenerator wrong(12345);
    const auto right = MakeLinkRequest(127, 1, 1);
    for (int i = 0; i < 2000; ++i) {
        const auto frame = MakeLinkRequest(127, 1, 1, &wrong);
        ASSERT_EQ(frame.size(), right.size());
        EXPECT_TRUE(std::equal(right.begin(), right.end() - 2, frame.begin()));
        EXPECT_FALSE(IsGoodFrame(DestuffFrame(frame)));
    }
}

TEST(FrameCodec, BufferCapacityFollowsN1AndK) {
    EXPECT_EQ(FrameBufferCapacity(127, 1), 2059U);
    EXPECT_EQ(FrameBufferCapacity(64, 1), 16U * 65U + 11U);
    EXPECT_EQ(FrameBufferCapacity(127, 3), 3U * 2048U + 11U);
    EXPECT_EQ(FrameBufferCapacity(65535, 65535), 16ULL * 65535ULL * 65536ULL + 11ULL);
}
