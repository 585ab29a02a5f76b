#pragma once
// The log: read-only, fixed pitch, one message per line, wrapped at the width of the view (a
// vertical scroll bar only). Lines are appended in batches, at most 10 a second (a line after a
// quiet spell at once), so that a flood of frames neither freezes the window nor costs a repaint a
// line, and the view follows new lines unless the operator has scrolled up to read. It keeps the
// newest kMaxLines lines, so a day at the link's full rate cannot grow memory without limit.
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QStringList>
#include <QTimer>

// Control characters (CR, LF, ...) become their visible symbols of the U+2400 block, so a received
// text never breaks a line.
QString VisibleControlCharacters(const QString& text);

class LogView : public QPlainTextEdit {
    Q_OBJECT
public:
    // The most lines one pass of the batch timer shows; a larger burst takes several passes.
    static constexpr int kLinesPerPass = 2000;
    static constexpr int kMaxLines = 100'000;
    static constexpr int kShowIntervalMs = 100;
    // Between the passes of a burst larger than one pass: time for the window to answer.
    static constexpr int kBurstPassGapMs = 40;

    explicit LogView(QWidget* parent = nullptr);
    void AppendLine(const QString& line);
    void ClearLog();
    // Appends the waiting lines at once (also done by the batch timer).
    void Flush();
    // The lines shown plus those waiting, for tests and checks.
    QStringList Lines();

private:
    void ShowPending(qsizetype most);

    QStringList pending_;
    QTimer batchTimer_;
    QElapsedTimer sinceShown_;  // since the last pass; invalid before the first
};
