// Orrick: the engineer's serial terminal.
#include <exception>

#include "EngineerForm.h"
#include "ErrorReport.h"
#include "SignalCloser.h"

int main(int argc, char** argv) {
    TOrrickApplication app(argc, argv);
    try {
        TEngineerForm form;
        TSignalCloser closer(&form);
        form.show();
        return app.exec();
    } catch (const std::exception& error) {
        orrick::ReportError(QString::fromUtf8(error.what()));
        return 1;
    }
}
