// From the operator's action to the bytes of the message and its log line: each window's send
// and record go through the message builder, as the main window hands them to the link.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QRadioButton>
#include <QTest>
#include <string>
#include <vector>

#include "DialogTestSupport.h"
#include "DialogWidgets.h"
#include "Network.h"
#include "TerminalDialogs.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

struct Sent {
    Bytes message;
    std::string logLine;
};

// What the main window does with a send: the request record from the windows, the extra in its
// place, then the builder.
class WireRecorder {
public:
    explicit WireRecorder(std::vector<const TMessageForm*> windows, std::uint8_t ns = 0)
        : windows_(std::move(windows)), ns_(ns) {}

    void Listen(TMessageForm& form) {
        form.SetLinkGuard([] { return true; });
        QObject::connect(&form, &TMessageForm::SendRequested, [this](int kind, int extra) { Build(kind, extra); });
    }

    std::vector<Sent> sent;
    std::array<std::uint8_t, 4> lastHeader{};

private:
    void Build(int kind, int extra) {
        map27::SendRequest request;
        for (const TMessageForm* window : windows_) window->FillRequest(request);
        request.sendKind = kind;
        if (kind == map27::SendKind::RadioInterrogation) request.interrogationKind = static_cast<std::uint16_t>(extra);
        if (kind == map27::SendKind::VolumeControl) request.volumeCommand = static_cast<std::uint8_t>(extra);
        const map27::BuiltMessage built = map27::BuildMessage(request, ns_, 2048);
        lastHeader = built.header;
        sent.push_back({built.message, "TX : " + built.logText});
    }

    std::vector<const TMessageForm*> windows_;
    std::uint8_t ns_;
};

}  // namespace

TEST(DialogWire, DisconnectRqxOthersWithCb7AndCb0) {
    TDisconnectForm form;
    WireRecorder wire({&form});
    wire.Listen(form);
    Child<QComboBox>(form, "ComboBoxCause")->setCurrentIndex(4);
    Child<QCheckBox>(form, "CB7")->setChecked(true);
    Child<QCheckBox>(form, "CB0")->setChecked(true);
    Child<QPushButton>(form, "Button1")->click();
    ASSERT_EQ(wire.sent.size(), 1U);
    EXPECT_EQ(wire.sent[0].message, (Bytes{0xA6, 0x08, 0x07, 0xD1, 0x81}));
    EXPECT_EQ(wire.sent[0].logLine, "TX : A6-81 Disconnect RQX");
}

TEST(DialogWire, ProtocolInfoReasons) {
    TProtocolInfoForm form;
    WireRecorder wire({&form});
    wire.Listen(form);
    auto* tx = Child<QPushButton>(form, "TxButton");
    tx->click();  // no reason chosen
    Child<QComboBox>(form, "ComboBoxReason")->setCurrentIndex(6);
    for (int bit = 0; bit < 8; ++bit) Child<QCheckBox>(form, qPrintable(QStringLiteral("CB%1").arg(bit)))->setChecked(true);
    tx->click();
    Child<QComboBox>(form, "ComboBoxReason")->setCurrentIndex(2);  // the marks stay but are not sent
    tx->click();
    ASSERT_EQ(wire.sent.size(), 3U);
    EXPECT_EQ(wire.sent[0].message, (Bytes{0xB4, 0x00}));
    EXPECT_EQ(wire.sent[1].message, (Bytes{0xB4, 0xFF}));
    EXPECT_EQ(wire.sent[2].message, (Bytes{0xB4, 0x03}));
    EXPECT_EQ(wire.sent[2].logLine, "TX : Protocol Info");
}

TEST(DialogWire, DiversionThirdPartyDataCalls) {
    TDiversionRequestForm form;
    WireRecorder wire({&form});
    wire.Listen(form);
    Child<TRadioGroup>(form, "DRG")->Button(1)->click();
    Child<TRadioGroup>(form, "CDRG")->Button(2)->click();
    Child<QPushButton>(form, "Button1")->click();
    Child<TRadioGroup>(form, "ReCaRG")->Button(1)->click();
    Child<QPushButton>(form, "Button1")->click();
    ASSERT_EQ(wire.sent.size(), 2U);
    EXPECT_EQ(wire.sent[0].message, (Bytes{0x87, 0x08, 0x07, 0xD1, 0x00, 0x11, 0x08, 0x07, 0xD1, 0x00}));
    EXPECT_EQ(wire.sent[0].logLine, "TX : Diversion Request");
    EXPECT_EQ(wire.sent[1].message, (Bytes{0xA7, 0x08, 0x07, 0xD1, 0x00, 0x11}));
    EXPECT_EQ(wire.sent[1].logLine, "TX : Diversion Cancel");
}

