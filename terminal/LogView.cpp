#include "terminal/LogView.h"

#include <QFontDatabase>
#include <QScrollBar>
#include <algorithm>

#include "desktop/QuietScrollBar.h"
#include "text/VisibleControls.h"

QString VisibleControlCharacters(const QString& text) {
    QString shown = text;
    for (QChar& c : shown) c = QChar(static_cast<char16_t>(text::VisibleControl(c.unicode())));
    return shown;
}

LogView::LogView(QWidget* parent) : QPlainTextEdit(parent) {
    setVerticalScrollBar(new desktop::QuietScrollBar(Qt::Vertical));
    setReadOnly(true);
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    // Every character its own glyph, and no shaping pass over each line that Latin text does not
    // need.
    font.setStyleStrategy(QFont::PreferNoShaping);
    setFont(font);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    // Long hexadecimal texts have no blanks to break at.
    setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setMaximumBlockCount(kMaxLines);
    setFocusPolicy(Qt::ClickFocus);  // not a tab stop
    setUndoRedoEnabled(false);
    batchTimer_.setSingleShot(true);
    connect(&batchTimer_, &QTimer::timeout, this, [this] { ShowPending(kLinesPerPass); });
}

void LogView::AppendLine(const QString& line) {
    pending_.append(VisibleControlCharacters(line));
    // Lines beyond the bound would be dropped from the view as soon as they were shown.
    if (pending_.size() > kMaxLines) pending_.removeFirst();
    if (batchTimer_.isActive()) return;
    // Lines appended in the same turn of the event loop still join one pass.
    const qint64 wait = sinceShown_.isValid() ? kShowIntervalMs - sinceShown_.elapsed() : 0;
    batchTimer_.start(static_cast<int>(std::max<qint64>(0, wait)));
}

void LogView::ClearLog() {
    pending_.clear();
    batchTimer_.stop();
    clear();
}

void LogView::Flush() {
    ShowPending(pending_.size());
}

void LogView::ShowPending(qsizetype most) {
    batchTimer_.stop();
    if (pending_.isEmpty()) return;
    QScrollBar* bar = verticalScrollBar();
    const bool following = bar->value() >= bar->maximum();
    const int keptPosition = bar->value();
    const qsizetype count = std::min(most, pending_.size());
    appendPlainText(pending_.first(count).join(QChar('\n')));
    pending_.remove(0, count);
    if (following) {
        bar->setValue(bar->maximum());
    } else {
        bar->setValue(keptPosition);
    }
    sinceShown_.start();
    if (!pending_.isEmpty()) batchTimer_.start(kBurstPassGapMs);
}

QStringList LogView::Lines() {
    Flush();
    const QString all = toPlainText();
    if (all.isEmpty()) return {};
    return all.split(QChar('\n'));
}
