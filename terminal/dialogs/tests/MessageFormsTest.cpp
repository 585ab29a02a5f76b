// The message windows driven as the operator drives them: what each send asks for, what each
// window's record holds, and the rules that tie its controls together.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLayout>
#include <QRadioButton>
#include <QTest>
#include <functional>
#include <memory>

#include "map27/link/LinkInterfaces.h"
#include "terminal/dialogs/DialogWidgets.h"
#include "terminal/dialogs/TerminalDialogs.h"
#include "terminal/dialogs/tests/DialogTestSupport.h"

using map27::SendRequest;
namespace Kind = map27::SendKind;

namespace {

void ChooseItem(QWidget& form, const char* group, int item) {
    Child<TRadioGroup>(form, group)->Button(item)->click();
}

SendRequest Filled(const TMessageForm& form) {
    SendRequest request;
    form.FillRequest(request);
    return request;
}

}  // namespace

TEST(WindowLook, CaptionsStayOnTopAndFrames) {
    struct Case {
        std::function<std::unique_ptr<QDialog>()> make;
        const char* caption;
        bool stayOnTop;
        bool resizable;
    };
    const Case cases[] = {
        {[] { return std::make_unique<TRadioControlForm>(); }, "Radio Control", true, true},
        {[] { return std::make_unique<TVCForm>(); }, "VOLUME CONTROL", true, false},
        {[] { return std::make_unique<TProtocolInfoForm>(); }, "Protocol Info", true, true},
        {[] { return std::make_unique<TSendModemDataForm>(); }, "Send Modem Data", false, false},
        {[] { return std::make_unique<TDialledStringForm>(); }, "Dialled String", true, false},
        {[] { return std::make_unique<TDisconnectForm>(); }, "Disconnect RQX", true, false},
        {[] { return std::make_unique<TDiversionRequestForm>(); }, "Diversion Request/Cancel", true,
         false},
        {[] { return std::make_unique<TRadioTestForm>(); }, "Radio Test", true, false},
        {[] { return std::make_unique<TCallOptionForm>(); }, "Voice/Modem Call Option", true,
         false},
        {[] { return std::make_unique<TParameterForm>(); }, "Parameters", false, false},
        {[] { return std::make_unique<TManagementForm>(); }, "Radio Personality and Management ",
         true, false},
        {[] { return std::make_unique<TSSPForm>(); }, "Test", true, false},
        {[] { return std::make_unique<TTCForm>(); }, "Timer Check", true, false},
        {[] { return std::make_unique<TVariablesForm>(); }, "Variables", true, false},
        {[] { return std::make_unique<TVersionForm>(); }, "VersionForm", false, false},
    };
    for (const Case& c : cases) {
        const auto form = c.make();
        SCOPED_TRACE(c.caption);
        EXPECT_EQ(form->windowTitle(), QString::fromLatin1(c.caption));
        EXPECT_EQ(form->windowFlags().testFlag(Qt::WindowStaysOnTopHint), c.stayOnTop);
        ASSERT_NE(form->layout(), nullptr);
        EXPECT_EQ(form->layout()->sizeConstraint() == QLayout::SetFixedSize, !c.resizable);
        EXPECT_FALSE(form->isVisible());
    }
}

TEST(RadioControlForm, SetSendsAndPttFlipsTransmitEachPress) {
    TRadioControlForm form;
    SendRecord record;
    record.Attach(form);
    EXPECT_EQ(Child<TRadioGroup>(form, "RadioGroupHook")->ItemText(0), "On");
    EXPECT_EQ(Filled(form).hookItem, 1);
    EXPECT_EQ(Filled(form).transmitItem, 1);

    Child<QPushButton>(form, "ButtonSet")->click();
    Child<QPushButton>(form, "ButtonPTT")->click();
    EXPECT_EQ(Filled(form).transmitItem, 0);  // from "Off" to "On"
    Child<QPushButton>(form, "ButtonPTT")->click();
    EXPECT_EQ(Filled(form).transmitItem, 1);
    const std::vector<std::pair<int, int>> expected(3, {Kind::RadioControl, -1});
    EXPECT_EQ(record.sends, expected);

    ChooseItem(form, "RadioGroupHook", 0);
    EXPECT_EQ(Filled(form).hookItem, 0);
}