TEST(DialogWire, VolumeLevelsAndTypedTwelve) {
    TVCForm form;
    WireRecorder wire({&form});
    wire.Listen(form);
    auto* combo = Child<QComboBox>(form, "VolumeComboBox");
    combo->setCurrentIndex(12);
    combo->lineEdit()->selectAll();
    QTest::keyClicks(combo->lineEdit(), QStringLiteral("12"));
    ASSERT_EQ(wire.sent.size(), 3U);
    EXPECT_EQ(wire.sent[0].message, (Bytes{0xB6, 0x01, 0xC3}));
    EXPECT_EQ(wire.sent[1].message, (Bytes{0xB6, 0x01, 0x13}));
    EXPECT_EQ(wire.sent[2].message, (Bytes{0xB6, 0x01, 0xC3}));
    EXPECT_EQ(wire.sent[2].logLine, "TX : Volume Control");
    Child<TRadioGroup>(form, "CPRadioGroup")->Button(0)->click();
    Child<QPushButton>(form, "UpButton")->click();
    EXPECT_EQ(wire.sent.back().message, (Bytes{0xB6, 0x04, 0x01}));
}

TEST(DialogWire, PttTwiceFlipsTransmitAndSendsTwice) {
    TRadioControlForm form;
    WireRecorder wire({&form});
    wire.Listen(form);
    Child<QPushButton>(form, "ButtonPTT")->click();
    Child<QPushButton>(form, "ButtonPTT")->click();
    ASSERT_EQ(wire.sent.size(), 2U);
    EXPECT_EQ(wire.sent[0].message, (Bytes{0xB2, 0x03}));  // transmit on, off-hook
    EXPECT_EQ(wire.sent[1].message, (Bytes{0xB2, 0x02}));
    EXPECT_EQ(wire.sent[1].logLine, "TX : Radio Control");
}

TEST(DialogWire, ManagementButtons) {
    TManagementForm form;
    WireRecorder wire({&form});
    wire.Listen(form);
    Child<QPushButton>(form, "ReadPersonalityButton")->click();
    for (const char* name : {"VoiceCB", "ModemCB", "StatusCB", "SSTCB", "MSTCB", "DiversionCB", "CallbackCB", "SDMCB",
                             "SevenCB"})
        Child<QCheckBox>(form, name)->setChecked(true);
    Child<QPushButton>(form, "WriteSettingButton")->click();
    Child<QPushButton>(form, "ReadSettingButton")->click();
    ASSERT_EQ(wire.sent.size(), 3U);
    EXPECT_EQ(wire.sent[0].message, (Bytes{0xB0, 0x00}));
    EXPECT_EQ(wire.sent[0].logLine, "TX :       Radio Interrogation           Personality request");
    EXPECT_EQ(wire.sent[1].message, (Bytes{0xB3, 0xFF, 0x00, 0x00, 0x04}));
    EXPECT_EQ(wire.sent[2].message, (Bytes{0xB0, 0x02}));
}

TEST(DialogWire, SettingsAnswerThenWriteSendsBackWhatTheRadioReported) {
    TManagementForm form;
    WireRecorder wire({&form});
    wire.Listen(form);
    const map27::DecodedMessage answer = map27::DecodeIncomingMessage(Bytes{0xB3, 0xFC, 0x00, 0x00, 0x84});
    ASSERT_TRUE(answer.settings.has_value());
    form.ApplyRadioSettings(*answer.settings);
    Child<QPushButton>(form, "WriteSettingButton")->click();
    ASSERT_EQ(wire.sent.size(), 1U);
    EXPECT_EQ(wire.sent[0].message, (Bytes{0xB3, 0xFC, 0x00, 0x00, 0x84}));
}

TEST(DialogWire, PersonalityAnswerFromTheDecoder) {
    TManagementForm form;
    const map27::DecodedMessage answer =
        map27::DecodeIncomingMessage(Bytes{0xB0, 0x08, 0x07, 0xD1, 0x2A, 0x35, 0x86, 0xA0, 0xFE, 0x00, 0x00, 0x86});
    ASSERT_TRUE(answer.personality.has_value());
    form.ApplyPersonality(*answer.personality);
    EXPECT_EQ(Child<QLabel>(form, "SNoLabel")->text(), "100000");
    EXPECT_EQ(Child<QLabel>(form, "MCodeLabel")->text(), "42");
    EXPECT_FALSE(Child<QCheckBox>(form, "SDMCB")->isEnabled());
    EXPECT_TRUE(Child<QCheckBox>(form, "CallbackCB")->isEnabled());
    EXPECT_FALSE(Child<QCheckBox>(form, "BinaryCB")->isEnabled());
    EXPECT_TRUE(Child<QCheckBox>(form, "EightCB")->isEnabled());
}

