#include "terminal/ErrorReporting.h"

#include <utility>

namespace talvane {
namespace {

MessageBoxHook& Hook() {
    static MessageBoxHook hook;
    return hook;
}

QMessageBox::StandardButton RealMessageBox(const MessageBoxRequest& request) {
    QMessageBox box(request.icon, request.caption, request.text, request.buttons, request.parent);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

}  // namespace

void SetMessageBoxHook(MessageBoxHook hook) { Hook() = std::move(hook); }

QMessageBox::StandardButton ShowMessage(const MessageBoxRequest& request) {
    if (Hook()) return Hook()(request);
    return RealMessageBox(request);
}

void ReportError(const QString& text) {
    desktop::ShowOnce(text, [&text] {
        MessageBoxRequest request;
        request.icon = QMessageBox::Critical;
        request.caption = kProgramTitle;
        request.text = text;
        request.buttons = QMessageBox::Ok;
        request.parent = QApplication::activeWindow();
        ShowMessage(request);
    });
}

void ReportErrorQueued(const QString& text) {
    desktop::ReportOnUiThread(ReportError, text);
}

TalvaneApplication::TalvaneApplication(int& argc, char** argv)
    : desktop::ReportingApplication(argc, argv, ReportError) {
    setApplicationName(kProgramTitle);
}

}  // namespace talvane
