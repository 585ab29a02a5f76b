#include "bench/InProcessFigures.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QTextBlock>
#include <QTextDocument>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>

#include "bench/ScriptedRadio.h"
#include "bench/Stats.h"
#include "terminal/ErrorReporting.h"
#include "terminal/LinkHost.h"
#include "terminal/LogView.h"
#include "terminal/MainForm.h"
#include "terminal/dialogs/DialogWidgets.h"

namespace bench {
namespace {

using namespace std::chrono_literals;

// Status messages from unit 008/2001, as the radio passes them on: status 1 for the turnaround,
// status 2 for the flood, so the flood's lines are told from any late ones of the turnaround.
const std::vector<std::uint8_t> kStatusMessage = {0x80, 0x08, 0x07, 0xD1, 0x00, 0x01};
const std::vector<std::uint8_t> kFloodMessage = {0x80, 0x08, 0x07, 0xD1, 0x00, 0x02};

// Ticks on the UI thread and keeps the longest time between two ticks: the longest the event loop
// was kept from running.
class Heartbeat {
public:
    explicit Heartbeat(int intervalMs) {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(intervalMs);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            maxGapNs_ = std::max(maxGapNs_, clock_.nsecsElapsed());
            clock_.restart();
        });
        Reset();
        timer_.start();
    }
    void Reset() {
        clock_.restart();
        maxGapNs_ = 0;
    }
    // The longest gap so far, the one still open included.
    double MaxGapMs() const {
        return static_cast<double>(std::max(maxGapNs_, clock_.nsecsElapsed())) / 1e6;
    }

private:
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 maxGapNs_ = 0;
};

// Runs the UI thread's event loop until pred holds or the time is up.
bool RunUntil(const std::function<bool()>& pred, std::chrono::milliseconds timeout) {
    if (pred()) return true;
    QEventLoop loop;
    QTimer check;
    check.setInterval(1);
    QObject::connect(&check, &QTimer::timeout, [&] {
        if (pred()) loop.quit();
    });
    QTimer::singleShot(static_cast<int>(timeout.count()), &loop, &QEventLoop::quit);
    check.start();
    loop.exec();
    return pred();
}

// Runs script on a thread of its own (the radio's side) while the UI thread runs its event loop.
template <typename T>
T RunRadioScript(const std::function<T()>& script, std::chrono::milliseconds timeout) {
    std::atomic<bool> done{false};
    T result{};
    std::exception_ptr error;
    std::thread radioThread([&] {
        try {
            result = script();
        } catch (...) {
            error = std::current_exception();
        }
        done = true;
    });
    RunUntil([&] { return done.load(); }, timeout + 5s);
    radioThread.join();
    if (error) std::rethrow_exception(error);
    return result;
}

void WritePortsFile(const std::string& configDir, const std::string& com1) {
    std::filesystem::create_directories(configDir + "/halberd");
    std::ofstream file(configDir + "/halberd/ports.conf");
    file << "[ports]\nCOM1=" << com1 << "\nCOM2=" << configDir << "/no-such-tty\n";
}

// The peak resident memory of this process (VmHWM), in kB.
long PeakMemoryKb() {
    std::ifstream file("/proc/self/status");
    std::string line;
    while (std::getline(file, line)) {
        if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
    }
    return -1;
}

int ShownLines(QPlainTextEdit& log) {
    return log.document()->isEmpty() ? 0 : log.document()->blockCount();
}

// Lets the lines still queued from the link arrive, then empties the log.
void ClearLogWhenQuiet(LogView& log) {
    RunUntil([] { return false; }, 200ms);
    log.ClearLog();
}

}  // namespace