TEST(DialogWire, HexTextWindows) {
    TRadioTestForm radioTest;
    TDialledStringForm dialled;
    TSendModemDataForm modem;
    WireRecorder wire({&radioTest, &dialled, &modem});
    for (TMessageForm* form : {static_cast<TMessageForm*>(&radioTest), static_cast<TMessageForm*>(&dialled),
                               static_cast<TMessageForm*>(&modem)})
        wire.Listen(*form);
    QTest::keyClicks(Child<QPlainTextEdit>(radioTest, "RadioTestMemo"), QStringLiteral("ABC"));
    Child<QPushButton>(radioTest, "TxButton")->click();
    Child<QPushButton>(radioTest, "ClearButton")->click();
    Child<QPushButton>(radioTest, "TxButton")->click();
    Child<QPlainTextEdit>(dialled, "DDMemo")->setPlainText(QStringLiteral("a1 b2-c3"));
    Child<QPushButton>(dialled, "TxButton")->click();
    Child<QPlainTextEdit>(modem, "UDMemo")->setPlainText(QStringLiteral("xyz, ghijk!"));
    Child<QPushButton>(modem, "TxButton")->click();
    ASSERT_EQ(wire.sent.size(), 4U);
    EXPECT_EQ(wire.sent[0].message, (Bytes{0x01, 0xAB, 0xC0}));
    EXPECT_EQ(wire.sent[0].logLine, "TX : Radio Test");
    EXPECT_EQ(wire.sent[1].message, (Bytes{0x01}));
    EXPECT_EQ(wire.sent[2].message, (Bytes{0xB7, 0xA1, 0xB2, 0xC3}));
    EXPECT_EQ(wire.sent[2].logLine, "TX : Dialled String");
    EXPECT_EQ(wire.sent[3].message, (Bytes{0xA3}));
    EXPECT_EQ(wire.sent[3].logLine, "TX : Send Modem Data");
}

TEST(DialogWire, TestFrameWithAndWithoutTheLtHeader) {
    TSSPForm form;
    TParameterForm parameters;
    WireRecorder wire({&form, &parameters}, 3);
    wire.Listen(form);
    Child<QLineEdit>(form, "Data5Edit")->setText(QStringLiteral("F02548"));
    Child<QPushButton>(form, "TxButton")->click();
    ASSERT_EQ(wire.sent.size(), 1U);
    EXPECT_EQ(wire.lastHeader, (std::array<std::uint8_t, 4>{0x04, 0x01, 0x01, 0x00}));
    EXPECT_EQ(wire.sent[0].message, (Bytes{0xF0, 0x25, 0x48}));

    Child<QCheckBox>(form, "MLMCB")->click();
    Child<QLineEdit>(form, "Data5Edit")->setText(QStringLiteral("B000"));
    Child<QPushButton>(form, "TxButton")->click();
    ASSERT_EQ(wire.sent.size(), 2U);
    EXPECT_EQ(wire.lastHeader, (std::array<std::uint8_t, 4>{0x04, 0x03, 0x01, 0x00}));
    EXPECT_EQ(wire.sent[1].message, (Bytes{0xB0, 0x00}));
    form.ShowSentHeader(wire.lastHeader);
    EXPECT_EQ(Child<QLineEdit>(form, "Data2Edit")->text(), "03");
    EXPECT_EQ(Child<QLineEdit>(form, "Data3Edit")->text(), "01");
    EXPECT_EQ(Child<QLineEdit>(form, "Data4Edit")->text(), "00");
}

TEST(DialogWire, CallOptionsFeedSetupVoice) {
    TCallOptionForm options;
    map27::SendRequest request;
    options.FillRequest(request);
    request.sendKind = map27::SendKind::SetupVoice;
    EXPECT_EQ(map27::BuildMessage(request, 0, 2048).message, (Bytes{0xA4, 0x08, 0x07, 0xD1, 0x00, 0x08}));
    Child<TRadioGroup>(options, "IncludeRG")->Button(1)->click();
    Child<TRadioGroup>(options, "VoiceRG")->Button(1)->click();
    options.FillRequest(request);
    EXPECT_EQ(map27::BuildMessage(request, 0, 2048).message, (Bytes{0xA4, 0x08, 0x07, 0xD1, 0x00, 0x58}));
}
