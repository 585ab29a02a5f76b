// The settings, management and test windows: their fields, what the radio's answers write into the
// management window, the test frame's header rules and the live displays.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QGroupBox>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <array>

#include "map27/link/LinkInterfaces.h"
#include "terminal/dialogs/DialogWidgets.h"
#include "terminal/dialogs/TerminalDialogs.h"
#include "terminal/dialogs/tests/DialogTestSupport.h"

using map27::SendRequest;

namespace {

const char* const kFacilityBoxes[8] = {"VoiceCB", "ModemCB",     "StatusCB",   "SSTCB",
                                       "MSTCB",   "DiversionCB", "CallbackCB", "SDMCB"};
const char* const kCodingBoxes[7] = {"BCDasACB", "TelexasACB", "BinaryCB", "BCDCB",
                                     "TelexCB",  "SevenCB",    "EightCB"};

// One character per box, top to bottom: '1' where the box is checked (or enabled).
template <std::size_t N>
std::string Checked(const QWidget& form, const char* const (&names)[N]) {
    std::string s;
    for (const char* name : names) s += Child<QCheckBox>(form, name)->isChecked() ? '1' : '0';
    return s;
}
template <std::size_t N>
std::string Enabled(const QWidget& form, const char* const (&names)[N]) {
    std::string s;
    for (const char* name : names) s += Child<QCheckBox>(form, name)->isEnabled() ? '1' : '0';
    return s;
}
template <std::size_t N>
void Check(QWidget& form, const char* const (&names)[N], const std::string& marks) {
    for (std::size_t i = 0; i < N; ++i)
        Child<QCheckBox>(form, names[i])->setChecked(marks[i] == '1');
}

}  // namespace

TEST(ParameterForm, FieldsDefaultsAndLimits) {
    struct Case {
        const char* name;
        const char* text;
        int maxLength;
    };
    const Case cases[] = {{"T0Edit", "1000", 5},  {"T2Edit", "70", 5},  {"T3Edit", "10000", 5},
                          {"T4Edit", "35000", 5}, {"N1Edit", "127", 3}, {"N2Edit", "10", 3},
                          {"N3Edit", "3", 3}};
    TParameterForm form;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto* edit = Child<QLineEdit>(form, c.name);
        ASSERT_NE(edit, nullptr);
        EXPECT_EQ(edit->text(), QString::fromLatin1(c.text));
        EXPECT_EQ(edit->maxLength(), c.maxLength);
    }
    auto* ar = Child<QComboBox>(form, "ARComboBox");
    EXPECT_TRUE(ar->isEditable());
    EXPECT_EQ(ar->currentText(), "1");
    EXPECT_EQ(ar->count(), 2);
    EXPECT_EQ(ar->itemText(0), "0");
    EXPECT_EQ(ar->toolTip(), "AR from the DTE to the DCE");
    auto* arFunction = Child<TRadioGroup>(form, "ArRadioGroup");
    EXPECT_EQ(arFunction->title(), "AR function");
    EXPECT_EQ(arFunction->toolTip(), "\"Disable\" : Always use the T2");
    EXPECT_EQ(arFunction->ItemText(arFunction->ItemIndex()), "Disable");
    EXPECT_FALSE(form.ArFunctionEnabled());
    auto* st = Child<TRadioGroup>(form, "RadioGroupST");
    EXPECT_EQ(st->title(), "SST/MST");
    EXPECT_EQ(st->ItemText(2), "Only use MST");
    auto* ok = Child<QPushButton>(form, "OKButton");
    EXPECT_TRUE(ok->isDefault());
    EXPECT_EQ(form.findChildren<QPushButton*>().size(), 1);
    EXPECT_TRUE(form.isModal());

    const map27::LinkParameterTexts defaults = form.ParameterTexts();
    const map27::LinkParameterTexts expected;
    EXPECT_EQ(defaults.t0, expected.t0);
    EXPECT_EQ(defaults.t4, expected.t4);
    EXPECT_EQ(defaults.n1, expected.n1);
    EXPECT_EQ(defaults.n3, expected.n3);
}

