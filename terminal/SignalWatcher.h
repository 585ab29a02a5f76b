#pragma once
// Turns SIGTERM and SIGINT into a Qt signal on the UI thread (a self-pipe read by a socket
// notifier), so the program can end as a confirmed close does: timers stopped, port closed.
#include <QObject>

class QSocketNotifier;

class SignalWatcher : public QObject {
    Q_OBJECT
public:
    explicit SignalWatcher(QObject* parent = nullptr);
    ~SignalWatcher() override;

signals:
    void TerminationRequested(int signalNumber);

private:
    QSocketNotifier* notifier_ = nullptr;
};
