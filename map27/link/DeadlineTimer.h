#pragma once
// A link timer kept as a deadline, for owners that run a wait loop of their own (radiosim's poll()
// loop, map27test): the loop asks which timers are due and wakes at the earliest. The time comes
// from the function the owner gives, so the link layer still reads no clock of its own.
#include <chrono>
#include <cstdint>
#include <functional>
#include <utility>

#include "map27/link/LinkInterfaces.h"

namespace map27 {

class DeadlineTimer final : public ILinkTimer {
public:
    using TimePoint = std::chrono::steady_clock::time_point;

    explicit DeadlineTimer(std::function<TimePoint()> now) : now_(std::move(now)) {}

    // Start leaves a running timer alone; a changed interval begins a full new one.
    void Start() override {
        if (running_) return;
        running_ = true;
        Rearm();
    }
    void Stop() override { running_ = false; }
    void SetInterval(std::uint16_t ms) override {
        if (ms == interval_) return;
        interval_ = ms;
        if (running_) Rearm();
    }
    bool IsRunning() const override { return running_; }
    std::uint16_t Interval() const override { return interval_; }

    bool DueBy(TimePoint t) const { return running_ && due_ <= t; }
    TimePoint Due() const { return due_; }
    // An expiry that nobody stops comes again after another interval.
    void Rearm() { due_ = now_() + std::chrono::milliseconds(interval_); }

private:
    std::function<TimePoint()> now_;
    bool running_ = false;
    std::uint16_t interval_ = 1000;
    TimePoint due_{};
};

}  // namespace map27