TEST(ParameterForm, TextsAndChoicesAsTheOperatorLeftThem) {
    TParameterForm form;
    Child<QLineEdit>(form, "T2Edit")
        ->setText(QStringLiteral("abc"));  // any text; the restart judges it
    Child<QLineEdit>(form, "N2Edit")->setText(QStringLiteral("5"));
    Child<QComboBox>(form, "ARComboBox")->setEditText(QStringLiteral("0"));
    Child<TRadioGroup>(form, "ArRadioGroup")->Button(0)->click();
    Child<TRadioGroup>(form, "RadioGroupST")->Button(1)->click();
    const map27::LinkParameterTexts texts = form.ParameterTexts();
    EXPECT_EQ(texts.t2, "abc");
    EXPECT_EQ(texts.n2, "5");
    EXPECT_TRUE(form.ArFunctionEnabled());
    SendRequest request;
    form.FillRequest(request);
    EXPECT_EQ(request.arText, "0");
    EXPECT_EQ(request.sstMstItem, 1);

    form.open();
    Child<QPushButton>(form, "OKButton")->click();
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(form.result(), QDialog::Accepted);
}

TEST(ManagementForm, StartsUnreadAndButtonsAskForTheirMessages) {
    TManagementForm form;
    SendRecord record;
    record.Attach(form);
    for (const char* name : {"PfixLabel", "IdentLabel", "MCodeLabel", "MNoLabel", "SNoLabel"})
        EXPECT_EQ(Child<QLabel>(form, name)->text(), "Not read");
    EXPECT_EQ(Child<QLabel>(form, "CautionLabel")->text(), "*");
    EXPECT_EQ(Enabled(form, kFacilityBoxes), "11111111");
    EXPECT_EQ(Checked(form, kFacilityBoxes), "00000000");
    EXPECT_EQ(Enabled(form, kCodingBoxes), "1111111");
    EXPECT_EQ(Child<QCheckBox>(form, "SDMCB")->text(), "MPT1327 SDM");
    EXPECT_EQ(Child<QCheckBox>(form, "SevenCB")->text(), "7bit ASCII");

    Child<QPushButton>(form, "ReadPersonalityButton")->click();
    Child<QPushButton>(form, "ReadSettingButton")->click();
    Child<QPushButton>(form, "WriteSettingButton")->click();
    EXPECT_EQ(record.sends, (std::vector<std::pair<int, int>>{{176, 0}, {176, 2}, {179, -1}}));

    // All facility boxes and only "7bit ASCII": 0xFF and 0x04.
    Check(form, kFacilityBoxes, "11111111");
    Check(form, kCodingBoxes, "0000010");
    SendRequest request;
    form.FillRequest(request);
    EXPECT_EQ(request.controlsBits, 0xFF);
    EXPECT_EQ(request.codingsBits, 0x04);
}

TEST(ManagementForm, PersonalityAnswerEnablesAndNeverChecks) {
    TManagementForm form;
    Check(form, kFacilityBoxes, "10000001");
    Check(form, kCodingBoxes, "0100001");
    form.ApplyPersonality({"008", "2001", "42", "3", "100000", 0xFE, 0x86});
    EXPECT_EQ(Child<QLabel>(form, "PfixLabel")->text(), "008");
    EXPECT_EQ(Child<QLabel>(form, "IdentLabel")->text(), "2001");
    EXPECT_EQ(Child<QLabel>(form, "MCodeLabel")->text(), "42");
    EXPECT_EQ(Child<QLabel>(form, "MNoLabel")->text(), "3");
    EXPECT_EQ(Child<QLabel>(form, "SNoLabel")->text(), "100000");
    EXPECT_EQ(Enabled(form, kFacilityBoxes), "11111110");
    EXPECT_EQ(Enabled(form, kCodingBoxes), "1000011");
    EXPECT_EQ(Checked(form, kFacilityBoxes), "10000001");
    EXPECT_EQ(Checked(form, kCodingBoxes), "0100001");
}