TEST(RadioControlForm, RefusedPttLeavesTransmitAlone) {
    TRadioControlForm form;
    SendRecord record;
    record.Attach(form);
    record.linkUp = false;
    Child<QPushButton>(form, "ButtonPTT")->click();
    EXPECT_EQ(Filled(form).transmitItem, 1);
    EXPECT_TRUE(record.sends.empty());
}

TEST(VCForm, EveryLevelTextAndButtonSendsItsCommand) {
    TVCForm form;
    SendRecord record;
    record.Attach(form);
    auto* combo = Child<QComboBox>(form, "VolumeComboBox");
    EXPECT_TRUE(combo->isEditable());
    EXPECT_EQ(combo->currentText(), "?");
    ASSERT_EQ(combo->count(), 16);
    EXPECT_EQ(combo->itemText(15), "15");
    EXPECT_EQ(Filled(form).controlPointItem, 2);
    EXPECT_EQ(Child<TRadioGroup>(form, "CPRadioGroup")->ItemText(2), "Normal speech audio path");

    combo->setCurrentIndex(12);  // a pick from the list
    EXPECT_EQ(record.sends.back(), std::make_pair(Kind::VolumeControl, 0xC3));
    EXPECT_EQ(Filled(form).volumeCommand, 0xC3);

    // Typing "12" over the text: one send per keystroke, level 1 and then level 12.
    record.sends.clear();
    combo->lineEdit()->selectAll();
    QTest::keyClicks(combo->lineEdit(), QStringLiteral("12"));
    EXPECT_EQ(record.sends, (std::vector<std::pair<int, int>>{{182, 0x13}, {182, 0xC3}}));

    record.sends.clear();
    for (const char* button : {"UpButton", "DownButton", "PresetButton", "ResetButton"})
        Child<QPushButton>(form, button)->click();
    EXPECT_EQ(record.sends,
              (std::vector<std::pair<int, int>>{{182, 1}, {182, 2}, {182, 4}, {182, 5}}));
    EXPECT_EQ(Filled(form).volumeCommand, 5);

    ChooseItem(form, "CPRadioGroup", 0);
    EXPECT_EQ(Filled(form).controlPointItem, 0);
}

TEST(VCForm, LevelTextsAndTheirCommands) {
    struct Case {
        const char* text;
        int command;
    };
    const Case cases[] = {{"0", 0x03},   {"15", 0xF3}, {"16", 0x03},
                          {"$0C", 0xC3}, {" 7", 0x73}, {"-1", 0xF3}};
    TVCForm form;
    SendRecord record;
    record.Attach(form);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        record.sends.clear();
        form.VolumeComboBoxChange(QString::fromLatin1(c.text));
        EXPECT_EQ(record.sends, (std::vector<std::pair<int, int>>{{182, c.command}}));
    }
}

TEST(VCForm, TextThatIsNoNumberSendsNothingAndSaysWhy) {
    TVCForm form;
    SendRecord record;
    record.Attach(form);
    try {
        form.VolumeComboBoxChange(QStringLiteral("loud"));
        FAIL() << "no conversion error";
    } catch (const map27::BuildError& error) {
        EXPECT_STREQ(error.what(), "'loud' is not a valid integer value");
    }
    EXPECT_TRUE(record.sends.empty());
    record.linkUp = false;  // refused before anything is read
    EXPECT_NO_THROW(form.VolumeComboBoxChange(QStringLiteral("loud")));
}