void RunInProcessFigures(const InProcessCounts& counts, const std::string& configDir) {
    ScriptedRadio radio;
    WritePortsFile(configDir, radio.SlavePath());
    std::vector<QString> boxes;
    talvane::SetMessageBoxHook([&](const talvane::MessageBoxRequest& request) {
        boxes.push_back(request.text);
        return QMessageBox::Ok;
    });
    auto form = std::make_unique<TMainForm>();
    if (form->StartFailed())
        throw std::runtime_error("Talvane27's main window could not open its port");
    form->show();
    auto* log = form->findChild<LogView*>(QStringLiteral("LogMemo"));
    TRadioGroup* arFunction = nullptr;  // on the Parameters window, a window of its own
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (arFunction == nullptr)
            arFunction = window->findChild<TRadioGroup*>(QStringLiteral("ArRadioGroup"));
    }
    if (log == nullptr || arFunction == nullptr)
        throw std::runtime_error("the main window has no LogMemo or AR function");

    // With K = 1 and the AR function on, a frame the radio sends with AR = 1 is acknowledged twice
    // at once: N(k) = 0 as it arrives, then the credit back once the message is handed on. Without
    // it the credit waits for T2 (70 ms), which would make a flood of a thousand messages take 70
    // s.
    arFunction->SetItemIndex(0);
    form->ResetMenuClick();
    RunUntil([] { return false; }, 300ms);
    const bool up = RunRadioScript<bool>(
        [&] {
            radio.Discard();
            return radio.BringUpLink(5s);
        },
        15s);
    if (!up || !RunUntil([&] { return form->Link().IsEstablished(); }, 3s)) {
        throw std::runtime_error("the link with Talvane27's main window never came up");
    }
    Heartbeat heartbeat(5);
    std::uint8_t ns = 1;

    // 1. LA turnaround.
    {
        struct Times {
            std::vector<double> firstAck, creditBack;
        };
        const Times times = RunRadioScript<Times>(
            [&] {
                Times t;
                for (int i = 0; i < counts.turnaroundFrames; ++i) {
                    const auto written = radio.Write(
                        map27::MakeDataFrame({map27::kLinkTransfer, ns, 1, 0}, kStatusMessage));
                    ++ns;
                    const auto first = radio.NextOfType(map27::kLinkAck, 3s);
                    if (!first || first->Byte(4) != ns)
                        throw std::runtime_error("an LT was not acknowledged");
                    t.firstAck.push_back(Milliseconds(first->at - written));
                    if (first->Byte(5) == 0) {
                        const auto credit = radio.NextOfType(map27::kLinkAck, 3s);
                        if (!credit || credit->Byte(5) == 0)
                            throw std::runtime_error("the credit never came back");
                        t.creditBack.push_back(Milliseconds(credit->at - written));
                    }
                }
                return t;
            },
            60s);
        std::printf(
            "LA turnaround, %d LTs (AR=1) through Talvane27's receive thread, link thread and main "
            "window:\n",
            counts.turnaroundFrames);
        std::printf(
            "  LT written -> LA N(k)=0 read      median %8.3f ms   p99 %8.3f ms   max %8.3f ms\n",
            Percentile(times.firstAck, 50), Percentile(times.firstAck, 99),
            Percentile(times.firstAck, 100));
        std::printf(
            "  LT written -> LA credit back read median %8.3f ms   p99 %8.3f ms   max %8.3f ms\n",
            Percentile(times.creditBack, 50), Percentile(times.creditBack, 99),
            Percentile(times.creditBack, 100));
    }

    // 3a. A flood of incoming messages.
    {
        ClearLogWhenQuiet(*log);
        heartbeat.Reset();
        QElapsedTimer clock;
        clock.start();
        RunRadioScript<bool>(
            [&] {
                for (int i = 0; i < counts.floodMessages; ++i) {
                    radio.Write(
                        map27::MakeDataFrame({map27::kLinkTransfer, ns, 1, 0}, kFloodMessage));
                    ++ns;
                    std::optional<ReceivedFrame> ack;
                    do {
                        ack = radio.NextOfType(map27::kLinkAck, 3s);
                    } while (ack && ack->Byte(5) == 0);
                    if (!ack)
                        throw std::runtime_error("the terminal stopped acknowledging the flood");
                }
                return true;
            },
            120s);
        const double radioDoneMs = static_cast<double>(clock.nsecsElapsed()) / 1e6;
        if (!RunUntil([&] { return ShownLines(*log) >= counts.floodMessages; }, 30s)) {
            throw std::runtime_error("the flood's messages did not all reach the log");
        }
        const double shownMs = static_cast<double>(clock.nsecsElapsed()) / 1e6;
        const double stall = heartbeat.MaxGapMs();
        const auto received = log->Lines()
                                  .filter(QStringLiteral("RX : 80    Receive Status"))
                                  .filter(QRegularExpression(QStringLiteral("Status:2$")))
                                  .size();
        std::printf(
            "Flood of %d incoming status messages (LT, AR=1, each sent once the last is "
            "acknowledged):\n",
            counts.floodMessages);
        std::printf(
            "  all acknowledged after %.0f ms, all %lld in the log after %.0f ms; longest "
            "UI-thread stall %.1f ms\n",
            radioDoneMs, static_cast<long long>(received), shownMs, stall);
        if (received != counts.floodMessages) {
            throw std::runtime_error("the log shows " + std::to_string(received) +
                                     " of the flood's " + std::to_string(counts.floodMessages) +
                                     " messages");
        }
    }

    // 3b. A 100-character Data Call while the line drains at 1200 bit/s.
    {
        ClearLogWhenQuiet(*log);
        form->findChild<QComboBox*>(QStringLiteral("CallCBox"))->setCurrentIndex(2);  // Data Call
        form->findChild<QPlainTextEdit*>(QStringLiteral("DataMemo"))
            ->setPlainText(QString(counts.dataCallCharacters, QChar('D')));
        RunUntil([] { return false; }, 100ms);
        radio.Discard();
        constexpr double kBytesPerSecond =
            1200.0 / 10.0;  // a start bit, eight data bits, a stop bit
        std::atomic<bool> clicked{false};
        QElapsedTimer clock;
        heartbeat.Reset();
        clock.start();
        QTimer::singleShot(0, form.get(), [&] {
            form->TxButtonClick();
            clicked = true;
        });
        const double lineMs = RunRadioScript<double>(
            [&] {
                while (!clicked.load()) std::this_thread::sleep_for(1ms);
                const auto start = Clock::now();
                for (;;) {
                    auto frame = radio.Next(10s, kBytesPerSecond);
                    if (!frame) throw std::runtime_error("the Data Call never reached the line");
                    if (frame->Type() != map27::kLinkTransfer) continue;
                    const double took = Milliseconds(frame->at - start);
                    radio.Write(
                        map27::MakeLinkAck(static_cast<std::uint8_t>(frame->Byte(4) + 1), 1));
                    return took;
                }
            },
            20s);
        RunUntil([] { return false; }, 200ms);
        const double stall = heartbeat.MaxGapMs();
        std::printf(
            "Data Call of %d characters, the radio reading it at 1200 bit/s (%.0f bytes/s):\n",
            counts.dataCallCharacters, kBytesPerSecond);
        std::printf(
            "  on the line for %.0f ms; longest UI-thread stall from the Tx click to 200 ms after: "
            "%.1f ms\n",
            lineMs, stall);
    }

    // 4. Log lines appended to the main window's log.
    {
        ClearLogWhenQuiet(*log);
        const QString line =
            QStringLiteral("RX : 80    Receive Status                PFIX:008  ID:2001  Status:%1");
        QElapsedTimer clock;
        clock.start();
        for (int i = 0; i < counts.logLines; ++i) log->AppendLine(line.arg(i % 32));
        const double appendMs = static_cast<double>(clock.nsecsElapsed()) / 1e6;
        heartbeat.Reset();
        if (!RunUntil([&] { return ShownLines(*log) >= counts.logLines; }, 60s)) {
            throw std::runtime_error("the appended log lines never showed");
        }
        const double shownMs = static_cast<double>(clock.nsecsElapsed()) / 1e6;
        const double stall = heartbeat.MaxGapMs();
        std::printf("%d log lines appended to the main window's log on the UI thread:\n",
                    counts.logLines);
        std::printf(
            "  appending took %.0f ms; shown after %.0f ms; longest UI-thread stall after the "
            "appends %.1f ms\n",
            appendMs, shownMs, stall);
        // The log keeps a bounded number of lines: as many again, shown the way a flood is shown,
        // must not grow the memory much.
        std::printf("  peak memory of this process after them %ld kB", PeakMemoryKb());
        for (int round = 2; round <= 3; ++round) {
            for (int i = 0; i < counts.logLines; ++i) log->AppendLine(line.arg(i % 32));
            const QString last = QStringLiteral("RX : the last line of round %1").arg(round);
            log->AppendLine(last);
            if (!RunUntil([&] { return log->document()->lastBlock().text() == last; }, 60s))
                throw std::runtime_error("a later round of log lines never showed");
            std::printf("; after %d times as many %ld kB", round, PeakMemoryKb());
        }
        std::printf(" (%d lines kept)\n", ShownLines(*log));
    }

    for (const QString& box : boxes) std::printf("  (message box: %s)\n", qPrintable(box));
    form.reset();
    talvane::SetMessageBoxHook({});
}

}  // namespace bench
