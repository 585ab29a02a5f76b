// The pieces both programs share on Qt, driven through a real application object.
#include <gtest/gtest.h>

#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTest>
#include <csignal>
#include <stdexcept>
#include <thread>

#include "desktop/QuietScrollBar.h"
#include "desktop/ReportingApplication.h"
#include "desktop/SignalWatcher.h"

namespace {

QStringList g_reports;  // what the application's report function received

class Thrower : public QObject {
public:
    bool event(QEvent* event) override {
        if (event->type() == QEvent::User)
            throw std::runtime_error("Have not started communications");
        if (event->type() == QEvent::User + 1) throw 42;
        return QObject::event(event);
    }
};

TEST(ShowOnce, ARepeatWhileItsBoxIsOpenIsDropped) {
    QStringList shown;
    const auto show = [&](const QString& key) {
        desktop::ShowOnce(key, [&] {
            shown << key;
            if (shown.size() == 1) {  // while this box is open, the same failure and another one
                desktop::ShowOnce(key, [&] { shown << "repeat"; });
                desktop::ShowOnce(QStringLiteral("Read data Timeout"), [&] { shown << "other"; });
            }
        });
    };
    show(QStringLiteral("Write data Timeout"));
    show(QStringLiteral("Write data Timeout"));  // the first box is closed again
    EXPECT_EQ(shown, (QStringList{"Write data Timeout", "other", "Write data Timeout"}));

    // A box that fails to show does not keep its key.
    EXPECT_THROW(desktop::ShowOnce("k", [] { throw std::runtime_error("no box"); }),
                 std::runtime_error);
    bool again = false;
    desktop::ShowOnce("k", [&] { again = true; });
    EXPECT_TRUE(again);
}

TEST(ReportingApplication, AnExceptionEscapingAnEventHandlerIsReported) {
    const struct {
        int type;
        const char* report;
    } cases[] = {{QEvent::User, "Have not started communications"},
                 {QEvent::User + 1, "Unknown error"}};
    for (const auto& c : cases) {
        g_reports.clear();
        Thrower thrower;
        QCoreApplication::postEvent(&thrower, new QEvent(static_cast<QEvent::Type>(c.type)));
        EXPECT_TRUE(QTest::qWaitFor([] { return !g_reports.isEmpty(); }, 1000));
        EXPECT_EQ(g_reports, QStringList{c.report});
    }
}

TEST(ReportOnUiThread, AReportFromAnotherThreadArrivesOnTheUiThreadInOrder) {
    g_reports.clear();
    const auto uiThread = std::this_thread::get_id();
    std::thread::id reportedOn;
    const desktop::ReportFunction report = [&](const QString& text) {
        reportedOn = std::this_thread::get_id();
        g_reports << text;
    };
    std::thread other([&] {
        desktop::ReportOnUiThread(report, QStringLiteral("Read data Timeout"));
        desktop::ReportOnUiThread(report, QStringLiteral("Write data Timeout"));
    });
    other.join();
    EXPECT_TRUE(g_reports.isEmpty());
    ASSERT_TRUE(QTest::qWaitFor([] { return g_reports.size() == 2; }, 1000));
    EXPECT_EQ(g_reports, (QStringList{"Read data Timeout", "Write data Timeout"}));
    EXPECT_EQ(reportedOn, uiThread);
}

TEST(SignalWatcher, TurnsSigtermAndSigintIntoOneRequestOnTheUiThread) {
    ::signal(SIGTERM, SIG_IGN);
    {
        desktop::SignalWatcher watcher;
        EXPECT_THROW(desktop::SignalWatcher second, std::logic_error);
        for (const int number : {SIGTERM, SIGINT}) {
            QList<int> received;
            QObject::connect(&watcher, &desktop::SignalWatcher::TerminationRequested,
                             [&](int n) { received << n; });
            ASSERT_EQ(std::raise(number), 0);
            ASSERT_EQ(std::raise(number), 0);
            EXPECT_TRUE(QTest::qWaitFor([&] { return !received.isEmpty(); }, 1000));
            QTest::qWait(20);
            EXPECT_EQ(received, QList<int>{number}) << "two signals, one wake-up";
            watcher.disconnect();
        }
    }
    struct sigaction restored {};
    ::sigaction(SIGTERM, nullptr, &restored);
    EXPECT_EQ(restored.sa_handler, SIG_IGN) << "the previous handler is back";
    ::signal(SIGTERM, SIG_DFL);
}

class PaintCounter : public QObject {
public:
    int paints = 0;
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++paints;
        return QObject::eventFilter(watched, event);
    }
};

TEST(QuietScrollBar, AGrowingLogRepaintsItOnlyWhenTheHandleMovesAndItLooksThePlainOne) {
    QPlainTextEdit log;
    auto* bar = new desktop::QuietScrollBar(Qt::Vertical);
    log.setVerticalScrollBar(bar);
    log.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    log.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    log.resize(300, 200);
    QStringList lines;
    for (int i = 0; i < 1000; ++i) lines << QString::number(i);
    log.appendPlainText(lines.join(u'\n'));
    log.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&log));
    bar->setValue(bar->maximum());
    QTest::qWait(50);

    PaintCounter counter;
    bar->installEventFilter(&counter);
    for (int batch = 0; batch < 10; ++batch) {  // a few lines a batch, the view following them
        log.appendPlainText(QStringLiteral("more\nand more"));
        bar->setValue(bar->maximum());
        QTest::qWait(10);
    }
    EXPECT_EQ(counter.paints, 0) << "the handle stayed where it was";
    bar->setValue(0);
    QTRY_VERIFY(counter.paints > 0);

    // Drawn from its pictures, it looks the plain bar, wherever the handle stands.
    const auto picture = [](QWidget& widget) {
        return widget.grab().toImage().convertToFormat(QImage::Format_ARGB32);
    };
    for (const Qt::Orientation orientation : {Qt::Vertical, Qt::Horizontal}) {
        desktop::QuietScrollBar quiet(orientation);
        QScrollBar plain(orientation);
        for (QScrollBar* each : {static_cast<QScrollBar*>(&quiet), &plain}) {
            each->setRange(0, 3000);
            each->setPageStep(40);
            each->resize(orientation == Qt::Vertical ? QSize(14, 300) : QSize(300, 14));
        }
        for (const int value : {0, 1000, 3000}) {
            quiet.setValue(value);
            plain.setValue(value);
            EXPECT_EQ(picture(quiet), picture(plain)) << orientation << " " << value;
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // Listing the tests needs no application, and so no display: ctest lists them to find them.
    if (GTEST_FLAG_GET(list_tests)) return RUN_ALL_TESTS();
    desktop::ReportingApplication app(argc, argv, [](const QString& text) { g_reports << text; });
    return RUN_ALL_TESTS();
}
