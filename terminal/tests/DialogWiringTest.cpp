// The main window and the other windows together: the Parameters window restarts the link with its
// texts, a dialog's send reaches the wire, the test frame's header is written back, the CRC-error box
// reaches the link, the radio's personality answer fills the management window, and the Timer check
// window follows the link timers.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "terminal/tests/TerminalTestSupport.h"

namespace talvane::test {
namespace {

QWidget* TopLevel(const char* name) {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->objectName() == QLatin1String(name)) return widget;
    }
    return nullptr;
}

template <typename T>
T* In(const char* window, const char* control) {
    QWidget* top = TopLevel(window);
    return top == nullptr ? nullptr : top->findChild<T*>(QString::fromLatin1(control));
}

class DialogWiringTest : public TerminalTest {};

TEST_F(DialogWiringTest, ClosingTheParametersWindowRestartsTheLinkWithItsTexts) {
    PtyRadio radio;
    WritePorts(radio.SlavePath(), "");
    StartTerminal();
    ASSERT_TRUE(WaitUntil([&] { return radio.CountOfType(map27::kLinkRequest) >= 1; }, 3000, &radio));
    QTimer::singleShot(50, [] {
        In<QLineEdit>("ParameterForm", "N1Edit")->setText(QStringLiteral("64"));
        In<QPushButton>("ParameterForm", "OKButton")->click();
    });
    Control<QAction>("Parameters1")->trigger();  // modal: returns when the window closes
    radio.ClearFrames();
    ASSERT_TRUE(WaitUntil([&] { return !radio.Frames().empty(); }, 3000, &radio));
    EXPECT_EQ(HexText(radio.Frames().front()), HexText(map27::MakeLinkRequest(64, 1, 1)));
    EXPECT_TRUE(WaitUntil([&] { return Panel(3) == QStringLiteral("T1 : 16992(ms)"); }));
}

// A value the link cannot run with is refused with the conversion error's box, naming the field
// and its range, and the values in use stay (T0 = 0 sent link requests back to back, and 65536
// wrapped to 0). T1 and T2(max) beyond what a 16-bit timer takes are held to 65535 and shown so.
TEST_F(DialogWiringTest, ParametersTheLinkCannotRunAreRefusedAndTheLongestT1IsHeld) {
    PtyRadio radio;
    WritePorts(radio.SlavePath(), "");
    StartTerminal();
    ASSERT_TRUE(
        WaitUntil([&] { return radio.CountOfType(map27::kLinkRequest) >= 1; }, 3000, &radio));
    Control<QAction>("TimerCheck2")->trigger();
    SetMessageBoxHook({});
    BoxCloser boxes;
    const auto closeParameters = [&](const char* field, const char* text) {
        QTimer::singleShot(50, [field, text] {
            In<QLineEdit>("ParameterForm", field)->setText(QString::fromLatin1(text));
            In<QPushButton>("ParameterForm", "OKButton")->click();
        });
        Control<QAction>("Parameters1")->trigger();
    };

    const struct {
        const char* field;
        const char* text;
        const char* box;
        const char* keptText;
    } refused[] = {
        {"T0Edit", "0", "'0' is not a valid value for T0 (1 to 65535)", "1000"},
        {"T4Edit", "65536", "'65536' is not a valid value for T4 (1 to 65535)", "35000"},
    };
    for (const auto& c : refused) {
        SCOPED_TRACE(c.field);
        boxes.texts.clear();
        closeParameters(c.field, c.text);
        ASSERT_TRUE(WaitUntil([&] { return !boxes.texts.empty(); }, 3000, &radio));
        EXPECT_EQ(boxes.texts, std::vector<QString>{QString::fromLatin1(c.box)});
        EXPECT_EQ(boxes.captions.back(), QStringLiteral("Talvane27"));
        radio.ClearFrames();
        RunFor(1500, &radio);
        EXPECT_TRUE(radio.Frames().empty()) << "nothing goes out until the value is mended";
        EXPECT_EQ(In<QLineEdit>("TCForm", "EditT0")->text(), QStringLiteral("1000"));
        EXPECT_EQ(In<QLineEdit>("TCForm", "EditT4")->text(), QStringLiteral("35000"));
        closeParameters(c.field, c.keptText);
    }

    closeParameters("N1Edit", "255");
    EXPECT_TRUE(
        WaitUntil([&] { return Panel(3) == QStringLiteral("T1 : 65535(ms)"); }, 3000, &radio));
    EXPECT_EQ(Panel(4), QStringLiteral("T2(max) : 65535(ms)"));
    EXPECT_TRUE(WaitUntil(
        [&] { return In<QLineEdit>("TCForm", "EditT1")->text() == QStringLiteral("65535"); }));
    EXPECT_EQ(boxes.texts.size(), 1U) << "the mended values are taken without a word";
}

