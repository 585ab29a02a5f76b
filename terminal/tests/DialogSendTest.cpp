// Every window's send as the operator makes it: the window opened from the main window's menu,
// filled, its send control pressed, and the frame that arrives at the radio's end of the line
// compared with the known frame. The radio acknowledges each frame, so the next one may follow.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <functional>
#include <optional>

#include "terminal/LogView.h"
#include "terminal/dialogs/DialogWidgets.h"
#include "terminal/tests/TerminalTestSupport.h"

namespace talvane::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

template <typename T>
T* In(const char* window, const char* control) {
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (top->objectName() != QLatin1String(window)) continue;
        T* found = top->findChild<T*>(QString::fromLatin1(control));
        EXPECT_NE(found, nullptr) << window << "." << control;
        return found;
    }
    ADD_FAILURE() << window << " is not open";
    return nullptr;
}

QString LastLogLine() {
    const QStringList lines = In<LogView>("MainForm", "LogMemo")->Lines();
    return lines.isEmpty() ? QString() : lines.back();
}

// The last LT frame the radio received, as it came off the line.
std::string LastDataFrame(const PtyRadio& radio) {
    for (auto frame = radio.Frames().rbegin(); frame != radio.Frames().rend(); ++frame)
        if (frame->size() > 3 && (*frame)[3] == map27::kLinkTransfer) return HexText(*frame);
    return {};
}

void Click(const char* window, const char* button) {
    In<QPushButton>(window, button)->click();
}

void Check(const char* window, const char* box) {
    In<QCheckBox>(window, box)->setChecked(true);
}

void Choose(const char* window, const char* group, int item) {
    In<TRadioGroup>(window, group)->Button(item)->click();
}

// One operator action and the one frame it must put on the line.
struct Step {
    Step(std::function<void(PtyRadio&)> action, Bytes sent, std::string line,
         std::optional<std::array<std::uint8_t, 4>> handMade = std::nullopt)
        : act(std::move(action)),
          message(std::move(sent)),
          logLine(std::move(line)),
          header(handMade) {}
    std::function<void(PtyRadio&)> act;
    Bytes message;
    std::string logLine;  // the log's last line after the send; empty: not checked
    std::optional<std::array<std::uint8_t, 4>> header;  // a hand-made header; else an LT's
};

struct SendCase {
    const char* name;
    const char* menuItem;  // the main window's item that opens the window
    std::vector<Step> steps;
};

