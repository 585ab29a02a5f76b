#pragma once
// The received lines: a read-only list that the receive thread feeds line by line and that shows
// what came at most 10 times a second, so that a flood costs one layout and one repaint a batch
// instead of one a line; a line after a quiet spell shows at once. It keeps the newest kMaxLines
// lines, follows new lines unless the engineer has scrolled up, and keeps one received line one
// line (no wrapping).
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QStringList>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <mutex>
#include <string>

class TRxMemo : public QPlainTextEdit {
    Q_OBJECT
public:
    static constexpr int kMaxLines = 100'000;
    static constexpr int kShowIntervalMs = 100;

    explicit TRxMemo(QWidget* parent = nullptr);

    // Any thread: queues a line to be shown with the next batch.
    void Post(const std::u16string& line);
    // UI thread: empties the list and drops what waits to be shown.
    void ClearLines();
    // UI thread: shows what waits now (also done by the batch timer).
    void Flush();
    // Any thread: when a line posted now would be shown, at the soonest.
    std::chrono::steady_clock::time_point ShownNoSoonerThan() const;

private:
    void StartBatch();
    void Tick();

    std::mutex pendingMutex_;
    QStringList pending_;       // guarded by pendingMutex_
    bool ticking_ = false;      // guarded by pendingMutex_: the batch timer runs or is about to
    bool shownOnTick_ = false;  // UI thread: lines were shown since the timer was last started
    QTimer batchTimer_;
    QElapsedTimer sinceShown_;  // since the last batch was shown; invalid before the first
    std::atomic<std::chrono::steady_clock::rep> lastShown_{0};  // the same, for other threads
};
