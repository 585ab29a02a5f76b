// Start-up port checks, the stored settings, the port dialog, the "Active" box and the close.
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <csignal>

#include "desktop/SignalWatcher.h"
#include "engineer/ComportForm.h"
#include "engineer/Controls.h"
#include "engineer/tests/OrrickFixture.h"
#include "serial/Hcomm.h"

namespace {

using Values = std::map<QString, QString>;

class PortSettingsTest : public OrrickTest {
protected:
    // Shows the port dialog from the menu and answers it with these selections.
    void ChooseInDialog(int port, int speed, int stop) {
        TComportForm& dialog = form_->ComportDialog();
        QTimer::singleShot(0, &dialog, [&dialog, port, speed, stop] {
            dialog.RadioGroup1->Button(port)->click();
            dialog.RadioGroup2->Button(speed)->click();
            dialog.RadioGroup3->Button(stop)->click();
            dialog.Button1->click();
        });
        form_->ComSet1->trigger();
    }

    PtyPeer com1_;
    PtyPeer com2_;
};

TEST_F(PortSettingsTest, FirstRunUsesTheDefaultsAndStoresThem) {
    MapPorts(&com1_, &com2_);
    StartForm();
    EXPECT_EQ(form_->Comm().CommPort(), TCommPort::Com1);
    EXPECT_EQ(form_->Comm().BaudRate(), TBaudRate::___1200bps);
    EXPECT_EQ(form_->Comm().StopBits(), TStopBits::_1bit);
    EXPECT_EQ(form_->Mode(), 0);
    CloseForm();
    EXPECT_TRUE(QFile::exists(SettingsFile()));
    EXPECT_EQ(StoredSettings(),
              (Values{{"Port", "COM1"}, {"Bps", "1200bps"}, {"Stop", "1bit"}, {"Mode", "0"}}));
    EXPECT_TRUE(boxes_.empty()) << BoxTexts().join('|').toStdString();
}

// The panel shows what the port runs: a value the window does not know gives way to the default,
// with a note in the status line, and the applied values are what the close stores.
TEST_F(PortSettingsTest, StoredSettingsSelectPortSpeedStopAndMode) {
    const struct {
        Values stored;
        TCommPort port;
        TBaudRate rate;
        TStopBits stop;
        QString panel;
        int mode;
        orrick::TPortSelection dialog;
        QString note;  // empty: the credit line
    } cases[] = {
        {{{"Port", "COM2"}, {"Bps", "9600bps"}, {"Stop", "2bit"}, {"Mode", "2"}},
         TCommPort::Com2,
         TBaudRate::___9600bps,
         TStopBits::_2bit,
         "COMPORT  COM2  9600bps  2bit",
         2,
         {1, 3, 1},
         ""},
        // From an earlier failed check: the port it selects.
        {{{"Port", "COM1NG"}, {"Bps", "38400bps"}, {"Stop", "1bit"}, {"Mode", "1"}},
         TCommPort::Com2,
         TBaudRate::__38400bps,
         TStopBits::_1bit,
         "COMPORT  COM2  38400bps  1bit",
         1,
         {1, 5, 0},
         ""},
        {{{"Port", "COM1"}, {"Bps", "NG"}, {"Stop", "1bit"}, {"Mode", "0"}},
         TCommPort::Com1,
         TBaudRate::___1200bps,
         TStopBits::_1bit,
         "COMPORT  COM1  1200bps  1bit",
         0,
         {0, 0, 0},
         "Not understood in orrick.conf: Bps"},
        {{{"Port", "COM3"}, {"Bps", "9600"}, {"Stop", "1"}, {"Mode", "0"}},
         TCommPort::Com1,
         TBaudRate::___1200bps,
         TStopBits::_1bit,
         "COMPORT  COM1  1200bps  1bit",
         0,
         {0, 0, 0},
         "Not understood in orrick.conf: Port, Bps, Stop"},
    };
    for (const auto& c : cases) {
        SetUp();
        MapPorts(&com1_, &com2_);
        StoreSettings(c.stored);
        StartForm();
        EXPECT_TRUE(form_->Comm().GetPortStatus());
        EXPECT_EQ(form_->Comm().CommPort(), c.port);
        EXPECT_EQ(form_->Comm().BaudRate(), c.rate);
        EXPECT_EQ(form_->Comm().StopBits(), c.stop);
        EXPECT_EQ(form_->StatusPanel[0]->text(), c.panel);
        EXPECT_EQ(form_->Mode(), c.mode);
        EXPECT_EQ(form_->ModeRadioGroup->ItemIndex(), c.mode);
        EXPECT_EQ(form_->ComportDialog().Selection(), c.dialog);
        EXPECT_EQ(form_->StatusPanel[1]->text(),
                  c.note.isEmpty() ? TEngineerForm::kCreditLine : c.note);
        // The open port is the one that hears the line.
        form_->RichEdit1->setPlainText(c.mode == 1 ? QStringLiteral("41") : QStringLiteral("A"));
        form_->TxButton1->click();
        EXPECT_EQ((c.port == TCommPort::Com2 ? com2_ : com1_).Read(1), "A");
        CloseForm();
        Values applied = c.stored;
        applied["Port"] = QString::fromStdString(orrick::PortTextOfIndex(c.dialog.port));
        applied["Bps"] = QString::fromStdString(orrick::SpeedTextOfIndex(c.dialog.speed));
        applied["Stop"] = QString::fromStdString(orrick::StopTextOfIndex(c.dialog.stop));
        EXPECT_EQ(StoredSettings(), applied);
        EXPECT_TRUE(boxes_.empty()) << BoxTexts().join('|').toStdString();
        form_.reset();
    }
}

TEST_F(PortSettingsTest, OnlyCom2PresentSwitchesToItAndStoresIt) {
    MapPorts(nullptr, &com2_);
    StartForm();
    EXPECT_TRUE(form_->Comm().GetPortStatus());
    EXPECT_EQ(form_->Comm().CommPort(), TCommPort::Com2);
    EXPECT_EQ(form_->StatusPanel[0]->text(), "COMPORT  COM2  1200bps  1bit");
    EXPECT_EQ(form_->ComportDialog().Selection().port, 1);
    CloseForm();
    EXPECT_EQ(StoredSettings()["Port"], "COM2");
}

// A start without the adapter applies nothing, so it stores nothing: the next start, with the
// adapter back, runs as the engineer left it (it used to store "NG" and then run 1200 bit/s).
TEST_F(PortSettingsTest, AStartWithoutAPortLeavesTheStoredSettingsAsTheyWere) {
    StoreSettings({{"Port", "COM1"}, {"Bps", "9600bps"}, {"Stop", "2bit"}, {"Mode", "1"}});
    QFile file(SettingsFile());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray before = file.readAll();
    file.close();
    MapPorts(nullptr, nullptr);
    {
        BoxAnswerer boxes;
        StartForm();
        ASSERT_TRUE(WaitFor([&] { return !form_->isVisible(); }));
        EXPECT_EQ(boxes.captions, QStringList{"COMPORT ERROR"});
        EXPECT_EQ(boxes.texts,
                  QStringList{"Can not use both comport1 and comport2 !!  Check port status."});
    }
    CaptureBoxes();
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), before);
    file.close();

    MapPorts(&com1_, &com2_);
    StartForm();
    EXPECT_EQ(form_->StatusPanel[0]->text(), "COMPORT  COM1  9600bps  2bit");
    EXPECT_EQ(form_->Comm().BaudRate(), TBaudRate::___9600bps);
    EXPECT_EQ(form_->Comm().StopBits(), TStopBits::_2bit);
}