std::vector<SendCase> SendCases() {
    return {
        {"Disconnect RQX, others with CB7 and CB0",
         "DisconnectRQX1",
         {{[](PtyRadio&) {
               In<QComboBox>("DisconnectForm", "ComboBoxCause")->setCurrentIndex(4);
               Check("DisconnectForm", "CB7");
               Check("DisconnectForm", "CB0");
               Click("DisconnectForm", "Button1");
           },
           {0xA6, 0x08, 0x07, 0xD1, 0x81},
           "TX : A6-81 Disconnect RQX"}}},
        {"Protocol info: no reason, every mark, marks kept but not sent",
         "ProtcolInfo1",
         {{[](PtyRadio&) { Click("ProtocolInfoForm", "TxButton"); }, {0xB4, 0x00}, ""},
          {[](PtyRadio&) {
               In<QComboBox>("ProtocolInfoForm", "ComboBoxReason")->setCurrentIndex(6);
               for (int bit = 0; bit < 8; ++bit)
                   Check("ProtocolInfoForm", qPrintable(QStringLiteral("CB%1").arg(bit)));
               Click("ProtocolInfoForm", "TxButton");
           },
           {0xB4, 0xFF},
           ""},
          {[](PtyRadio&) {
               In<QComboBox>("ProtocolInfoForm", "ComboBoxReason")->setCurrentIndex(2);
               Click("ProtocolInfoForm", "TxButton");
           },
           {0xB4, 0x03},
           "TX : Protocol Info"}}},
        {"Diversion of data calls to a third party, then its cancel",
         "Diversion1",
         {{[](PtyRadio&) {
               Choose("DiversionRequestForm", "DRG", 1);
               Choose("DiversionRequestForm", "CDRG", 2);
               Click("DiversionRequestForm", "Button1");
           },
           {0x87, 0x08, 0x07, 0xD1, 0x00, 0x11, 0x08, 0x07, 0xD1, 0x00},
           "TX : Diversion Request"},
          {[](PtyRadio&) {
               Choose("DiversionRequestForm", "ReCaRG", 1);
               Click("DiversionRequestForm", "Button1");
           },
           {0xA7, 0x08, 0x07, 0xD1, 0x00, 0x11},
           "TX : Diversion Cancel"}}},
        {"Volume: a level chosen, twelve typed, then a step up",
         "VolumeControl1",
         {{[](PtyRadio&) { In<QComboBox>("VCForm", "VolumeComboBox")->setCurrentIndex(12); },
           {0xB6, 0x01, 0xC3},
           ""},
          {[](PtyRadio&) {
               auto* combo = In<QComboBox>("VCForm", "VolumeComboBox");
               combo->lineEdit()->selectAll();
               QTest::keyClick(combo->lineEdit(), Qt::Key_1);
           },
           {0xB6, 0x01, 0x13},
           ""},
          {[](PtyRadio&) {
               QTest::keyClick(In<QComboBox>("VCForm", "VolumeComboBox")->lineEdit(), Qt::Key_2);
           },
           {0xB6, 0x01, 0xC3},
           "TX : Volume Control"},
          {[](PtyRadio&) {
               Choose("VCForm", "CPRadioGroup", 0);
               Click("VCForm", "UpButton");
           },
           {0xB6, 0x04, 0x01},
           ""}}},
        {"Radio control: PTT twice turns transmit on and off",
         "RadioControl1",
         {{[](PtyRadio&) { Click("RadioControlForm", "ButtonPTT"); }, {0xB2, 0x03}, ""},
          {[](PtyRadio&) { Click("RadioControlForm", "ButtonPTT"); },
           {0xB2, 0x02},
           "TX : Radio Control"}}},
        {"Management: read personality, write every setting, read settings",
         "radioManagementMenu",
         {{[](PtyRadio&) { Click("ManagementForm", "ReadPersonalityButton"); },
           {0xB0, 0x00},
           "TX :       Radio Interrogation           Personality request"},
          {[](PtyRadio&) {
               for (const char* box : {"VoiceCB", "ModemCB", "StatusCB", "SSTCB", "MSTCB",
                                       "DiversionCB", "CallbackCB", "SDMCB", "SevenCB"})
                   Check("ManagementForm", box);
               Click("ManagementForm", "WriteSettingButton");
           },
           {0xB3, 0xFF, 0x00, 0x00, 0x04},
           ""},
          {[](PtyRadio&) { Click("ManagementForm", "ReadSettingButton"); }, {0xB0, 0x02}, ""}}},
        {"Management: the radio's settings answer is written back as it came",
         "radioManagementMenu",
         {{[](PtyRadio& radio) {
               radio.SendData(1, Bytes{0xB3, 0xFC, 0x00, 0x00, 0x84});
               ASSERT_TRUE(WaitUntil([] { return LastLogLine().startsWith("RX : Radio Settings"); },
                                     3000, &radio));
               Click("ManagementForm", "WriteSettingButton");
           },
           {0xB3, 0xFC, 0x00, 0x00, 0x84},
           ""}}},
        {"Hexadecimal texts: radio test, cleared, dialled string, modem data",
         "RadioTest1",
         {{[](PtyRadio&) {
               QTest::keyClicks(In<QPlainTextEdit>("RadioTestForm", "RadioTestMemo"),
                                QStringLiteral("ABC"));
               Click("RadioTestForm", "TxButton");
           },
           {0x01, 0xAB, 0xC0},
           "TX : Radio Test"},
          {[](PtyRadio&) {
               Click("RadioTestForm", "ClearButton");
               Click("RadioTestForm", "TxButton");
           },
           {0x01},
           ""},
          {[](PtyRadio&) {
               In<QAction>("MainForm", "DialledString1")->trigger();
               In<QPlainTextEdit>("DialledStringForm", "DDMemo")
                   ->setPlainText(QStringLiteral("a1 b2-c3"));
               Click("DialledStringForm", "TxButton");
           },
           {0xB7, 0xA1, 0xB2, 0xC3},
           "TX : Dialled String"},
          {[](PtyRadio&) {
               In<QAction>("MainForm", "SendModemData1")->trigger();
               In<QPlainTextEdit>("SendModemDataForm", "UDMemo")
                   ->setPlainText(QStringLiteral("xyz, ghijk!"));
               Click("SendModemDataForm", "TxButton");
           },
           {0xA3},
           "TX : Send Modem Data"}}},
        {"Test frame with its own header, then as an LT message",
         "Sendtestpacket1",
         {{[](PtyRadio&) {
               In<QLineEdit>("SSPForm", "Data2Edit")->setText(QStringLiteral("55"));
               In<QLineEdit>("SSPForm", "Data5Edit")->setText(QStringLiteral("F02548"));
               Click("SSPForm", "TxButton");
           },
           {0xF0, 0x25, 0x48},
           "",
           std::array<std::uint8_t, 4>{0x04, 0x55, 0x01, 0x00}},
          {[](PtyRadio&) {
               In<QCheckBox>("SSPForm", "MLMCB")->click();
               In<QLineEdit>("SSPForm", "Data5Edit")->setText(QStringLiteral("B000"));
               Click("SSPForm", "TxButton");
           },
           {0xB0, 0x00},
           ""}}},
        {"Call options feed a voice call from the main window",
         "CallDetails1",
         {{[](PtyRadio&) { Click("MainForm", "TxButton"); },
           {0xA4, 0x08, 0x07, 0xD1, 0x00, 0x08},
           ""},
          {[](PtyRadio&) {
               Choose("CallOptionForm", "IncludeRG", 1);
               Choose("CallOptionForm", "VoiceRG", 1);
               Click("MainForm", "TxButton");
           },
           {0xA4, 0x08, 0x07, 0xD1, 0x00, 0x58},
           ""}}},
    };
}

