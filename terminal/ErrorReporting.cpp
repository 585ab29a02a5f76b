#include "ErrorReporting.h"

#include <QMetaObject>
#include <QSet>
#include <exception>
#include <utility>

namespace talvane {
namespace {

MessageBoxHook& Hook() {
    static MessageBoxHook hook;
    return hook;
}

QSet<QString>& OpenErrorTexts() {
    static QSet<QString> texts;
    return texts;
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
    auto& open = OpenErrorTexts();
    if (open.contains(text)) return;
    open.insert(text);
    MessageBoxRequest request;
    request.icon = QMessageBox::Critical;
    request.caption = kProgramTitle;
    request.text = text;
    request.buttons = QMessageBox::Ok;
    request.parent = QApplication::activeWindow();
    try {
        ShowMessage(request);
    } catch (...) {
        open.remove(text);
        throw;
    }
    open.remove(text);
}

void ReportErrorQueued(const QString& text) {
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr) return;
    QMetaObject::invokeMethod(app, [text] { ReportError(text); }, Qt::QueuedConnection);
}

TalvaneApplication::TalvaneApplication(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(kProgramTitle);
}

bool TalvaneApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        ReportError(QString::fromStdString(error.what()));
    } catch (...) {
        ReportError(QStringLiteral("Unknown error"));
    }
    return false;
}

}  // namespace talvane
