#include <gtest/gtest.h>

#include <string>

#include "radiosim/FrameText.h"

using namespace radiosim;

namespace {

Bytes Hex(const std::string& text) {
    Bytes bytes;
    for (std::size_t i = 0; i + 1 < text.size(); i += 3)
        bytes.push_back(static_cast<std::uint8_t>(std::stoul(text.substr(i, 2), nullptr, 16)));
    return bytes;
}

}  // namespace

TEST(FrameText, KnownFramesOnTheWire) {
    struct Case {
        std::array<std::uint8_t, 4> header;
        Bytes message;
        std::string line, description;
    } cases[] = {
        {{1, 0x7F, 1, 1},
         {},
         "16 10 02 01 7F 01 01 10 03 F6 02",
         "LR N1:127 K:1 Version:1 FCS good"},
        {{2, 1, 1, 0}, {}, "16 10 02 02 01 01 00 10 03 8F FB", "LA N(R):1 N(k):1 FCS good"},
        {{1, 0x10, 1, 1},
         {},
         "16 10 02 01 10 10 01 01 10 03 22 0B",
         "LR N1:16 K:1 Version:1 FCS good"},
        {{4, 1, 1, 0}, {0x80}, "16 10 02 04 01 01 00 80 10 03 D1 07", "LT N(S):1 AR:1 FCS good"},
    };
    for (const Case& c : cases) {
        const Bytes line = MakeLineFrame(c.header, c.message);
        EXPECT_EQ(text::HexBytesSpaced(line), c.line);
        const FrameView view = ViewFrame(line);
        EXPECT_EQ(DescribeLinkHeader(view), c.description);
        EXPECT_EQ(view.message, c.message);
    }
}

TEST(FrameText, DamageIsShown) {
    Bytes line = Hex("16 10 02 02 01 01 00 10 03 8F FA");
    EXPECT_EQ(DescribeLinkHeader(ViewFrame(line)), "LA N(R):1 N(k):1 FCS BAD");
    EXPECT_EQ(DescribeLinkHeader(ViewFrame(Hex("16 10 02 02 10 03 8F FA"))), "damaged frame");
    EXPECT_EQ(DescribeLinkHeader(ViewFrame(Hex("16 10 02 09 01 02 03 10 03 00 00"))),
              "type 09 01 02 03 FCS BAD");
    EXPECT_FALSE(ViewFrame(Hex("10 03")).wellFormed);
    EXPECT_FALSE(ViewFrame(Bytes{}).wellFormed);
}

TEST(FrameText, StuffedDataSurvivesTheRoundTrip) {
    const Bytes message{0x10, 0x10, 0x10, 0x81};
    const Bytes line = MakeLineFrame({4, 0x10, 1, 0}, message);
    const FrameView view = ViewFrame(line);
    EXPECT_TRUE(view.fcsGood);
    EXPECT_EQ(view.fields[0], 0x10);
    EXPECT_EQ(view.message, message);
}

TEST(FrameText, SequenceNumberIsChangedWithAGoodFcs) {
    const Bytes line = MakeLineFrame({4, 1, 1, 0}, Bytes{0x80, 0x08});
    const auto changed = WithSequenceNumber(line, 0x10);
    ASSERT_TRUE(changed);
    const FrameView view = ViewFrame(*changed);
    EXPECT_TRUE(view.fcsGood);
    EXPECT_EQ(view.fields[0], 0x10);
    EXPECT_EQ(view.message, (Bytes{0x80, 0x08}));
    EXPECT_FALSE(WithSequenceNumber(MakeLineFrame({2, 1, 1, 0}, {}), 3));
}