TEST(VCForm, TypedTextThatIsNoNumberReachesTheErrorReport) {
    TVCForm form;
    SendRecord record;
    record.Attach(form);
    auto* combo = Child<QComboBox>(form, "VolumeComboBox");
    RaisedErrors().clear();
    combo->lineEdit()->selectAll();
    QTest::keyClicks(combo->lineEdit(), QStringLiteral("x"));
    EXPECT_TRUE(RaisedErrors().empty());  // not from inside the control's own key handling
    QCoreApplication::processEvents();
    EXPECT_EQ(RaisedErrors(), std::vector<std::string>{"'x' is not a valid integer value"});
    EXPECT_EQ(combo->currentText(), "x");
    EXPECT_TRUE(record.sends.empty());
    QTest::keyClick(combo->lineEdit(), Qt::Key_Backspace);  // the empty text is no number either
    QTest::keyClicks(combo->lineEdit(), QStringLiteral("3"));
    QCoreApplication::processEvents();
    EXPECT_EQ(RaisedErrors().size(), 2U);
    EXPECT_EQ(record.sends, (std::vector<std::pair<int, int>>{{182, 0x33}}));
}

TEST(ProtocolInfoForm, BitBoxesFollowOthersAndKeepTheirMarks) {
    TProtocolInfoForm form;
    SendRecord record;
    record.Attach(form);
    auto* reason = Child<QComboBox>(form, "ComboBoxReason");
    auto* label = Child<QLabel>(form, "BitLabel");
    EXPECT_EQ(reason->currentText(), "Select Reason");
    EXPECT_EQ(label->text(), "7 6 5 4 3 2 1 0");
    EXPECT_TRUE(label->font().fixedPitch() || QFontInfo(label->font()).fixedPitch());
    EXPECT_EQ(Filled(form).reasonItem, -1);
    for (int bit = 0; bit < 8; ++bit)
        EXPECT_FALSE(
            Child<QCheckBox>(form, qPrintable(QStringLiteral("CB%1").arg(bit)))->isEnabled());
    EXPECT_FALSE(label->isEnabled());

    reason->setCurrentIndex(6);
    EXPECT_EQ(reason->currentText(), "Others");
    EXPECT_TRUE(label->isEnabled());
    for (int bit = 0; bit < 8; ++bit) {
        auto* box = Child<QCheckBox>(form, qPrintable(QStringLiteral("CB%1").arg(bit)));
        EXPECT_TRUE(box->isEnabled());
        box->setChecked(true);
    }
    EXPECT_EQ(Filled(form).reasonItem, 6);
    EXPECT_EQ(Filled(form).reasonBits, 0xFF);

    reason->setCurrentIndex(2);
    EXPECT_FALSE(Child<QCheckBox>(form, "CB7")->isEnabled());
    EXPECT_TRUE(Child<QCheckBox>(form, "CB7")->isChecked());
    EXPECT_FALSE(label->isEnabled());
    EXPECT_EQ(Filled(form).reasonItem, 2);

    // A typed text that names no reason is none: nothing that the window does not show goes out.
    reason->setEditText(QStringLiteral("something"));
    EXPECT_EQ(Filled(form).reasonItem, -1);
    reason->setEditText(QStringLiteral("Others"));
    EXPECT_EQ(Filled(form).reasonItem, 6);
    EXPECT_TRUE(Child<QCheckBox>(form, "CB0")->isEnabled());

    Child<QPushButton>(form, "TxButton")->click();
    EXPECT_EQ(record.sends, (std::vector<std::pair<int, int>>{{Kind::ProtocolInfo, -1}}));
}

TEST(DisconnectForm, OthersSendsTheBitMapOfTheBoxes) {
    TDisconnectForm form;
    SendRecord record;
    record.Attach(form);
    auto* cause = Child<QComboBox>(form, "ComboBoxCause");
    EXPECT_EQ(cause->currentText(), "Select Cause");
    EXPECT_EQ(cause->count(), 5);
    EXPECT_EQ(Filled(form).causeItem, -1);
    for (int bit = 0; bit < 8; ++bit)
        EXPECT_TRUE(
            Child<QCheckBox>(form, qPrintable(QStringLiteral("CB%1").arg(bit)))->isEnabled());

    cause->setCurrentIndex(4);
    Child<QCheckBox>(form, "CB7")->setChecked(true);
    Child<QCheckBox>(form, "CB0")->setChecked(true);
    EXPECT_EQ(Filled(form).causeItem, 4);
    EXPECT_EQ(Filled(form).causeBits, 0x81);
    cause->setCurrentIndex(0);
    EXPECT_TRUE(Child<QCheckBox>(form, "CB7")->isEnabled());
    Child<QPushButton>(form, "Button1")->click();
    EXPECT_EQ(record.sends, (std::vector<std::pair<int, int>>{{Kind::DisconnectRqx, -1}}));
}

