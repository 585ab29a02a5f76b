#pragma once
// A link timer on a real clock. QTimer::start restarts a running timer, while a link timer that is
// started again must keep its remaining time; and a new interval must only begin a new period when
// the value really changes. This wrapper gives QTimer those rules.
#include <QObject>
#include <QTimer>
#include <functional>

#include "map27/link/LinkInterfaces.h"

class QtLinkTimer final : public QObject, public map27::ILinkTimer {
    Q_OBJECT
public:
    // onExpiry runs on the thread of this object's event loop every time the interval passes, until
    // the timer is stopped.
    explicit QtLinkTimer(std::function<void()> onExpiry, QObject* parent = nullptr);

    void Start() override;
    void Stop() override;
    void SetInterval(std::uint16_t ms) override;
    bool IsRunning() const override;
    std::uint16_t Interval() const override;

private:
    QTimer timer_;
    std::uint16_t interval_ = 0;
    std::function<void()> onExpiry_;
};
