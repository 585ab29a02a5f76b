#include "terminal/QtLinkTimer.h"

#include <utility>

QtLinkTimer::QtLinkTimer(std::function<void()> onExpiry, QObject* parent)
    : QObject(parent), timer_(this), onExpiry_(std::move(onExpiry)) {
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setSingleShot(false);
    connect(&timer_, &QTimer::timeout, this, [this] {
        if (onExpiry_) onExpiry_();
    });
}

void QtLinkTimer::Start() {
    if (timer_.isActive()) return;  // a running timer keeps its remaining time
    timer_.start(interval_);
}

void QtLinkTimer::Stop() { timer_.stop(); }

void QtLinkTimer::SetInterval(std::uint16_t ms) {
    if (ms == interval_) return;
    interval_ = ms;
    if (timer_.isActive()) timer_.start(interval_);  // a new full period with the new value
}

bool QtLinkTimer::IsRunning() const { return timer_.isActive(); }

std::uint16_t QtLinkTimer::Interval() const { return interval_; }
