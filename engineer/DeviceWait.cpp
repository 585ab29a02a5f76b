#include "engineer/DeviceWait.h"

#include <QSocketNotifier>
#include <QTimer>
#include <chrono>

#include "serial/DeviceWatcher.h"

namespace {

constexpr std::chrono::seconds kLookAgainInterval{1};

}  // namespace

TDeviceWait::TDeviceWait(QObject* parent) : QObject(parent), lookAgain_(new QTimer(this)) {
    lookAgain_->setInterval(kLookAgainInterval);
    connect(lookAgain_, &QTimer::timeout, this, &TDeviceWait::Look);
}

TDeviceWait::~TDeviceWait() = default;

void TDeviceWait::Start(const QString& devicePath, std::function<bool()> reopen) {
    Stop();
    reopen_ = std::move(reopen);
    watcher_ = std::make_unique<TDeviceWatcher>(devicePath.toStdString());
    if (watcher_->Descriptor() >= 0) {
        notifier_ = new QSocketNotifier(watcher_->Descriptor(), QSocketNotifier::Read, this);
        connect(notifier_, &QSocketNotifier::activated, this, &TDeviceWait::Look);
    }
    // Queued: reports of the same loss still waiting in the queue meet a port that is closed, not
    // one that has just been reopened.
    QMetaObject::invokeMethod(this, &TDeviceWait::Look, Qt::QueuedConnection);
}

void TDeviceWait::Stop() {
    lookAgain_->stop();
    if (notifier_ != nullptr) {
        // Off before the descriptor it watches is closed; deleted later, as Stop may run inside
        // its own signal.
        notifier_->setEnabled(false);
        notifier_->deleteLater();
        notifier_ = nullptr;
    }
    watcher_.reset();
    reopen_ = nullptr;
}

void TDeviceWait::Look() {
    if (!watcher_) return;
    const bool back = watcher_->IsBack();  // also drains the descriptor
    if (back) {
        const std::function<bool()> reopen = reopen_;  // Stop inside it must not pull it away
        if (reopen()) {
            Stop();
            return;
        }
    }
    if (!watcher_) return;  // stopped from inside reopen
    // A device that is there but cannot be opened yet (busy, rules not applied) changes without
    // an event, and so may a folder that could not be watched.
    if (back || watcher_->NeedsPolling()) {
        if (!lookAgain_->isActive()) lookAgain_->start();
    } else {
        lookAgain_->stop();
    }
}
