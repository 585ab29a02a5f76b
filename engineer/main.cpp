// Orrick: the engineer's serial terminal.
#include <cstdio>
#include <exception>
#include <string_view>

#include "desktop/SignalWatcher.h"
#include "engineer/EngineerForm.h"
#include "engineer/ErrorReport.h"
#include "serial/DeviceList.h"

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
        // SIGTERM and SIGINT close the window as its close box does.
        desktop::SignalWatcher signals_;
        QObject::connect(&signals_, &desktop::SignalWatcher::TerminationRequested, &form,
                         &QWidget::close);
        form.show();
        return app.exec();
    } catch (const std::exception& error) {
        orrick::ReportError(QString::fromUtf8(error.what()));
        return 1;
    }
}
