#pragma once
// SIGTERM and SIGINT close a window as its close box does: the signal handler only writes a byte
// to a pipe, and the event loop, woken by the pipe, closes the window.
#include <QObject>
#include <QPointer>
#include <QWidget>

class QSocketNotifier;

class TSignalCloser : public QObject {
    Q_OBJECT
public:
    // One instance at a time; it restores the previous handlers when it goes.
    explicit TSignalCloser(QWidget* window, QObject* parent = nullptr);
    ~TSignalCloser() override;

private:
    void SignalArrived();

    QPointer<QWidget> window_;
    QSocketNotifier* notifier_ = nullptr;
};