TEST(DiversionRequestForm, AddressRules) {
    struct Case {
        int reCa;  // item clicked in ReCaRG
        int drg;   // item clicked in DRG
        bool upper, lower;
        const char* thirdItem;
        int drgAfter;
    };
    const Case cases[] = {
        {0, 0, true, false, "Not used", 0}, {0, 1, true, true, "Not used", 1},
        {0, 2, true, false, "Not used", 0},  // a request cannot take the third item
        {1, 0, false, false, "General", 0}, {1, 1, false, true, "General", 1},
        {1, 2, false, true, "General", 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "ReCaRG " << c.reCa << " DRG " << c.drg);
        TDiversionRequestForm form;
        ChooseItem(form, "ReCaRG", c.reCa);
        ChooseItem(form, "DRG", c.drg);
        for (const char* name : {"Pfix1Edit", "ID1Edit", "Pfix1Label", "ID1Label"})
            EXPECT_EQ(Child<QWidget>(form, name)->isEnabled(), c.upper) << name;
        for (const char* name : {"Pfix2Edit", "ID2Edit", "Pfix2Label", "ID2Label"})
            EXPECT_EQ(Child<QWidget>(form, name)->isEnabled(), c.lower) << name;
        EXPECT_EQ(Child<TRadioGroup>(form, "DRG")->ItemText(2), QString::fromLatin1(c.thirdItem));
        EXPECT_EQ(Filled(form).drgItem, c.drgAfter);
    }
}

TEST(DiversionRequestForm, CancelThenRequestRenamesTheThirdItemBack) {
    TDiversionRequestForm form;
    EXPECT_FALSE(
        Child<QLineEdit>(form, "Pfix2Edit")->isEnabled());  // the lower address starts disabled
    ChooseItem(form, "DRG", 1);
    ChooseItem(form, "ReCaRG", 1);
    EXPECT_EQ(Child<TRadioGroup>(form, "DRG")->ItemText(2), "General");
    EXPECT_FALSE(Child<QLineEdit>(form, "ID1Edit")->isEnabled());
    EXPECT_TRUE(Child<QLineEdit>(form, "ID2Edit")->isEnabled());
    ChooseItem(form, "DRG", 2);  // "General" is a valid cancellation
    ChooseItem(form, "ReCaRG", 0);
    EXPECT_EQ(Child<TRadioGroup>(form, "DRG")->ItemText(2), "Not used");
    EXPECT_EQ(Filled(form).drgItem, 0);
    EXPECT_TRUE(Child<QLineEdit>(form, "ID1Edit")->isEnabled());
    EXPECT_FALSE(Child<QLineEdit>(form, "ID2Edit")->isEnabled());
}

TEST(DiversionRequestForm, RecordAndTheMessageChosen) {
    TDiversionRequestForm form;
    SendRecord record;
    record.Attach(form);
    for (const char* name : {"Pfix1Edit", "Pfix2Edit"}) {
        EXPECT_EQ(Child<QLineEdit>(form, name)->text(), "008");
        EXPECT_EQ(Child<QLineEdit>(form, name)->maxLength(), 3);
    }
    for (const char* name : {"ID1Edit", "ID2Edit"}) {
        EXPECT_EQ(Child<QLineEdit>(form, name)->text(), "2001");
        EXPECT_EQ(Child<QLineEdit>(form, name)->maxLength(), 4);
    }
    EXPECT_EQ(Child<QLabel>(form, "Pfix1Label")->text(), "PREFIX(&P)");
    EXPECT_EQ(Child<QLabel>(form, "ID2Label")->text(), "IDENT(&I)");
    EXPECT_EQ(Child<TRadioGroup>(form, "CDRG")->ItemText(3), "Reserved");

    ChooseItem(form, "DRG", 1);
    ChooseItem(form, "CDRG", 2);
    Child<QLineEdit>(form, "Pfix2Edit")->setText(QStringLiteral("12"));
    Child<QLineEdit>(form, "ID2Edit")->setText(QStringLiteral("345"));
    const SendRequest request = Filled(form);
    EXPECT_EQ(request.drgItem, 1);
    EXPECT_EQ(request.cdrgItem, 2);
    EXPECT_EQ(request.pfix1Text, "008");
    EXPECT_EQ(request.id1Text, "2001");
    EXPECT_EQ(request.pfix2Text, "12");
    EXPECT_EQ(request.id2Text, "345");

    Child<QPushButton>(form, "Button1")->click();
    ChooseItem(form, "ReCaRG", 1);
    Child<QPushButton>(form, "Button1")->click();
    EXPECT_EQ(record.sends, (std::vector<std::pair<int, int>>{{Kind::DiversionRequest, -1},
                                                              {Kind::DiversionCancel, -1}}));
}