// A stored COM2 that has gone while COM1 is there: the program takes COM1 instead of refusing to
// start on every run until the settings are edited by hand.
TEST_F(PortSettingsTest, AStoredPortThatHasGoneGivesWayToCom1) {
    MapPorts(&com1_, nullptr);
    StoreSettings({{"Port", "COM2"}, {"Bps", "1200bps"}, {"Stop", "1bit"}, {"Mode", "0"}});
    StartForm();
    QCoreApplication::processEvents();
    EXPECT_TRUE(form_->isVisible());
    EXPECT_TRUE(boxes_.empty());
    EXPECT_TRUE(form_->Comm().GetPortStatus());
    EXPECT_EQ(form_->Comm().CommPort(), TCommPort::Com1);
    EXPECT_EQ(form_->StatusPanel[0]->text(), "COMPORT  COM1  1200bps  1bit");
    EXPECT_EQ(form_->ComportDialog().Selection().port, 0);
    CloseForm();
    EXPECT_EQ(StoredSettings()["Port"], "COM1");
}

TEST_F(PortSettingsTest, AMissingPortChosenInTheDialog) {
    MapPorts(&com1_, nullptr);
    StartForm();
    ChooseInDialog(1, 3, 1);
    EXPECT_FALSE(form_->Comm().GetPortStatus());
    EXPECT_EQ(form_->StatusPanel[0]->text(), "COMPORT  COM2NG  9600bps  2bit");
    EXPECT_TRUE(boxes_.empty());
    ASSERT_TRUE(WaitFor([&] { return !boxes_.empty(); }));
    EXPECT_EQ(boxes_[0].caption, "COMPORT ERROR");
    EXPECT_EQ(boxes_[0].text, "Comport Error!!  Check port status.");
    EXPECT_FALSE(form_->Comm().GetPortStatus());
    CloseForm();
    EXPECT_EQ(StoredSettings()["Port"], "COM2NG");

    // The next start does not take "COM2NG" for COM1.
    MapPorts(&com1_, &com2_);
    boxes_.clear();
    StartForm();
    EXPECT_EQ(form_->Comm().CommPort(), TCommPort::Com2);
    EXPECT_TRUE(form_->Comm().GetPortStatus());
}

