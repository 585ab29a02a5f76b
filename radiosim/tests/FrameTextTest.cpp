#include <gtest/gtest.h>

#include <string>

#include "FrameText.h"

using namespace radiosim;

namespace {

Bytes Hex(const std::string& text) {
    Bytes bytes;
    for (std::size_t i = 0; i + 1 < text.size(); i += 3)
        bytes.push_back(static_cast<std::uint8_t>(std::stoul(text.substr(i, 2), nullptr, 16)));
    return bytes;
}

}  // namespace

TEST(FrameText, CrcCheckValue) {
    const std::string digits = "123456789";
    EXPECT_EQ(Crc16Usb(Bytes(digits.begin(), digits.end())), 0xB4C8);
}

TEST(FrameText, KnownFramesOnTheWire) {
    struct Case {
        Bytes header, message;
        std::string line, description;
    } cases[] = {
        {{1, 0x7F, 1, 1}, {}, "16 10 02 01 7F 01 01 10 03 F6 02", "LR N1:127 K:1 Version:1 FCS good"},
        {{2, 1, 1, 0}, {}, "16 10 02 02 01 01 00 10 03 8F FB", "LA N(R):1 N(k):1 FCS good"},
        {{1, 0x10, 1, 1}, {}, "16 10 02 01 10 10 01 01 10 03 22 0B", "LR N1:16 K:1 Version:1 FCS good"},
        {{4, 1, 1, 0}, {0x80}, "16 10 02 04 01 01 00 80 10 03 D1 07", "LT N(S):1 AR:1 FCS good"},
    };
    for (const Case& c : cases) {
        const Bytes line = MakeLineFrame(c.header, c.message);
        EXPECT_EQ(HexText(line), c.line);
        const FrameView view = ViewFrame(line);
        EXPECT_EQ(DescribeLinkHeader(view), c.description);
        EXPECT_EQ(view.message, c.message);
    }
}

TEST(FrameText, DamageIsShown) {
    Bytes line = Hex("16 10 02 02 01 01 00 10 03 8F FA");
    EXPECT_EQ(DescribeLinkHeader(ViewFrame(line)), "LA N(R):1 N(k):1 FCS BAD");
    EXPECT_EQ(DescribeLinkHeader(ViewFrame(Hex("16 10 02 02 10 03 8F FA"))), "damaged frame");
    EXPECT_FALSE(ViewFrame(Bytes{}).wellFormed);
}

TEST(FrameText, StuffedDataSurvivesTheRoundTrip) {
    const Bytes message{0x10, 0x10, 0x10, 0x81};
    const Bytes line = MakeLineFrame(Bytes{4, 0x10, 1, 0}, message);
    const FrameView view = ViewFrame(line);
    EXPECT_TRUE(view.fcsGood);
    EXPECT_EQ(view.fields[0], 0x10);
    EXPECT_EQ(view.message, message);
}

TEST(FrameText, SequenceNumberIsChangedWithAGoodFcs) {
    const Bytes line = MakeLineFrame(Bytes{4, 1, 1, 0}, Bytes{0x80, 0x08});
    const auto changed = WithSequenceNumber(line, 0x10);
    ASSERT_TRUE(changed);
    const FrameView view = ViewFrame(*changed);
    EXPECT_TRUE(view.fcsGood);
    EXPECT_EQ(view.fields[0], 0x10);
    EXPECT_EQ(view.message, (Bytes{0x80, 0x08}));
    EXPECT_FALSE(WithSequenceNumber(MakeLineFrame(Bytes{2, 1, 1, 0}, {}), 3));
}

TEST(FrameText, CutterFindsFramesInAByteStream) {
    const Bytes a = MakeLineFrame(Bytes{1, 0x7F, 1, 1}, {});
    const Bytes b = MakeLineFrame(Bytes{4, 0x10, 1, 0}, Bytes{0x10, 0x03, 0x80});  // DLE ETX inside, stuffed
    Bytes stream{0x00, 0xFF, 0x16};  // noise before
    stream.insert(stream.end(), a.begin(), a.end());
    stream.insert(stream.end(), {0x16, 0x10, 0x02, 0x04, 0x01});  // a frame cut short by the next one
    stream.insert(stream.end(), b.begin(), b.end());

    FrameCutter cutter;
    std::vector<Bytes> frames;
    for (std::uint8_t byte : stream)  // one byte at a time, as a slow line delivers them
        for (Bytes& f : cutter.Feed(std::span<const std::uint8_t>(&byte, 1))) frames.push_back(std::move(f));
    ASSERT_EQ(frames.size(), 2U);
    EXPECT_EQ(frames[0], a);
    EXPECT_EQ(frames[1], b);
    EXPECT_GT(cutter.DiscardedBytes(), 0U);
}

TEST(FrameText, CutterAbandonsAnEndlessFrame) {
    FrameCutter cutter(64);
    Bytes junk{0x16, 0x10, 0x02};
    junk.resize(200, 0x41);
    EXPECT_TRUE(cutter.Feed(junk).empty());
    const Bytes good = MakeLineFrame(Bytes{2, 1, 1, 0}, {});
    const auto frames = cutter.Feed(good);
    ASSERT_EQ(frames.size(), 1U);
    EXPECT_EQ(frames[0], good);
}
