// Talvane27: a MAP27 terminal for the data terminal side of a trunked radio.
#include <QTimer>

#include "ErrorReporting.h"
#include "MainForm.h"
#include "SignalWatcher.h"

int main(int argc, char** argv) {
    talvane::TalvaneApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);  // modeless windows may still be open; Finished ends it

    TMainForm mainForm;
    if (mainForm.StartFailed()) return 1;
    QObject::connect(&mainForm, &TMainForm::Finished, &app, &QApplication::quit);

    desktop::SignalWatcher signals_;
    QObject::connect(&signals_, &desktop::SignalWatcher::TerminationRequested, &mainForm,
                     [&mainForm](int) { mainForm.CloseWithoutConfirmation(); });

    mainForm.show();
    return app.exec();
}