TEST_F(PortSettingsTest, ThePortDialogChangesTheLineASecondLater) {
    MapPorts(&com1_, &com2_);
    StartForm();
    ChooseInDialog(1, 4, 0);
    EXPECT_FALSE(form_->Comm().GetPortStatus()) << "closed until Timer2";
    EXPECT_TRUE(form_->Timer2->isActive());
    EXPECT_EQ(form_->StatusPanel[0]->text(), "COMPORT  COM2  19200bps  1bit");
    ASSERT_TRUE(WaitFor([&] { return form_->Comm().GetPortStatus(); }));
    EXPECT_EQ(form_->Comm().CommPort(), TCommPort::Com2);
    EXPECT_EQ(form_->Comm().BaudRate(), TBaudRate::__19200bps);
    EXPECT_EQ(form_->ComportDialog().Selection(), (orrick::TPortSelection{1, 4, 0}))
        << "remembered";
    CloseForm();
    EXPECT_EQ(StoredSettings(),
              (Values{{"Port", "COM2"}, {"Bps", "19200bps"}, {"Stop", "1bit"}, {"Mode", "0"}}));
}

TEST_F(PortSettingsTest, ActiveBoxClosesAndReopensThePort) {
    MapPorts(&com1_, &com2_);
    StartForm();
    QTest::mouseClick(form_->ActiveCheckBox, Qt::LeftButton);
    EXPECT_FALSE(form_->ActiveCheckBox->isChecked());
    EXPECT_FALSE(form_->Comm().GetPortStatus());
    form_->RichEdit1->setPlainText(QStringLiteral("@1#"));
    QTest::mouseClick(form_->TxButton1, Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return !boxes_.empty(); }));
    EXPECT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].caption, "ORRICK");
    EXPECT_EQ(boxes_[0].icon, orrick::TBoxIcon::Stop);
    EXPECT_EQ(boxes_[0].text, "Have not started communications.");

    QTest::mouseClick(form_->ActiveCheckBox, Qt::LeftButton);
    EXPECT_FALSE(form_->Comm().GetPortStatus());
    ASSERT_TRUE(WaitFor([&] { return form_->Comm().GetPortStatus(); }));
    QTest::mouseClick(form_->TxButton1, Qt::LeftButton);
    EXPECT_EQ(com1_.Read(3), Hex("02 31 03"));
}