class DialogSendTest : public TerminalTest {};

TEST_F(DialogSendTest, EveryWindowsSendPutsItsFrameOnTheLine) {
    for (const SendCase& sendCase : SendCases()) {
        SCOPED_TRACE(sendCase.name);
        PtyRadio radio;
        WritePorts(radio.SlavePath(), "");
        StartTerminal();
        BringUpLink(radio);
        Control<QAction>(sendCase.menuItem)->trigger();
        std::uint8_t ns = 1;
        for (std::size_t i = 0; i < sendCase.steps.size(); ++i) {
            SCOPED_TRACE("step " + std::to_string(i + 1));
            const Step& step = sendCase.steps[i];
            step.act(radio);
            ASSERT_TRUE(WaitUntil([&] { return !radio.DataFrames().empty(); }, 3000, &radio));
            const std::array<std::uint8_t, 4> header =
                step.header.value_or(std::array<std::uint8_t, 4>{map27::kLinkTransfer, ns, 1, 0});
            EXPECT_EQ(LastDataFrame(radio), HexText(map27::MakeDataFrame(header, step.message)));
            if (!step.logLine.empty()) {
                EXPECT_TRUE(WaitUntil([&] { return LastLogLine().toStdString() == step.logLine; }))
                    << LastLogLine().toStdString();
            }
            // Acknowledged, so that the link has credit for the next one.
            ++ns;
            radio.SendLinkAck(ns, 1);
            ASSERT_TRUE(WaitUntil(
                [&] {
                    const map27::LinkSnapshot link = form_->Link().Snapshot();
                    return link.sk > 0 && !link.timers[map27::kT1].running;
                },
                3000, &radio));
            radio.ClearFrames();
        }
        EXPECT_TRUE(boxes_.empty()) << BoxTexts().front().toStdString();
        form_.reset();
    }
}

}  // namespace
}  // namespace talvane::test
