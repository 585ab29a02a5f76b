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
    connect(&batchTimer_, &QTimer::timeout, this, &TRxMemo::Flush);
}

void TRxMemo::Post(const std::u16string& line) {
    bool first = false;
    {
        const std::lock_guard lock(pendingMutex_);
        first = pending_.isEmpty();
        pending_.append(QString::fromStdU16String(line));
    }
    // One wake-up of the UI thread a batch, not one a line.
    if (first) QMetaObject::invokeMethod(this, &TRxMemo::StartBatch, Qt::QueuedConnection);
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
    }
    clear();
}

void TRxMemo::Flush() {
    batchTimer_.stop();
    QStringList lines;
    {
        const std::lock_guard lock(pendingMutex_);
        lines.swap(pending_);
    }
    if (lines.isEmpty()) return;
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
