// Config > "&Devices..." in Talvane27: the port in use, pointed at another device, re-opens there
// through the same delayed open as Config > Port, and the link starts again on it.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include "desktop/DevicesForm.h"
#include "serial/tests/DeviceFolder.h"
#include "terminal/tests/TerminalTestSupport.h"

namespace talvane::test {
namespace {

using DevicesMenuTest = TerminalTest;

TEST_F(DevicesMenuTest, ThePortInUseReopensOnTheChosenDeviceAndTheLinkStartsThere) {
    PtyRadio com1;
    PtyRadio com2;
    PtyRadio adapter;
    DeviceFolder folder(adapter.SlavePath());
    qputenv("HALBERD_DEVICE_ROOT", QByteArray::fromStdString(folder.Root()));
    WritePorts(com1.SlavePath(), com2.SlavePath());
    StartTerminal();
    ASSERT_TRUE(WaitUntil([&] { return com1.CountOfType(map27::kLinkRequest) >= 1; }, 3000, &com1));

    const QString byId = QString::fromStdString(folder.ById(DeviceFolder::kAdapter));
    bool answered = false;
    QTimer::singleShot(0, form_.get(), [&] {
        auto* dialog = qobject_cast<TDevicesForm*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->PortBox->currentText(), "COM1");  // the port in use
        QTimer::singleShot(0, dialog, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            box->button(QMessageBox::Yes)->click();
            answered = true;
        });
        QTreeWidgetItem* row = dialog->DeviceTable->topLevelItem(0);
        ASSERT_NE(row, nullptr);
        EXPECT_EQ(row->text(0), byId);
        dialog->DeviceTable->setCurrentItem(row);
        QTest::mouseClick(dialog->AssignButton, Qt::LeftButton);
        dialog->CloseButton->click();
    });
    Control<QAction>("DevicesMenu")->trigger();
    qunsetenv("HALBERD_DEVICE_ROOT");

    EXPECT_TRUE(answered);
    EXPECT_EQ(form_->findChild<QLabel*>(QStringLiteral("Panel1"))->toolTip(), byId);
    EXPECT_TRUE(
        WaitUntil([&] { return adapter.CountOfType(map27::kLinkRequest) >= 1; }, 5000, &adapter));
}

}  // namespace
}  // namespace talvane::test
