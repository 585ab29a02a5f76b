#pragma once
// Config > "&Devices...": the serial devices present and which of COM1..COM4 each one is.
// Assigning a device to a COM name writes ports.conf; it counts from the next open of that port,
// which the dialog offers to do at once when the port is the one the program uses.
#include <QDialog>
#include <QString>
#include <vector>

#include "serial/DeviceList.h"

class QComboBox;
class QLabel;
class QPushButton;
class QTreeWidget;

class TDevicesForm : public QDialog {
    Q_OBJECT
public:
    // portInUse: "COM1".."COM4", the port the program has open (or would open).
    explicit TDevicesForm(const QString& portInUse, QWidget* parent = nullptr,
                          DeviceScanner scanner = DeviceScanner::FromEnvironment());

    // Scans again and shows the ports and the devices found.
    void Refresh();
    void AssignButtonClick();

    QTreeWidget* PortTable;
    QTreeWidget* DeviceTable;
    QComboBox* PortBox;
    QPushButton* AssignButton;
    QPushButton* RefreshButton;
    QPushButton* CloseButton;
    QLabel* StatusLabel;

signals:
    // The operator wants the port in use re-opened on its new device.
    void ReopenRequested();

private:
    DeviceScanner scanner_;
    std::vector<SerialDevice> devices_;
    QString portInUse_;
};