TEST(ManagementForm, SettingsAnswerChecksAndNeverEnables) {
    struct Case {
        std::uint8_t facilities;
        std::optional<std::uint8_t> codings;
        const char* facilityChecks;
        const char* codingChecks;
        const char* caution;
    };
    const Case cases[] = {
        {0xFC, 0x84, "11111100", "1000010", "*"},
        {0xFC, std::nullopt, "11111100", "0110011",
         "Caution : No codings field"},            // coding boxes kept
        {0x01, 0x02, "00000001", "0000001", "*"},  // bit 0 checks SDMCB as the write sends it back
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.caution);
        TManagementForm form;
        form.ApplyPersonality({"008", "2001", "42", "3", "100000", 0x0F, 0xF0});
        Check(form, kFacilityBoxes, "00000011");
        Check(form, kCodingBoxes, "0110011");
        form.ApplyRadioSettings({c.facilities, c.codings});
        EXPECT_EQ(Checked(form, kFacilityBoxes), c.facilityChecks);
        EXPECT_EQ(Checked(form, kCodingBoxes), c.codingChecks);
        EXPECT_EQ(Child<QLabel>(form, "CautionLabel")->text(), QString::fromLatin1(c.caution));
        EXPECT_EQ(Enabled(form, kFacilityBoxes), "00001111");
        EXPECT_EQ(Enabled(form, kCodingBoxes), "1111000");
    }
}

TEST(ManagementForm, CautionClearsWithTheNextAnswerThatCarriesCodings) {
    TManagementForm form;
    form.ApplyRadioSettings({0xFC, std::nullopt});
    form.ApplyRadioSettings({0xFC, 0x84});
    EXPECT_EQ(Child<QLabel>(form, "CautionLabel")->text(), "*");
    SendRequest request;
    form.FillRequest(request);
    EXPECT_EQ(request.controlsBits, 0xFC);
    EXPECT_EQ(request.codingsBits, 0x84);
}

TEST(ManagementForm, ClickOnTheFacilityFrameEnablesAllEight) {
    TManagementForm form;
    form.ApplyPersonality({"008", "2001", "42", "3", "100000", 0x00, 0x00});
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    auto* group = Child<QGroupBox>(form, "FacilityGroup");
    QTest::mouseClick(Child<QCheckBox>(form, "VoiceCB"), Qt::LeftButton);  // a box is no frame
    EXPECT_EQ(Enabled(form, kFacilityBoxes), "00000000");
    QTest::mouseClick(group, Qt::LeftButton, {}, QPoint(group->width() - 3, group->height() - 3));
    EXPECT_EQ(Enabled(form, kFacilityBoxes), "11111111");
    EXPECT_EQ(Enabled(form, kCodingBoxes), "0000000");
    EXPECT_EQ(Checked(form, kFacilityBoxes), "00000000");
}

TEST(SSPForm, FieldsAndTheTestFrameSend) {
    TSSPForm form;
    SendRecord record;
    record.Attach(form);
    const char* const edits[] = {"Data1Edit", "Data2Edit", "Data3Edit", "Data4Edit"};
    const char* const defaults[] = {"04", "01", "01", "00"};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(Child<QLineEdit>(form, edits[i])->text(), defaults[i]);
        EXPECT_EQ(Child<QLineEdit>(form, edits[i])->maxLength(), 2);
    }
    EXPECT_TRUE(Child<QLineEdit>(form, "Data5Edit")->text().isEmpty());
    EXPECT_EQ(Child<QPushButton>(form, "TxButton")->text(), "TX(&T)");
    EXPECT_EQ(Child<QCheckBox>(form, "CRCErrorCheckBox")->text(),
              "Make CRC error!!!(All messages)");
    EXPECT_EQ(Child<QCheckBox>(form, "MLMCB")->text(), "Make LT message");
    EXPECT_FALSE(form.CrcErrorChecked());

    Child<QLineEdit>(form, "Data3Edit")->setText(QStringLiteral("7F"));
    Child<QLineEdit>(form, "Data5Edit")->setText(QStringLiteral("F02548"));
    SendRequest request;
    form.FillRequest(request);
    EXPECT_EQ(request.data1Text, "04");
    EXPECT_EQ(request.data3Text, "7F");
    EXPECT_EQ(request.data5Text, "F02548");
    EXPECT_FALSE(request.makeLtMessage);
    Child<QPushButton>(form, "TxButton")->click();
    EXPECT_EQ(record.sends, (std::vector<std::pair<int, int>>{{999, -1}}));
}

