#include "engineer/ErrorReport.h"

#include <QApplication>
#include <QMessageBox>

namespace orrick {
namespace {

TMessageHook& Hook() {
    static TMessageHook hook;
    return hook;
}

}  // namespace

void SetMessageHook(TMessageHook hook) {
    Hook() = std::move(hook);
}

void ShowMessageBox(TBoxIcon icon, const QString& caption, const QString& text) {
    desktop::ShowOnce(caption + QChar(u'\n') + text, [&] {
        if (Hook()) {
            Hook()(icon, caption, text);
            return;
        }
        QMessageBox box(icon == TBoxIcon::Stop ? QMessageBox::Critical : QMessageBox::Warning,
                        caption, text, QMessageBox::Ok, QApplication::activeWindow());
        box.exec();
    });
}

QString WithFullStop(const QString& message) {
    if (!message.isEmpty() && message.back() > QChar(u'.')) return message + QChar(u'.');
    return message;
}

void ReportError(const QString& message) {
    ShowMessageBox(TBoxIcon::Stop, QString::fromLatin1(kApplicationTitle), WithFullStop(message));
}

void ReportErrorLater(const QString& message) {
    desktop::ReportOnUiThread(ReportError, message);
}

}  // namespace orrick

TOrrickApplication::TOrrickApplication(int& argc, char** argv)
    : desktop::ReportingApplication(argc, argv, orrick::ReportError) {}
