// Sending while the port does not take the bytes: the window goes on answering, the line fails
// once at the port's time-out, and a second line meanwhile is refused with a word.
#include <QLabel>
#include <QTextEdit>
#include <algorithm>
#include <chrono>
#include <cstdio>

#include "engineer/ThreadRunDelay.h"
#include "engineer/tests/OrrickFixture.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::duration_cast;
using std::chrono::milliseconds;

// The longest the UI thread went without answering its timer, less the time it waited for a
// processor: a loaded machine delays every thread, a window that waits on a port is stuck.
class StallWatch {
public:
    StallWatch() {
        QObject::connect(&timer_, &QTimer::timeout, [this] { Tick(); });
        timer_.start(10);
    }
    milliseconds Longest() const { return longest_; }

private:
    void Tick() {
        const Clock::time_point now = Clock::now();
        const std::chrono::nanoseconds waited = runDelay_();
        longest_ =
            std::max(longest_, duration_cast<milliseconds>((now - last_) - (waited - lastWaited_)));
        last_ = now;
        lastWaited_ = waited;
    }
    orrick::TThreadRunDelay runDelay_;  // of the UI thread, which makes it
    Clock::time_point last_ = Clock::now();
    std::chrono::nanoseconds lastWaited_ = runDelay_();
    milliseconds longest_{0};
    QTimer timer_;
};

class EngineerWritesTest : public OrrickTest {};

TEST_F(EngineerWritesTest, APeerThatDoesNotReadNeverFreezesTheWindow) {
    PtyPeer com1;
    MapPorts(&com1, nullptr);
    BoxAnswerer boxes;
    StartForm();
    ASSERT_TRUE(form_->Comm().GetPortStatus());
    com1.StopReading();
    form_->RichEdit1->setPlainText(QString(400, QChar(u'x')));

    StallWatch stalls;
    const Clock::time_point sent = Clock::now();
    QTest::keyClick(form_->RichEdit1, Qt::Key_F1);
    QTest::qWait(200);
    ASSERT_TRUE(form_->Sending()) << boxes.texts.join(QChar(u'|')).toStdString();
    QTest::keyClick(form_->RichEdit1, Qt::Key_F1);
    EXPECT_EQ(form_->StatusPanel[1]->text(), "Not sent: the last line is still going");
    ASSERT_TRUE(WaitFor([&] { return !boxes.texts.empty(); }, 10000));
    const auto failedAfter = duration_cast<milliseconds>(Clock::now() - sent);
    QTest::qWait(300);
    std::printf("the write failed after %lld ms; the window's longest stall: %lld ms\n",
                static_cast<long long>(failedAfter.count()),
                static_cast<long long>(stalls.Longest().count()));
    EXPECT_EQ(boxes.texts, QStringList{"Write data Timeout."});
    EXPECT_EQ(boxes.captions, QStringList{"ORRICK"});
    // The port's time-out: 1000 ms + 5 ms a byte.
    EXPECT_GE(failedAfter.count(), 2900);
    EXPECT_LT(failedAfter.count(), 8000);
    EXPECT_LT(stalls.Longest().count(), 100);
    EXPECT_FALSE(form_->Sending());
    EXPECT_TRUE(form_->Comm().GetPortStatus()) << "a write that timed out leaves the port open";
}

}  // namespace
