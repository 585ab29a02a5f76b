// Talvane27: a MAP27 terminal for the data terminal side of a trunked radio.
#include <QStringList>
#include <QTimer>
#include <cstdio>
#include <string_view>

#include "desktop/SignalWatcher.h"
#include "serial/DeviceList.h"
#include "terminal/ErrorReporting.h"
#include "terminal/MainForm.h"

int main(int argc, char** argv) {
    // Answered before the application exists, so it needs no window and no display.
    for (int i = 1; i < argc; ++i) {
        if (std::string_view(argv[i]) == "--list-ports") {
            std::fputs(ListPortsText(DeviceScanner::FromEnvironment()).c_str(), stdout);
            return 0;
        }
    }
    talvane::TalvaneApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);  // modeless windows may still be open; Finished ends it

    // --capture FILE: every frame on the line appended to FILE from the first one on.
    QString capturePath;
    const QStringList arguments = app.arguments();
    if (const qsizetype at = arguments.indexOf(QStringLiteral("--capture")); at > 0) {
        if (at + 1 >= arguments.size()) {
            std::fputs("Talvane27: --capture needs a file\n", stderr);
            return 2;
        }
        capturePath = arguments[at + 1];
    }

    TMainForm mainForm(nullptr, capturePath);
    if (mainForm.StartFailed()) return 1;
    QObject::connect(&mainForm, &TMainForm::Finished, &app, &QApplication::quit);

    desktop::SignalWatcher signals_;
    QObject::connect(&signals_, &desktop::SignalWatcher::TerminationRequested, &mainForm,
                     [&mainForm](int) { mainForm.CloseWithoutConfirmation(); });

    mainForm.show();
    return app.exec();
}
