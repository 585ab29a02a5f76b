#include "engineer/RxMemo.h"

#include <QScrollBar>
#include <algorithm>
#include <utility>

#include "desktop/QuietScrollBar.h"

TRxMemo::TRxMemo(QWidget* parent) : QPlainTextEdit(parent) {
    setVerticalScrollBar(new desktop::QuietScrollBar(Qt::Vertical));
    setHorizontalScrollBar(new desktop::QuietScrollBar(Qt::Horizontal));
    setReadOnly(true);
    setUndoRedoEnabled(false);
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setMaximumBlockCount(kMaxLines);
    batchTimer_.setSingleShot(true);
    connect(&batchTimer_, &QTimer::timeout, this, &TRxMemo::Tick);
}

void TRxMemo::Post(const std::u16string& line) {
    bool wake = false;
    {
        const std::lock_guard lock(pendingMutex_);
        pending_.append(QString::fromStdU16String(line));
        // While the batch timer runs it takes every line: one wake-up of the UI thread a batch.
        wake = !ticking_;
        ticking_ = true;
    }
    if (wake) QMetaObject::invokeMethod(this, &TRxMemo::StartBatch, Qt::QueuedConnection);
}

void TRxMemo::Tick() {
    Flush();
    // It runs one more interval after a batch, so that a steady stream never has to wake the UI
    // thread to start it again; an interval without a line stops it.
    const std::lock_guard lock(pendingMutex_);
    if (!ticking_) return;
    // A line posted since Flush took the batch counted on the timer to run on.
    if (shownOnTick_ || !pending_.isEmpty()) {
        shownOnTick_ = false;
        batchTimer_.start(kShowIntervalMs);
    } else {
        ticking_ = false;
    }
}

void TRxMemo::StartBatch() {
    if (batchTimer_.isActive()) return;
    // Lines posted in the same turn of the event loop still join one batch.
    const qint64 wait = sinceShown_.isValid() ? kShowIntervalMs - sinceShown_.elapsed() : 0;
    batchTimer_.start(static_cast<int>(std::max<qint64>(0, wait)));
}

void TRxMemo::ClearLines() {
    batchTimer_.stop();
    {
        const std::lock_guard lock(pendingMutex_);
        pending_.clear();
        ticking_ = false;
    }
    clear();
}

void TRxMemo::Flush() {
    QStringList lines;
    {
        const std::lock_guard lock(pendingMutex_);
        lines.swap(pending_);
    }
    if (lines.isEmpty()) return;
    shownOnTick_ = true;
    // A batch beyond the bound shows only its newest lines.
    if (lines.size() > kMaxLines) lines.remove(0, lines.size() - kMaxLines);
    QScrollBar* bar = verticalScrollBar();
    const bool following = bar->value() >= bar->maximum();
    const int keptPosition = bar->value();
    appendPlainText(lines.join(QChar(u'\n')));
    bar->setValue(following ? bar->maximum() : keptPosition);
    sinceShown_.start();
    lastShown_.store(std::chrono::steady_clock::now().time_since_epoch().count());
}

std::chrono::steady_clock::time_point TRxMemo::ShownNoSoonerThan() const {
    const std::chrono::steady_clock::time_point shown{
        std::chrono::steady_clock::duration(lastShown_.load())};
    return shown + std::chrono::milliseconds(kShowIntervalMs);
}
