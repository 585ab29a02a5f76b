// Config > "&Devices...": choosing the device behind a COM name. A change to the port in use
// takes effect through the same close and delayed re-open as a change in Config > Port.
#include "desktop/DevicesForm.h"
#include "terminal/LinkHost.h"
#include "terminal/MainForm.h"

void TMainForm::DevicesMenuClick() {
    TDevicesForm dialog(portText_, this);
    connect(&dialog, &TDevicesForm::ReopenRequested, this, &TMainForm::ReopenPort);
    dialog.exec();
    UpdatePortPanel();  // its tool tip names the device
}

void TMainForm::ReopenPort() {
    link_->ClosePort();
    UpdatePortPanel();
    if (!comOpenTimer_.isActive()) comOpenTimer_.start();
}
