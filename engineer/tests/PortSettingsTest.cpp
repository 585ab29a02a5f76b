#include "engineer/PortSettings.h"

#include <gtest/gtest.h>

namespace {

using namespace orrick;

TEST(PortSettings, OnlyTheExactTextCom1SelectsCom1) {
    EXPECT_EQ(PortIndexOfText("COM1"), 0);
    for (const char* text : {"COM2", "COM1NG", "COM2NG", "NG", "", "com1", " COM1"}) {
        EXPECT_EQ(PortIndexOfText(text), 1) << text;
    }
}

TEST(PortSettings, SpeedTextsAndTheirRates) {
    const struct {
        const char* text;
        int index;
        TBaudRate rate;
    } cases[] = {{"1200bps", 0, TBaudRate::___1200bps},  {"2400bps", 1, TBaudRate::___2400bps},
                 {"4800bps", 2, TBaudRate::___4800bps},  {"9600bps", 3, TBaudRate::___9600bps},
                 {"19200bps", 4, TBaudRate::__19200bps}, {"38400bps", 5, TBaudRate::__38400bps}};
    for (const auto& c : cases) {
        EXPECT_EQ(SpeedIndexOfText(c.text), c.index) << c.text;
        EXPECT_EQ(SpeedTextOfIndex(c.index), c.text);
        EXPECT_EQ(BaudRateOfIndex(c.index), c.rate) << c.text;
    }
    for (const char* text : {"NG", "", "600bps", "1200", "115200bps"}) {
        EXPECT_FALSE(SpeedIndexOfText(text).has_value()) << text;
    }
}

TEST(PortSettings, OnlyOneBitSelectsOneStopBit) {
    EXPECT_EQ(StopIndexOfText("1bit"), 0);
    EXPECT_EQ(StopIndexOfText("2bit"), 1);
    EXPECT_EQ(StopIndexOfText(""), 1);
    EXPECT_EQ(StopBitsOfIndex(0), TStopBits::_1bit);
    EXPECT_EQ(StopBitsOfIndex(1), TStopBits::_2bit);
    EXPECT_EQ(CommPortOfIndex(0), TCommPort::Com1);
    EXPECT_EQ(CommPortOfIndex(1), TCommPort::Com2);
}

TEST(PortSettings, PortPanelShowsTheTextsAsTheyStand) {
    EXPECT_EQ(PortPanelText({"COM1", "1200bps", "1bit", 0}), "COMPORT  COM1  1200bps  1bit");
    EXPECT_EQ(PortPanelText({"COM2NG", "38400bps", "2bit", 2}), "COMPORT  COM2NG  38400bps  2bit");
    EXPECT_EQ(PortPanelText({"NG", "NG", "1bit", 0}), "COMPORT  NG  NG  1bit");
}

}  // namespace
