// Orrick: the engineer's serial terminal.
#include <exception>

#include "EngineerForm.h"
#include "ErrorReport.h"
#include "SignalWatcher.h"

int main(int argc, char** argv) {
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