TEST_F(PortSettingsTest, ClearingActiveCancelsAPendingReopen) {
    MapPorts(&com1_, &com2_);
    StartForm();
    QTest::mouseClick(form_->ActiveCheckBox, Qt::LeftButton);
    QTest::mouseClick(form_->ActiveCheckBox, Qt::LeftButton);
    QTest::mouseClick(form_->ActiveCheckBox, Qt::LeftButton);
    QTest::qWait(1300);
    EXPECT_FALSE(form_->Comm().GetPortStatus());
}

TEST_F(PortSettingsTest, AStoredModeThatIsNoIntegerIsReportedOnce) {
    MapPorts(&com1_, &com2_);
    StoreSettings({{"Port", "COM1"}, {"Bps", "2400bps"}, {"Stop", "1bit"}, {"Mode", "Binary"}});
    StartForm();
    EXPECT_TRUE(form_->isVisible());
    EXPECT_TRUE(form_->Comm().GetPortStatus());
    EXPECT_EQ(form_->Mode(), 0);
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].caption, "ORRICK");
    EXPECT_TRUE(boxes_[0].text.contains("'Binary'")) << boxes_[0].text.toStdString();
    CloseForm();
    EXPECT_EQ(StoredSettings()["Mode"], "0");
    EXPECT_EQ(boxes_.size(), 1u);
}

TEST_F(PortSettingsTest, AStoreThatCannotBeWrittenIsReportedAndTheWindowCloses) {
    MapPorts(&com1_, &com2_);
    StartForm();
    QFile::remove(SettingsFile());
    ASSERT_TRUE(QDir().mkpath(SettingsFile()));  // a folder where the file should be
    CloseForm();
    QDir(SettingsFile()).removeRecursively();
    EXPECT_FALSE(form_->isVisible());
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].caption, "ORRICK");
    EXPECT_TRUE(boxes_[0].text.startsWith("The settings cannot be written"))
        << boxes_[0].text.toStdString();
}

TEST_F(PortSettingsTest, SigtermClosesTheWindowAsItsCloseBox) {
    MapPorts(&com1_, &com2_);
    StartForm();
    form_->Ascii1->trigger();
    desktop::SignalWatcher signals_;  // wired as Orrick's main() wires it
    QObject::connect(&signals_, &desktop::SignalWatcher::TerminationRequested, form_.get(),
                     &QWidget::close);
    std::raise(SIGTERM);
    ASSERT_TRUE(WaitFor([&] { return !form_->isVisible(); }));
    EXPECT_FALSE(form_->Comm().GetPortStatus());
    EXPECT_EQ(StoredSettings()["Mode"], "2");
}

TEST_F(PortSettingsTest, ThePortDialog) {
    TComportForm dialog;
    EXPECT_EQ(dialog.windowTitle(), "Comport Setting");
    EXPECT_EQ(dialog.size(), QSize(278, 136));
    EXPECT_EQ(dialog.RadioGroup1->title(), "Comport");
    EXPECT_EQ(dialog.RadioGroup2->title(), "Baudrate");
    EXPECT_EQ(dialog.RadioGroup3->title(), "Stop bit");
    EXPECT_EQ(dialog.RadioGroup2->Button(5)->text(), "38400");
    EXPECT_EQ(dialog.Button1->text(), "OK");
    EXPECT_EQ(dialog.Selection(), (orrick::TPortSelection{0, 0, 0}));
}

}  // namespace