TEST_F(DialogWiringTest, AVolumeButtonSendsThroughTheMainWindow) {
    PtyRadio radio;
    WritePorts(radio.SlavePath(), "");
    StartTerminal();
    BringUpLink(radio);
    Control<QAction>("VolumeControl1")->trigger();
    ASSERT_TRUE(TopLevel("VCForm")->isVisible());
    In<QPushButton>("VCForm", "UpButton")->click();
    ASSERT_TRUE(WaitUntil([&] { return !radio.DataFrames().empty(); }, 3000, &radio));
    EXPECT_EQ(HexText(radio.Frames().front()),
              HexText(map27::MakeDataFrame({map27::kLinkTransfer, 1, 1, 0}, std::vector<std::uint8_t>{0xB6, 0x01, 0x01})));
    EXPECT_TRUE(WaitUntil([&] { return form_->LogLines() == QStringList{QStringLiteral("TX : Volume Control")}; }));
}

TEST_F(DialogWiringTest, TheTestFrameHeaderAsSentIsWrittenBack) {
    PtyRadio radio;
    WritePorts(radio.SlavePath(), "");
    StartTerminal();
    BringUpLink(radio);
    Control<QAction>("Sendtestpacket1")->trigger();
    In<QLineEdit>("SSPForm", "Data2Edit")->setText(QStringLiteral("55"));
    In<QLineEdit>("SSPForm", "Data5Edit")->setText(QStringLiteral("F02548"));
    In<QCheckBox>("SSPForm", "MLMCB")->setChecked(true);
    In<QPushButton>("SSPForm", "TxButton")->click();
    ASSERT_TRUE(WaitUntil([&] { return !radio.DataFrames().empty(); }, 3000, &radio));
    EXPECT_EQ(HexText(radio.Frames().front()), "16 10 02 04 01 01 00 F0 25 48 10 03 " +
                                                  HexText(radio.Frames().front()).substr(36));
    EXPECT_TRUE(WaitUntil([&] { return In<QLineEdit>("SSPForm", "Data2Edit")->text() == QStringLiteral("01"); }))
        << "the window shows the N(S) that went out";
}

// A test frame of 2048 DLE bytes fits N1 = 127, but its DLE doubling makes it longer than the port
// takes in one write: refused with a box that says so, and nothing goes out.
TEST_F(DialogWiringTest, ATestFrameThatDoublesBeyondWhatThePortTakesIsRefused) {
    PtyRadio radio;
    WritePorts(radio.SlavePath(), "");
    StartTerminal();
    BringUpLink(radio);
    SetMessageBoxHook({});
    BoxCloser boxes;
    Control<QAction>("Sendtestpacket1")->trigger();
    In<QLineEdit>("SSPForm", "Data5Edit")->setText(QStringLiteral("10").repeated(2048));
    In<QPushButton>("SSPForm", "TxButton")->click();
    ASSERT_TRUE(WaitUntil([&] { return !boxes.texts.empty(); }, 3000, &radio));
    EXPECT_EQ(boxes.texts, std::vector<QString>{QStringLiteral(
                               "The frame is 4107 bytes long with its DLE doubling, but the port "
                               "takes at most 4095 bytes at a time. Nothing was sent.")});
    RunFor(300, &radio);
    EXPECT_TRUE(radio.DataFrames().empty());
    EXPECT_TRUE(form_->LogLines().isEmpty());
}

TEST_F(DialogWiringTest, TheCrcErrorBoxSpoilsEveryFrameUntilCleared) {
    PtyRadio radio;
    WritePorts(radio.SlavePath(), "");
    StartTerminal();
    ASSERT_TRUE(WaitUntil([&] { return radio.CountOfType(map27::kLinkRequest) >= 1; }, 3000, &radio));
    Control<QAction>("Sendtestpacket1")->trigger();
    In<QCheckBox>("SSPForm", "CRCErrorCheckBox")->setChecked(true);
    Control<QAction>("ResetMenu")->trigger();
    radio.ClearFrames();
    ASSERT_TRUE(WaitUntil([&] { return !radio.Frames().empty(); }, 3000, &radio));
    const std::string good = "16 10 02 01 7F 01 01 10 03 F6 02";
    EXPECT_EQ(HexText(radio.Frames().front()).substr(0, 26), good.substr(0, 26));
    EXPECT_NE(HexText(radio.Frames().front()), good);
}

