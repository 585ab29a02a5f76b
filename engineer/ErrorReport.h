#pragma once
// Message boxes of Orrick: the top-level error reporting (stop icon, OK, caption "ORRICK") and the
// window's own boxes (exclamation icon, their own captions). Both go through one replaceable hook,
// so tests read the texts instead of answering modal boxes.
#include <QString>
#include <functional>

#include "desktop/ReportingApplication.h"

namespace orrick {

inline constexpr const char* kApplicationTitle = "ORRICK";

enum class TBoxIcon { Stop, Exclamation };

using TMessageHook =
    std::function<void(TBoxIcon icon, const QString& caption, const QString& text)>;

// Replaces the modal box; an empty hook restores it.
void SetMessageHook(TMessageHook hook);

// Shows a modal box with an OK button. While a box with the same caption and text is open, a
// repeat is dropped, so a failure repeated every second never stacks boxes.
void ShowMessageBox(TBoxIcon icon, const QString& caption, const QString& text);

// The message with a full stop added when its last character comes after "." in character order.
QString WithFullStop(const QString& message);

// Top-level error reporting on the user-interface thread.
void ReportError(const QString& message);

// From any thread: queued to the user-interface thread in order.
void ReportErrorLater(const QString& message);

}  // namespace orrick

// The application object: an exception that escapes an event handler ends at the top-level error
// reporting instead of ending the program.
class TOrrickApplication : public desktop::ReportingApplication {
    Q_OBJECT
public:
    TOrrickApplication(int& argc, char** argv);
};