TEST(HexTextForms, TextsSendsAndClearButtons) {
    struct Case {
        std::function<std::unique_ptr<THexTextForm>()> make;
        const char* label;
        const char* memo;
        const char* clear;
        const char* toolTip;
        int kind;
        std::string SendRequest::*field;
    };
    const Case cases[] = {
        {[] { return std::make_unique<TRadioTestForm>(); }, "Test Controls", "RadioTestMemo",
         "Clear Test Controls", "All Characters exept for 0-9, a-f and A-F are ignored",
         Kind::RadioTest, &SendRequest::radioTestText},
        {[] { return std::make_unique<TDialledStringForm>(); }, "Dialled Digits", "DDMemo",
         "Clear Dialled Digits", "", Kind::DialledString, &SendRequest::dialledText},
        {[] { return std::make_unique<TSendModemDataForm>(); }, "User Data", "UDMemo",
         "Clear User Data", "", Kind::SendModemData, &SendRequest::modemDataText},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.memo);
        const auto form = c.make();
        SendRecord record;
        record.Attach(*form);
        auto* memo = Child<QPlainTextEdit>(*form, c.memo);
        ASSERT_NE(memo, nullptr);
        EXPECT_EQ(memo->toolTip(), QString::fromLatin1(c.toolTip));
        EXPECT_EQ(memo->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        EXPECT_EQ(Child<QLabel>(*form, "MemoLabel")->text(), QString::fromLatin1(c.label));
        auto* clear = Child<QPushButton>(*form, "ClearButton");
        EXPECT_EQ(clear->text(), QString::fromLatin1(c.clear));
        EXPECT_EQ(Child<QPushButton>(*form, "TxButton")->text(), "Tx");

        QTest::keyClicks(memo, QStringLiteral("a1 b2-c3"));
        Child<QPushButton>(*form, "TxButton")->click();
        EXPECT_EQ(record.sends, (std::vector<std::pair<int, int>>{{c.kind, -1}}));
        EXPECT_EQ(Filled(*form).*c.field, "a1 b2-c3");  // sending does not clear it

        record.linkUp = false;  // emptying the field is no send: it works with the link down
        clear->click();
        EXPECT_TRUE(memo->toPlainText().isEmpty());
        EXPECT_EQ(record.sends.size(), 1U);
    }
}

TEST(CallOptionForm, DefaultsAndTheEmergencyRule) {
    TCallOptionForm form;
    SendRequest request;
    request.priorityItem = -7;
    form.FillRequest(request);
    EXPECT_EQ(request.individualItem, 0);
    EXPECT_EQ(request.voiceItem, 0);
    EXPECT_EQ(request.includeItem, 0);
    EXPECT_EQ(request.priorityItem, 1);
    EXPECT_EQ(Child<TRadioGroup>(form, "IndividualRG")->ItemText(1),
              "Not allowed to reply(group call)");
    EXPECT_EQ(Child<TRadioGroup>(form, "PriorityRG")->title(), "Priority");

    ChooseItem(form, "IncludeRG", 1);
    ChooseItem(form, "IndividualRG", 1);
    ChooseItem(form, "VoiceRG", 1);
    ChooseItem(form, "PriorityRG", 0);
    form.FillRequest(request);
    EXPECT_EQ(request.includeItem, 1);
    EXPECT_EQ(request.individualItem, 1);
    EXPECT_EQ(request.voiceItem, 1);
    EXPECT_EQ(request.priorityItem, 0);

    form.SetIncludePriorityEnabled(false);
    EXPECT_FALSE(Child<TRadioGroup>(form, "IncludeRG")->isEnabled());
    EXPECT_FALSE(Child<TRadioGroup>(form, "PriorityRG")->isEnabled());
    EXPECT_TRUE(Child<TRadioGroup>(form, "VoiceRG")->isEnabled());
    form.SetIncludePriorityEnabled(true);
    EXPECT_TRUE(Child<TRadioGroup>(form, "IncludeRG")->isEnabled());
}

