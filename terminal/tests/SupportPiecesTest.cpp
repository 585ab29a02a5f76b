// The pieces around the main window: the error box, the log view, the DATA box count.
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>

#include "terminal/DataMemoEdit.h"
#include "terminal/ErrorReporting.h"
#include "terminal/LogView.h"
#include "terminal/tests/TerminalTestSupport.h"

namespace talvane::test {
namespace {

class ErrorReportingTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetMessageBoxHook([this](const MessageBoxRequest& request) {
            boxes_.push_back(request);
            // A failure that recurs while the box is open must not open a second one.
            if (boxes_.size() == 1) ReportError(request.text);
            return QMessageBox::Ok;
        });
    }
    void TearDown() override { SetMessageBoxHook({}); }
    std::vector<MessageBoxRequest> boxes_;
};

TEST_F(ErrorReportingTest, ShowsTheProgramsErrorBoxOnceWhileItIsOpen) {
    ReportError(QStringLiteral("Write data Timeout"));
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].caption, QStringLiteral("Talvane27"));
    EXPECT_EQ(boxes_[0].icon, QMessageBox::Critical);
    EXPECT_EQ(boxes_[0].buttons, QMessageBox::Ok);
    ReportError(QStringLiteral("Write data Timeout"));
    EXPECT_EQ(boxes_.size(), 2u) << "once the box is closed, the same text is shown again";
}

TEST(LogView, ShowsControlCharactersAsSymbolsAndKeepsOneMessageOnOneLine) {
    EXPECT_EQ(VisibleControlCharacters(QStringLiteral("A\r\nB\x7f")),
              QString::fromUtf16(u"A\u240D\u240AB\u2421"));
    LogView log;
    log.AppendLine(QStringLiteral("RX : TEXT:ab\r\ncd"));
    log.AppendLine(QStringLiteral("TX : next"));
    EXPECT_EQ(log.Lines(), (QStringList{QString::fromUtf16(u"RX : TEXT:ab\u240D\u240Acd"), QStringLiteral("TX : next")}));
    log.ClearLog();
    EXPECT_TRUE(log.Lines().isEmpty());
}

TEST(LogView, WrapsALongLineAndStillCountsItAsOneAndKeepsTheNewestLines) {
    LogView log;
    log.resize(300, 100);
    log.show();
    const QString longLine = QStringLiteral("RX : ") + QString(200, QChar(u'A'));
    log.AppendLine(longLine);
    log.Flush();
    EXPECT_GT(log.document()->firstBlock().layout()->lineCount(), 1) << "wrapped at the width";
    EXPECT_EQ(log.horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    EXPECT_EQ(log.Lines(), QStringList{longLine});

    for (int i = 0; i < LogView::kMaxLines + 2; ++i) log.AppendLine(QString::number(i));
    const QStringList lines = log.Lines();
    ASSERT_EQ(lines.size(), LogView::kMaxLines);
    EXPECT_EQ(lines.front(), QStringLiteral("2"));
    EXPECT_EQ(lines.back(), QString::number(LogView::kMaxLines + 1));
}

TEST(LogView, FollowsNewLinesUnlessTheOperatorScrolledUp) {
    LogView log;
    log.resize(300, 100);
    log.show();
    for (int i = 0; i < 200; ++i) log.AppendLine(QStringLiteral("line %1").arg(i));
    log.Flush();
    QScrollBar* bar = log.verticalScrollBar();
    EXPECT_EQ(bar->value(), bar->maximum());
    for (int i = 0; i < 10; ++i) log.AppendLine(QStringLiteral("more %1").arg(i));
    ASSERT_TRUE(WaitUntil([&] { return log.blockCount() == 210; }, 1000)) << "lines arrive in batches";
    EXPECT_EQ(bar->value(), bar->maximum());

    bar->setValue(10);
    for (int i = 0; i < 10; ++i) log.AppendLine(QStringLiteral("later %1").arg(i));
    log.Flush();
    EXPECT_EQ(bar->value(), 10) << "the operator's reading position is kept";
}

// Batching must not delay a lone reply: the first line after a quiet spell shows in the next turn
// of the event loop, not after the batch interval.
TEST(LogView, ALineAfterAQuietSpellShowsAtOnce) {
    LogView log;
    log.AppendLine(QStringLiteral("RX : lone"));
    for (int turn = 0; turn < 3; ++turn) QCoreApplication::processEvents();
    EXPECT_EQ(log.toPlainText(), QStringLiteral("RX : lone"));
}

// A burst of many thousand lines is shown a few thousand at a time, so no single pass holds the
// window for long.
TEST(LogView, AHugeBurstIsShownInBoundedPasses) {
    LogView log;
    for (int i = 0; i < 10000; ++i) log.AppendLine(QStringLiteral("RX : burst %1").arg(i));
    ASSERT_TRUE(WaitUntil([&] { return log.blockCount() > 1; }, 2000));
    EXPECT_LE(log.blockCount(), LogView::kLinesPerPass);
    ASSERT_TRUE(WaitUntil([&] { return log.blockCount() == 10000; }, 5000));
    EXPECT_EQ(log.Lines().back(), QStringLiteral("RX : burst 9999"));
}

TEST(LogView, AFloodIsAppendedInFewBatches) {
    LogView log;
    for (int i = 0; i < 5000; ++i) log.AppendLine(QStringLiteral("RX : flood %1").arg(i));
    EXPECT_EQ(log.blockCount(), 1) << "nothing is appended line by line";
    ASSERT_TRUE(WaitUntil([&] { return log.blockCount() == 5000; }, 2000));
    EXPECT_EQ(log.Lines().back(), QStringLiteral("RX : flood 4999"));
}

TEST(DataMemoEdit, CountsALineBreakAsTwoCharacters) {
    EXPECT_EQ(WireLength(QStringLiteral("abc")), 3);
    EXPECT_EQ(WireLength(QStringLiteral("ab\ncd")), 6);
    DataMemoEdit memo;
    memo.SetMaxLength(6);
    memo.setPlainText(QStringLiteral("ab\nc"));
    memo.moveCursor(QTextCursor::End);
    QTest::keyClicks(&memo, QStringLiteral("xyz"));
    EXPECT_EQ(memo.toPlainText(), QStringLiteral("ab\ncx")) << "a b CR LF c x: six characters";
}

// The window's test pastes a million characters; these are the edges of the cut.
TEST(DataMemoEdit, APasteKeepsTheLongestStartThatFits) {
    const QString clef = QString::fromUcs4(U"\U0001D11E");  // two UTF-16 units
    EXPECT_EQ(LeadingPartThatFits(QStringLiteral("ab\ncd"), 3), QStringLiteral("ab"));
    EXPECT_EQ(LeadingPartThatFits(QStringLiteral("ab\ncd"), 4), QStringLiteral("ab\n"));
    EXPECT_EQ(LeadingPartThatFits(QStringLiteral("a") + clef, 2), QStringLiteral("a"));
    EXPECT_EQ(LeadingPartThatFits(QStringLiteral("abc"), -5), QString());
}

}  // namespace
}  // namespace talvane::test
