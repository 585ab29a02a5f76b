// Orrick: the engineer's serial terminal.
#include <cstdio>
#include <exception>
#include <string_view>

#include "ComportForm.h"
#include "DeviceList.h"
#include "EngineerForm.h"
#include "ErrorReport.h"
#include "SignalCloser.h"
#include "VersionForm.h"

int main(int argc, char** argv) {
    // Answered before the application exists, so it needs no window and no display.
    for (int i = 1; i < argc; ++i) {
        if (std::string_view(argv[i]) == "--list-ports") {
            std::fputs(ListPortsText(DeviceScanner::FromEnvironment()).c_str(), stdout);
            return 0;
        }
    }
    TOrrickApplication app(argc, argv);
    try {
        TEngineerForm form;
        EngineerForm = &form;
        VersionForm = &form.VersionDialog();
        ComportForm = &form.ComportDialog();
        TSignalCloser closer(&form);
        form.show();
        return app.exec();
    } catch (const std::exception& error) {
        orrick::ReportError(QString::fromUtf8(error.what()));
        return 1;
    }
}
