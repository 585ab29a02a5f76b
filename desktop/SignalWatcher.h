#pragma once
// SIGTERM and SIGINT as a Qt signal on the UI thread, so that a program ends as its own close
// does (timers stopped, settings kept, port closed). The signal handler only writes a byte to a
// pipe; the event loop, woken by the pipe, emits TerminationRequested.
#include <QObject>

class QSocketNotifier;

namespace desktop {

class SignalWatcher : public QObject {
    Q_OBJECT
public:
    // One instance at a time (std::logic_error for a second); it restores the previous handlers
    // when it goes. Should the pipe not be created, the signals keep their previous handling.
    explicit SignalWatcher(QObject* parent = nullptr);
    ~SignalWatcher() override;

signals:
    // Once for the signals that arrived since the last wake-up, with the first one's number.
    void TerminationRequested(int signalNumber);

private:
    void SignalArrived();

    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace desktop