TEST(SSPForm, MakeLtMessageAndTheHeaderWrittenBack) {
    TSSPForm form;
    auto* mlm = Child<QCheckBox>(form, "MLMCB");
    Child<QLineEdit>(form, "Data1Edit")->setText(QStringLiteral("06"));
    mlm->click();
    EXPECT_EQ(Child<QLineEdit>(form, "Data1Edit")->text(), "04");
    EXPECT_TRUE(Child<QLineEdit>(form, "Data1Edit")->isEnabled());
    for (const char* name : {"Data2Edit", "Data3Edit", "Data4Edit"}) {
        EXPECT_EQ(Child<QLineEdit>(form, name)->text(), "??");
        EXPECT_FALSE(Child<QLineEdit>(form, name)->isEnabled());
    }
    SendRequest request;
    form.FillRequest(request);
    EXPECT_TRUE(request.makeLtMessage);

    form.ShowSentHeader({0x04, 0x03, 0x01, 0x00});
    EXPECT_EQ(Child<QLineEdit>(form, "Data2Edit")->text(), "03");
    EXPECT_EQ(Child<QLineEdit>(form, "Data3Edit")->text(), "01");
    EXPECT_EQ(Child<QLineEdit>(form, "Data4Edit")->text(), "00");
    form.ShowSentHeader({0x04, 0xAB, 0x0C, 0xFF});
    EXPECT_EQ(Child<QLineEdit>(form, "Data2Edit")->text(), "AB");
    EXPECT_EQ(Child<QLineEdit>(form, "Data3Edit")->text(), "0C");
    EXPECT_EQ(Child<QLineEdit>(form, "Data4Edit")->text(), "FF");

    mlm->click();
    EXPECT_EQ(Child<QLineEdit>(form, "Data2Edit")->text(), "01");
    EXPECT_EQ(Child<QLineEdit>(form, "Data3Edit")->text(), "01");
    EXPECT_EQ(Child<QLineEdit>(form, "Data4Edit")->text(), "00");
    for (const char* name : {"Data2Edit", "Data3Edit", "Data4Edit"})
        EXPECT_TRUE(Child<QLineEdit>(form, name)->isEnabled());
}

TEST(SSPForm, HidingClearsTheCrcErrorBox) {
    TSSPForm form;
    QSignalSpy changes(&form, &TSSPForm::CrcErrorChanged);
    form.show();
    Child<QCheckBox>(form, "CRCErrorCheckBox")->click();
    EXPECT_TRUE(form.CrcErrorChecked());
    form.hide();
    EXPECT_FALSE(form.CrcErrorChecked());
    ASSERT_EQ(changes.size(), 2);
    EXPECT_TRUE(changes[0][0].toBool());
    EXPECT_FALSE(changes[1][0].toBool());
}

TEST(TCForm, TimerRowsAndTheRefreshInterval) {
    TTCForm form;
    QSignalSpy intervals(&form, &TTCForm::RefreshIntervalChanged);
    QSignalSpy hidden(&form, &TTCForm::Hidden);
    EXPECT_EQ(Child<QLineEdit>(form, "Edit6")->text(), "100");

    map27::LinkSnapshot snapshot;
    snapshot.timers = {{{true, 1000}, {false, 33120}, {true, 70}, {false, 10000}, {true, 35000}}};
    form.ShowSnapshot(snapshot);
    const char* const running[] = {"True", "false", "True", "false", "True"};
    const char* const interval[] = {"1000", "33120", "70", "10000", "35000"};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(Child<QLineEdit>(form, qPrintable(QStringLiteral("Edit%1").arg(i + 1)))->text(),
                  running[i]);
        EXPECT_EQ(Child<QLineEdit>(form, qPrintable(QStringLiteral("EditT%1").arg(i)))->text(),
                  interval[i]);
    }

    Child<QLineEdit>(form, "Edit6")->setText(QStringLiteral("250"));
    Child<QLineEdit>(form, "Edit6")->setText(QStringLiteral("0"));
    ASSERT_EQ(intervals.size(), 2);
    EXPECT_EQ(intervals[0][0].toInt(), 250);
    EXPECT_EQ(intervals[1][0].toInt(), 0);
    try {
        form.Edit6Change(QStringLiteral("fast"));
        FAIL() << "no conversion error";
    } catch (const map27::BuildError& error) {
        EXPECT_STREQ(error.what(), "'fast' is not a valid integer value");
    }
    EXPECT_THROW(form.Edit6Change(QStringLiteral("-5")), std::runtime_error);
    EXPECT_EQ(intervals.size(), 2);  // the refresh keeps its last interval

    RaisedErrors().clear();
    Child<QLineEdit>(form, "Edit6")->setText(QStringLiteral("1O0"));
    QCoreApplication::processEvents();
    EXPECT_EQ(RaisedErrors(), std::vector<std::string>{"'1O0' is not a valid integer value"});
    EXPECT_EQ(intervals.size(), 2);

    form.show();
    form.hide();
    EXPECT_EQ(hidden.size(), 1);
}

