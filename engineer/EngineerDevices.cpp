// Config > "&Devices...": choosing the device behind a COM name. A change to the port in use
// takes effect through the same re-open as checking the "Active" box: one second later.
#include "DevicesForm.h"
#include "EngineerForm.h"
#include "Hcomm.h"

void TEngineerForm::Devices1Click() {
    const QString port =
        HComm1->CommPort() == TCommPort::Com1 ? QStringLiteral("COM1") : QStringLiteral("COM2");
    TDevicesForm dialog(port, this);
    connect(&dialog, &TDevicesForm::ReopenRequested, this, [this] {
        HComm1->CloseCommport();
        ApplyPortSelection();
    });
    dialog.exec();
    WritePortPanel();  // its tool tip names the device
}
