// Config > "&Devices..." driven as the engineer does: pick a device, assign it, re-open the port.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTextEdit>
#include <QTimer>
#include <QTreeWidget>
#include <memory>

#include "desktop/DevicesForm.h"
#include "engineer/tests/OrrickFixture.h"
#include "serial/Hcomm.h"
#include "serial/tests/DeviceFolder.h"

namespace {

class DevicesFormTest : public OrrickTest {
protected:
    void SetUp() override {
        OrrickTest::SetUp();
        folder_ = std::make_unique<DeviceFolder>(adapter_.Path());
        qputenv("HALBERD_DEVICE_ROOT", QByteArray::fromStdString(folder_->Root()));
        WritePorts("# the bench\n[ports]\nCOM1=" + com1_.Path() + "\nCOM2=" + com2_.Path() +
                   "\nCOM4=/dev/kept as it was\n[other]\nCOM2=not this\n");
        StartForm();
        ASSERT_TRUE(form_->Comm().GetPortStatus());
    }
    void TearDown() override {
        OrrickTest::TearDown();
        qunsetenv("HALBERD_DEVICE_ROOT");
    }

    static std::string PortsFile() { return (configFolder_ + "/halberd/ports.conf").toStdString(); }
    static void WritePorts(const std::string& text) {
        QFile file(QString::fromStdString(PortsFile()));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text.c_str());
    }
    static std::string PortsText() {
        QFile file(QString::fromStdString(PortsFile()));
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        return file.readAll().toStdString();
    }

    // Opens the dialog from the menu; step runs in it, then it is closed.
    void WithDialog(const std::function<void(TDevicesForm&)>& step) {
        bool ran = false;
        QTimer::singleShot(0, form_.get(), [&] {
            auto* dialog = qobject_cast<TDevicesForm*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            step(*dialog);
            ran = true;
            dialog->CloseButton->click();
        });
        form_->Devices1->trigger();
        EXPECT_TRUE(ran);
    }

    // The adapter's row, selected as a click would, and assigned to port.
    void Assign(TDevicesForm& dialog, const QString& port) {
        QTreeWidgetItem* row = dialog.DeviceTable->topLevelItem(0);
        ASSERT_NE(row, nullptr);
        ASSERT_EQ(row->text(0).toStdString(), folder_->ById(DeviceFolder::kAdapter));
        QTest::mouseClick(dialog.DeviceTable->viewport(), Qt::LeftButton, {},
                          dialog.DeviceTable->visualItemRect(row).center());
        dialog.PortBox->setCurrentText(port);
        QTest::mouseClick(dialog.AssignButton, Qt::LeftButton);
    }

    // Assigns the adapter to COM1, the port in use, and answers Yes to the re-open; the question.
    QString AssignToCom1AndReopen() {
        QString question;
        WithDialog([&](TDevicesForm& dialog) {
            QTimer::singleShot(0, &dialog, [&] {
                auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                ASSERT_NE(box, nullptr);
                question = box->text();
                box->button(QMessageBox::Yes)->click();
            });
            Assign(dialog, QStringLiteral("COM1"));
        });
        return question;
    }

    void ExpectOpenOnTheAdapter() {
        ASSERT_TRUE(WaitFor([&] { return form_->Comm().GetPortStatus(); }));
        form_->RichEdit1->setPlainText(QStringLiteral("AB"));
        QTest::mouseClick(form_->TxButton1, Qt::LeftButton);
        EXPECT_EQ(adapter_.Read(2), "AB");
    }

    PtyPeer com1_;
    PtyPeer com2_;
    PtyPeer adapter_;
    std::unique_ptr<DeviceFolder> folder_;
};

TEST_F(DevicesFormTest, AssigningWritesThePortsFileAndKeepsTheRest) {
    WithDialog([&](TDevicesForm& dialog) {
        Assign(dialog, QStringLiteral("COM2"));
        EXPECT_EQ(dialog.DeviceTable->topLevelItem(0)->text(3), "COM2");
        EXPECT_EQ(dialog.PortTable->topLevelItem(1)->text(1).toStdString(),
                  folder_->ById(DeviceFolder::kAdapter));
        EXPECT_TRUE(dialog.StatusLabel->text().endsWith("takes effect when COM2 is next opened."));
    });
    EXPECT_EQ(PortsText(), "# the bench\n[ports]\nCOM1=" + com1_.Path() +
                               "\nCOM2=" + folder_->ById(DeviceFolder::kAdapter) +
                               "\nCOM4=/dev/kept as it was\n[other]\nCOM2=not this\n");
    EXPECT_TRUE(form_->Comm().GetPortStatus());  // COM1, in use, untouched
    EXPECT_TRUE(boxes_.empty()) << BoxTexts().join('|').toStdString();
}

TEST_F(DevicesFormTest, ThePortInUseIsReopenedOnItsNewDeviceWhenAsked) {
    EXPECT_EQ(
        AssignToCom1AndReopen().toStdString(),
        "COM1 now points at " + folder_->ById(DeviceFolder::kAdapter) + ".\n\nRe-open COM1 now?");
    EXPECT_FALSE(form_->Comm().GetPortStatus());  // closed now, re-opened a second later
    ExpectOpenOnTheAdapter();
}

// The adapter on COM1 is pulled; instead of waiting for it, the engineer picks another device.
TEST_F(DevicesFormTest, AChosenDeviceEndsTheWaitForALostOne) {
    com1_.Close();
    ASSERT_TRUE(WaitFor([&] { return !boxes_.empty(); }));
    ASSERT_EQ(form_->ActiveCheckBox->checkState(), Qt::PartiallyChecked);
    AssignToCom1AndReopen();
    ExpectOpenOnTheAdapter();
    EXPECT_EQ(form_->ActiveCheckBox->checkState(), Qt::Checked);
}

}  // namespace
