#pragma once
// Waits for the device of a lost port to come back and then asks its owner to reopen the port:
// woken by the device watcher's descriptor, and looking once a second only where inotify falls
// short or a reopen failed while the device was there. Holds no port and shows nothing.
#include <QObject>
#include <QString>
#include <functional>
#include <memory>

class QSocketNotifier;
class QTimer;
class TDeviceWatcher;

class TDeviceWait : public QObject {
    Q_OBJECT
public:
    explicit TDeviceWait(QObject* parent = nullptr);
    ~TDeviceWait() override;

    // Starts waiting for devicePath; reopen is called from the event loop when the device is back
    // and tells whether the port is open again. A wait already running is replaced.
    void Start(const QString& devicePath, std::function<bool()> reopen);
    void Stop();
    bool Waiting() const { return watcher_ != nullptr; }

private:
    void Look();

    std::unique_ptr<TDeviceWatcher> watcher_;
    QSocketNotifier* notifier_ = nullptr;
    QTimer* lookAgain_;
    std::function<bool()> reopen_;
};
