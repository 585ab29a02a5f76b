#include "engineer/OrrickSettings.h"

#include <QSettings>

namespace orrick {
namespace {

constexpr const char* kMode = "Mode";
constexpr const char* kTimeStamps = "TimeStamps";

}  // namespace

TLoadedSettings LoadPortSettings() {
    TLoadedSettings loaded;
    const QSettings store(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("halberd"),
                          QStringLiteral("orrick"));
    if (store.status() != QSettings::NoError) {
        loaded.problem = QStringLiteral("The settings in %1 cannot be read; the defaults are used")
                             .arg(store.fileName());
        return loaded;
    }
    const bool stored = store.contains(kPortKey) || store.contains(kSpeedKey) ||
                        store.contains(kStopKey) || store.contains(kMode);
    if (!stored) return loaded;

    loaded.values.port = store.value(kPortKey).toString().toStdString();
    loaded.values.speed = store.value(kSpeedKey).toString().toStdString();
    loaded.values.stop = store.value(kStopKey).toString().toStdString();
    loaded.unknown = KeepKnownSettings(loaded.values);
    const QString modeText = store.value(kMode).toString();
    bool isInteger = false;
    const int mode = modeText.trimmed().toInt(&isInteger);
    if (isInteger && mode >= 0 && mode <= 2) {
        loaded.values.mode = mode;
    } else {
        loaded.values.mode = 0;
        loaded.problem =
            store.contains(kMode)
                ? QStringLiteral("The stored mode '%1' in %2 is not 0, 1 or 2; Data mode is used")
                      .arg(modeText, store.fileName())
                : QStringLiteral("No mode is stored in %1; Data mode is used")
                      .arg(store.fileName());
    }
    return loaded;
}

QString StorePortSettings(const TPortSettings& values) {
    QSettings store(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("halberd"),
                    QStringLiteral("orrick"));
    store.setValue(kPortKey, QString::fromStdString(values.port));
    store.setValue(kSpeedKey, QString::fromStdString(values.speed));
    store.setValue(kStopKey, QString::fromStdString(values.stop));
    store.setValue(kMode, values.mode);
    store.sync();
    if (store.status() != QSettings::NoError) {
        return QStringLiteral("The settings cannot be written to %1").arg(store.fileName());
    }
    return {};
}

bool LoadTimeStamps() {
    const QSettings store(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("halberd"),
                          QStringLiteral("orrick"));
    return store.value(kTimeStamps, false).toBool();
}

QString StoreTimeStamps(bool on) {
    QSettings store(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("halberd"),
                    QStringLiteral("orrick"));
    store.setValue(kTimeStamps, on);
    store.sync();
    if (store.status() != QSettings::NoError) {
        return QStringLiteral("The time stamps choice cannot be kept in %1").arg(store.fileName());
    }
    return {};
}

}  // namespace orrick