// With the link not established no send action of any window sends or changes anything.
TEST(LinkGuard, RefusedActionsChangeNothing) {
    const std::function<std::unique_ptr<TMessageForm>()> makers[] = {
        [] { return std::make_unique<TRadioControlForm>(); },
        [] { return std::make_unique<TVCForm>(); },
        [] { return std::make_unique<TProtocolInfoForm>(); },
        [] { return std::make_unique<TSendModemDataForm>(); },
        [] { return std::make_unique<TDialledStringForm>(); },
        [] { return std::make_unique<TDisconnectForm>(); },
        [] { return std::make_unique<TDiversionRequestForm>(); },
        [] { return std::make_unique<TRadioTestForm>(); },
        [] { return std::make_unique<TManagementForm>(); },
        [] { return std::make_unique<TSSPForm>(); },
    };
    for (const auto& make : makers) {
        const auto form = make();
        SCOPED_TRACE(form->windowTitle().toStdString());
        SendRecord record;
        record.Attach(*form);
        record.linkUp = false;
        if (auto* memo = form->findChild<QPlainTextEdit*>())
            memo->setPlainText(QStringLiteral("0102"));
        const QStringList before = ControlStates(*form);
        int pressed = 0;
        for (QPushButton* button : form->findChildren<QPushButton*>()) {
            if (button->objectName() == QLatin1String("ClearButton")) continue;
            button->click();
            ++pressed;
        }
        EXPECT_GT(pressed, 0);
        if (auto* volume = Child<QComboBox>(*form, "VolumeComboBox")) volume->setCurrentIndex(12);
        EXPECT_TRUE(record.sends.empty());
        if (form->objectName() == QLatin1String("VCForm"))
            continue;  // the level text is the operator's
        EXPECT_EQ(ControlStates(*form), before);
    }
}

TEST(LinkGuard, NoGuardGivenMeansNoSend) {
    TRadioControlForm form;
    int sends = 0;
    QObject::connect(&form, &TMessageForm::SendRequested, [&sends](int, int) { ++sends; });
    Child<QPushButton>(form, "ButtonSet")->click();
    EXPECT_EQ(sends, 0);
}

// Enter in a text field is no send: only a click (or the button's own key) sends.
TEST(LinkGuard, EnterInAFieldSendsNothing) {
    struct Case {
        std::function<std::unique_ptr<TMessageForm>()> make;
        const char* field;
    };
    const Case cases[] = {
        {[] { return std::make_unique<TDiversionRequestForm>(); }, "Pfix1Edit"},
        {[] { return std::make_unique<TVCForm>(); }, "VolumeComboBox"},
        {[] { return std::make_unique<TSSPForm>(); }, "Data5Edit"},
        {[] { return std::make_unique<TProtocolInfoForm>(); }, "ComboBoxReason"},
    };
    for (const Case& c : cases) {
        const auto form = c.make();
        SCOPED_TRACE(c.field);
        SendRecord record;
        record.Attach(*form);
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        QWidget* field = Child<QWidget>(*form, c.field);
        if (auto* combo = qobject_cast<QComboBox*>(field)) field = combo->lineEdit();
        field->setFocus();
        QTest::keyClick(field, Qt::Key_Return);
        EXPECT_TRUE(record.sends.empty());
        EXPECT_TRUE(form->isVisible());
    }
}
