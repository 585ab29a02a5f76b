// Config > "&Devices...": choosing the device behind a COM name. A change to the port in use
// takes effect through the same re-open as checking the "Active" box: one second later.
#include "desktop/DeviceWait.h"
#include "desktop/DevicesForm.h"
#include "engineer/EngineerForm.h"
#include "serial/Hcomm.h"

void TEngineerForm::Devices1Click() {
    const QString port =
        HComm1->CommPort() == TCommPort::Com1 ? QStringLiteral("COM1") : QStringLiteral("COM2");
    TDevicesForm dialog(port, this);
    connect(&dialog, &TDevicesForm::ReopenRequested, this, [this] {
        StopWaitingForDevice();  // a lost port's old device is no longer wanted back
        ClosePort();
        ApplyPortSelection();
    });
    dialog.exec();
    // Its tool tip names the device; a lost port's panel keeps saying so.
    if (!DeviceWait_->Waiting()) WritePortPanel();
}