TEST_F(DialogWiringTest, PersonalityRequestOpensTheManagementWindowAndTheAnswerFillsIt) {
    PtyRadio radio;
    WritePorts(radio.SlavePath(), "");
    StartTerminal();
    BringUpLink(radio);
    Control<QAction>("Personalityrequest1")->trigger();
    EXPECT_TRUE(TopLevel("ManagementForm")->isVisible());
    ASSERT_TRUE(WaitUntil([&] { return !radio.DataFrames().empty(); }, 3000, &radio));
    EXPECT_EQ(radio.DataFrames().front()[7], 0xB0);
    EXPECT_EQ(radio.DataFrames().front()[8], 0x00);
    radio.SendLinkAck(2, 1);
    radio.SendData(1, std::vector<std::uint8_t>{0xB0, 0x08, 0x07, 0xD1, 0x2A, 0x35, 0x86, 0xA0, 0xFE, 0x00, 0x00, 0x86});
    EXPECT_TRUE(WaitUntil([&] { return In<QLabel>("ManagementForm", "SNoLabel")->text() == "100000"; },
                          3000, &radio));
    EXPECT_EQ(In<QLabel>("ManagementForm", "MCodeLabel")->text(), "42");
    for (const auto& [box, enabled] : std::vector<std::pair<const char*, bool>>{
             {"SDMCB", false}, {"CallbackCB", true}, {"BinaryCB", false}, {"EightCB", true}}) {
        EXPECT_EQ(In<QCheckBox>("ManagementForm", box)->isEnabled(), enabled) << box;
    }
    EXPECT_TRUE(form_->LogLines().back().startsWith(QStringLiteral("RX : Radio personality Response  PFIX:008")))
        << form_->LogLines().join(QChar('|')).toStdString();
}

TEST_F(DialogWiringTest, TheTimerCheckWindowFollowsTheLinkTimersWhileItIsOpen) {
    PtyRadio radio;
    WritePorts(radio.SlavePath(), "");
    StartTerminal();
    ASSERT_TRUE(WaitUntil([&] { return radio.CountOfType(map27::kLinkRequest) >= 1; }, 3000, &radio));
    auto* valueTimer = form_->findChild<QTimer*>(QStringLiteral("ValueTimer"));
    ASSERT_NE(valueTimer, nullptr);
    EXPECT_FALSE(valueTimer->isActive());
    Control<QAction>("TimerCheck2")->trigger();
    EXPECT_TRUE(valueTimer->isActive());
    EXPECT_EQ(valueTimer->interval(), 100);
    EXPECT_TRUE(WaitUntil([&] { return In<QLineEdit>("TCForm", "Edit1")->text() == QStringLiteral("True"); }));
    EXPECT_EQ(In<QLineEdit>("TCForm", "EditT0")->text(), QStringLiteral("1000"));
    EXPECT_EQ(In<QLineEdit>("TCForm", "Edit2")->text(), QStringLiteral("false"));
    In<QLineEdit>("TCForm", "Edit6")->setText(QStringLiteral("0"));
    EXPECT_FALSE(valueTimer->isActive()) << "0 stops the refresh";
    In<QLineEdit>("TCForm", "Edit6")->setText(QStringLiteral("250"));
    EXPECT_TRUE(valueTimer->isActive()) << "another interval starts it again";
    EXPECT_EQ(valueTimer->interval(), 250);
    TopLevel("TCForm")->hide();
    EXPECT_FALSE(valueTimer->isActive()) << "nothing left to refresh";
}

TEST_F(DialogWiringTest, AnEmergencyCallDisablesTheIncludeAndPriorityChoices) {
    PtyRadio radio;
    WritePorts(radio.SlavePath(), "");
    StartTerminal();
    auto* include = In<QWidget>("CallOptionForm", "IncludeRG");
    auto* priority = In<QWidget>("CallOptionForm", "PriorityRG");
    ASSERT_NE(include, nullptr);
    ASSERT_NE(priority, nullptr);
    for (const auto& [item, enabled] : std::vector<std::pair<int, bool>>{{1, false}, {0, true}, {1, false}, {3, false}}) {
        Control<QComboBox>("CallCBox")->setCurrentIndex(item);
        EXPECT_EQ(include->isEnabled(), enabled) << item;
        EXPECT_EQ(priority->isEnabled(), enabled) << item;
    }
}

}  // namespace
}  // namespace talvane::test