TEST(VariablesForm, FieldFormats) {
    TVariablesForm form;
    QSignalSpy hidden(&form, &TVariablesForm::Hidden);
    map27::LinkSnapshot snapshot;
    snapshot.lastRxByte4 = 200;
    snapshot.lastRxByte5 = 1;
    snapshot.sk = -1;
    snapshot.vs = 3;
    snapshot.rk = 2;
    snapshot.vr = 255;
    snapshot.c1 = 10;
    form.ShowSnapshot(snapshot);
    form.ShowReceivedNs(0x0A);  // while hidden: shown when the window shows
    form.show();
    const std::pair<const char*, const char*> fields[] = {
        {"NSEdit", "0A "}, {"EditN_r", "200"}, {"EditN_k", "1"},   {"Edits_k", "65535"},
        {"EditV_s", "3"},  {"EditR_k", "2"},   {"v_rEdit", "255"}, {"EditC1", "10"}};
    for (const auto& [name, text] : fields)
        EXPECT_EQ(Child<QLineEdit>(form, name)->text(), text) << name;
    form.ShowReceivedNs(0xFF);
    EXPECT_EQ(Child<QLineEdit>(form, "NSEdit")->text(), "FF ");
    form.hide();
    EXPECT_EQ(hidden.size(), 1);
}

TEST(VersionForm, TextsPicturesAndOk) {
    TVersionForm form;
    EXPECT_EQ(Child<QLabel>(form, "VersionLabel")->text(), "Talvane27 Version 2.00a");
    EXPECT_EQ(Child<QLabel>(form, "DateLabel")->text(), "Release Date October 9, 1998");
    EXPECT_FALSE(Child<QLabel>(form, "BannerImage")->pixmap().isNull());
    EXPECT_FALSE(Child<QLabel>(form, "ProgramIcon")->pixmap().isNull());
    EXPECT_TRUE(form.isModal());
    form.open();
    Child<QPushButton>(form, "OKButton")->click();
    EXPECT_FALSE(form.isVisible());
}

TEST(DialogStrToInt, OrdinaryRules) {
    struct Case {
        const char* text;
        std::int32_t value;
    };
    const Case good[] = {{"12", 12},
                         {"  12", 12},
                         {"-5", -5},
                         {"+7", 7},
                         {"$1F", 31},
                         {"0x10", 16},
                         {"0X1a", 26},
                         {"-$10", -16},
                         {"$FFFFFFFF", -1},
                         {"2147483647", 2147483647},
                         {"-2147483648", INT32_MIN},
                         {"008", 8}};
    for (const Case& c : good)
        EXPECT_EQ(DialogStrToInt(QString::fromLatin1(c.text)), c.value) << c.text;
    for (const char* text :
         {"", " ", "12a", "12 ", "$", "0x", "2147483648", "$100000000", "1.5", "- 1"}) {
        try {
            DialogStrToInt(QString::fromLatin1(text));
            ADD_FAILURE() << "accepted '" << text << "'";
        } catch (const map27::BuildError& error) {
            EXPECT_EQ(std::string(error.what()),
                      "'" + std::string(text) + "' is not a valid integer value");
        }
    }
}
