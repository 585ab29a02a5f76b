#pragma once
// The top-level error reporting that Talvane27 and Orrick share. Each program keeps its own box
// (caption, icon, wording, a hook for its tests); what they share is that boxes never stack, that
// an exception escaping an event handler ends in a box instead of ending the program, and that
// other threads report through the UI thread.
#include <QApplication>
#include <QString>
#include <functional>

namespace desktop {

using ReportFunction = std::function<void(const QString& text)>;

// Runs show unless a box shown under the same key is still open, so a failure that recurs while
// its box is open is dropped instead of stacking boxes. UI thread only.
void ShowOnce(const QString& key, const std::function<void()>& show);

// Safe from any thread: report(text) runs on the UI thread, in the order of the calls.
void ReportOnUiThread(ReportFunction report, const QString& text);

// The application object of both programs: an exception that escapes an event handler is handed
// to report ("Unknown error" when it is not a std::exception).
class ReportingApplication : public QApplication {
public:
    ReportingApplication(int& argc, char** argv, ReportFunction report);
    bool notify(QObject* receiver, QEvent* event) override;

private:
    ReportFunction report_;
};

}  // namespace desktop
