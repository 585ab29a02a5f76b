#include "ErrorReport.h"

#include <QMessageBox>
#include <QMetaObject>
#include <QSet>
#include <exception>

namespace orrick {
namespace {

TMessageHook& Hook() {
    static TMessageHook hook;
    return hook;
}

QSet<QString>& OpenBoxes() {
    static QSet<QString> open;
    return open;
}

}  // namespace

void SetMessageHook(TMessageHook hook) {
    Hook() = std::move(hook);
}

void ShowMessageBox(TBoxIcon icon, const QString& caption, const QString& text) {
    const QString key = caption + QChar(u'\n') + text;
    if (OpenBoxes().contains(key)) return;
    OpenBoxes().insert(key);
    struct Closed {
        QString key;
        ~Closed() { OpenBoxes().remove(key); }
    } closed{key};
    if (Hook()) {
        Hook()(icon, caption, text);
        return;
    }
    QMessageBox box(icon == TBoxIcon::Stop ? QMessageBox::Critical : QMessageBox::Warning, caption,
                    text, QMessageBox::Ok, QApplication::activeWindow());
    box.exec();
}

QString WithFullStop(const QString& message) {
    if (!message.isEmpty() && message.back() > QChar(u'.')) return message + QChar(u'.');
    return message;
}

void ReportError(const QString& message) {
    ShowMessageBox(TBoxIcon::Stop, QString::fromLatin1(kApplicationTitle), WithFullStop(message));
}

void ReportErrorLater(const QString& message) {
    if (QCoreApplication* app = QCoreApplication::instance()) {
        QMetaObject::invokeMethod(
            app, [message] { ReportError(message); }, Qt::QueuedConnection);
    }
}

}  // namespace orrick

TOrrickApplication::TOrrickApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TOrrickApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        orrick::ReportError(QString::fromUtf8(error.what()));
    } catch (...) {
        orrick::ReportError(QStringLiteral("Unknown error"));
    }
    return true;
}
