#include "desktop/ReportingApplication.h"

#include <QMetaObject>
#include <QSet>
#include <exception>
#include <utility>

namespace desktop {
namespace {

QSet<QString>& OpenBoxes() {
    static QSet<QString> open;
    return open;
}

}  // namespace

void ShowOnce(const QString& key, const std::function<void()>& show) {
    if (OpenBoxes().contains(key)) return;
    OpenBoxes().insert(key);
    struct Closed {
        QString key;
        ~Closed() { OpenBoxes().remove(key); }
    } closed{key};
    show();
}

void ReportOnUiThread(ReportFunction report, const QString& text) {
    if (QCoreApplication* app = QCoreApplication::instance()) {
        QMetaObject::invokeMethod(
            app, [report = std::move(report), text] { report(text); }, Qt::QueuedConnection);
    }
}

ReportingApplication::ReportingApplication(int& argc, char** argv, ReportFunction report)
    : QApplication(argc, argv), report_(std::move(report)) {}

bool ReportingApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        report_(QString::fromUtf8(error.what()));
    } catch (...) {
        report_(QStringLiteral("Unknown error"));
    }
    return false;
}

}  // namespace desktop
