// The link timer rules on a real clock: a second Start keeps the remaining time, Restart and a new
// interval begin a full period, the same interval changes nothing, and a timer repeats until stopped.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <functional>
#include <memory>
#include <vector>

#include "terminal/QtLinkTimer.h"

namespace {

QCoreApplication& App() {
    static int argc = 1;
    static char name[] = "talvane_timer_test";
    static char* argv[] = {name, nullptr};
    static auto* app = new QCoreApplication(argc, argv);
    return *app;
}

// Runs the event loop for ms milliseconds of real time.
void RunFor(QElapsedTimer& clock, qint64 untilMs) {
    while (clock.elapsed() < untilMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
}

struct Case {
    const char* name;
    std::uint16_t interval;
    qint64 actionAt;  // ms after the first start
    std::function<void(QtLinkTimer&)> action;
    qint64 firstExpiryNotBefore;
    qint64 firstExpiryBefore;
};

TEST(QtLinkTimer, StartRestartAndIntervalRules) {
    App();
    const std::vector<Case> cases = {
        {"Start while running keeps the remaining time", 200, 120, [](QtLinkTimer& t) { t.Start(); }, 195, 300},
        {"Restart begins a full period", 200, 120, [](QtLinkTimer& t) { t.Restart(); }, 315, 1000},
        {"The same interval changes nothing", 200, 120, [](QtLinkTimer& t) { t.SetInterval(200); }, 195, 300},
        {"A new interval begins a full period", 200, 120, [](QtLinkTimer& t) { t.SetInterval(300); }, 415, 1000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QElapsedTimer clock;
        qint64 firstExpiry = -1;
        QtLinkTimer timer([&] {
            if (firstExpiry < 0) firstExpiry = clock.elapsed();
        });
        timer.SetInterval(c.interval);
        clock.start();
        timer.Start();
        RunFor(clock, c.actionAt);
        c.action(timer);
        while (firstExpiry < 0 && clock.elapsed() < 2000) RunFor(clock, clock.elapsed() + 5);
        timer.Stop();
        EXPECT_GE(firstExpiry, c.firstExpiryNotBefore);
        EXPECT_LT(firstExpiry, c.firstExpiryBefore);
    }
}

TEST(QtLinkTimer, RepeatsUntilStoppedAndReportsItsState) {
    App();
    int expiries = 0;
    QtLinkTimer timer([&] { ++expiries; });
    EXPECT_FALSE(timer.IsRunning());
    timer.SetInterval(30);
    EXPECT_EQ(timer.Interval(), 30);
    EXPECT_FALSE(timer.IsRunning()) << "setting an interval does not start the timer";
    timer.Start();
    EXPECT_TRUE(timer.IsRunning());
    QElapsedTimer clock;
    clock.start();
    while (expiries < 3 && clock.elapsed() < 2000) RunFor(clock, clock.elapsed() + 5);
    EXPECT_GE(expiries, 3);
    EXPECT_TRUE(timer.IsRunning());
    timer.Stop();
    EXPECT_FALSE(timer.IsRunning());
    const int stoppedAt = expiries;
    RunFor(clock, clock.elapsed() + 100);
    EXPECT_EQ(expiries, stoppedAt);
}

TEST(QtLinkTimer, AStoppedTimerTakesANewIntervalWithoutStarting) {
    App();
    int expiries = 0;
    QtLinkTimer timer([&] { ++expiries; });
    timer.SetInterval(20);
    timer.SetInterval(40);
    EXPECT_FALSE(timer.IsRunning());
    QElapsedTimer clock;
    clock.start();
    RunFor(clock, 100);
    EXPECT_EQ(expiries, 0);
}

}  // namespace
