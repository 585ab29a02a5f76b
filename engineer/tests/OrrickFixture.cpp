#include "engineer/tests/OrrickFixture.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QSettings>
#include <QTemporaryDir>
#include <QTextStream>

#include "serial/Hcomm.h"

QString OrrickTest::configFolder_;

void OrrickTest::SetUpTestSuite() {
    if (QCoreApplication::instance() != nullptr) return;
    static QTemporaryDir folder;
    configFolder_ = folder.path();
    qputenv("XDG_CONFIG_HOME", configFolder_.toUtf8());
    QDir(configFolder_).mkpath(QStringLiteral("halberd"));
    static int argc = 1;
    static char name[] = "engineer_window_test";
    static char* argv[] = {name, nullptr};
    new TOrrickApplication(argc, argv);  // lives as long as the process
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, configFolder_);
}

BoxAnswerer::BoxAnswerer(std::function<bool()> portOpen) : portOpen_(std::move(portOpen)) {
    orrick::SetMessageHook({});
    timer_.setInterval(20);
    QObject::connect(&timer_, &QTimer::timeout, [this] { Answer(); });
    timer_.start();
}

void BoxAnswerer::Answer() {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr || !box->isVisible()) return;
    captions << box->windowTitle();
    texts << box->text();
    portOpenWhileShown.push_back(portOpen_ && portOpen_());
    box->done(QMessageBox::Ok);
}

void OrrickTest::SetUp() {
    QSettings store(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("halberd"),
                    QStringLiteral("orrick"));
    store.clear();
    store.sync();
    boxes_.clear();
    CaptureBoxes();
}

void OrrickTest::CaptureBoxes() {
    orrick::SetMessageHook(
        [this](orrick::TBoxIcon icon, const QString& caption, const QString& text) {
            boxes_.push_back({icon, caption, text});
        });
}

void OrrickTest::TearDown() {
    // An error still queued must meet the hook, not a real box that would wait for a click.
    CaptureBoxes();
    form_.reset();
    QCoreApplication::processEvents();
    orrick::SetMessageHook({});
}

void OrrickTest::MapPorts(const PtyPeer* com1, const PtyPeer* com2) {
    QFile file(configFolder_ + QStringLiteral("/halberd/ports.conf"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QTextStream out(&file);
    out << "[ports]\n";
    out << "COM1="
        << (com1 ? QString::fromStdString(com1->Path()) : QStringLiteral("/nonexistent/ttyCOM1"))
        << "\n";
    out << "COM2="
        << (com2 ? QString::fromStdString(com2->Path()) : QStringLiteral("/nonexistent/ttyCOM2"))
        << "\n";
}

void OrrickTest::StoreSettings(const std::map<QString, QString>& values) {
    QSettings store(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("halberd"),
                    QStringLiteral("orrick"));
    for (const auto& [key, value] : values) store.setValue(key, value);
    store.sync();
}

std::map<QString, QString> OrrickTest::StoredSettings() const {
    const QSettings store(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("halberd"),
                          QStringLiteral("orrick"));
    std::map<QString, QString> values;
    for (const QString& key : store.allKeys()) values[key] = store.value(key).toString();
    return values;
}

QString OrrickTest::SettingsFile() const {
    return configFolder_ + QStringLiteral("/halberd/orrick.conf");
}

TEngineerForm& OrrickTest::StartForm() {
    form_ = std::make_unique<TEngineerForm>();
    form_->show();
    QCoreApplication::processEvents();
    return *form_;
}

void OrrickTest::CloseForm() {
    form_->close();
    QCoreApplication::processEvents();
}

bool OrrickTest::WaitFor(const std::function<bool()>& condition, int timeoutMs) {
    return QTest::qWaitFor(condition, timeoutMs);
}

bool OrrickTest::WaitUntilWritten() {
    return WaitFor([this] { return !form_->Sending(); });
}

QStringList OrrickTest::BoxTexts() const {
    QStringList texts;
    for (const CapturedBox& box : boxes_) texts << box.text;
    return texts;
}
