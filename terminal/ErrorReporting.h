#pragma once
// Top-level error reporting and every message box of the terminal. All boxes go through one
// replaceable hook, so tests read the texts instead of blocking on a modal box.
#include <QMessageBox>
#include <QString>
#include <functional>

#include "desktop/ReportingApplication.h"

namespace talvane {

inline const QString kProgramTitle = QStringLiteral("Talvane27");

struct MessageBoxRequest {
    QWidget* parent = nullptr;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QString caption;
    QString text;
    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
};

using MessageBoxHook = std::function<QMessageBox::StandardButton(const MessageBoxRequest&)>;

// Replaces the function that shows message boxes; an empty hook restores the real boxes.
void SetMessageBoxHook(MessageBoxHook hook);

// Shows a message box (through the hook) and returns the button pressed. UI thread only.
QMessageBox::StandardButton ShowMessage(const MessageBoxRequest& request);

// The program's error box: stop icon, OK, the program's title as caption. UI thread only. While a
// box with the same text is open, a repeat is dropped, so a failure that recurs every second does
// not pile up boxes.
void ReportError(const QString& text);

// Safe from any thread: the report is queued to the UI thread.
void ReportErrorQueued(const QString& text);

// Shows exceptions that escape an event handler in the program's error box instead of ending the
// program.
class TalvaneApplication : public desktop::ReportingApplication {
public:
    TalvaneApplication(int& argc, char** argv);
};

}  // namespace talvane
