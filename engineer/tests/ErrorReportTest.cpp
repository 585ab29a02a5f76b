// The top-level error reporting: its full stop, its repeats, and the paths that lead to it.
#include <QTimer>
#include <stdexcept>

#include "OrrickFixture.h"

namespace {

TEST(WithFullStop, AddedAfterCharactersBeyondTheFullStop) {
    const struct {
        const char* message;
        const char* shown;
    } cases[] = {
        {"Read data Timeout", "Read data Timeout."},
        {"Communication Read Error  ErrorMask=4", "Communication Read Error  ErrorMask=4."},
        {"Comport Error!!", "Comport Error!!"},
        {"Done.", "Done."},
        {"(x)", "(x)"},
        {"what?", "what?."},
        {"", ""}};
    for (const auto& c : cases)
        EXPECT_EQ(orrick::WithFullStop(QString::fromUtf8(c.message)), c.shown);
}

class ErrorReportTest : public OrrickTest {};

TEST_F(ErrorReportTest, ARepeatWhileTheSameBoxIsOpenIsDropped) {
    int depth = 0;
    orrick::SetMessageHook([&](orrick::TBoxIcon, const QString& caption, const QString& text) {
        boxes_.push_back({orrick::TBoxIcon::Stop, caption, text});
        if (++depth == 1) {  // while this box is open, the same failure and another one come in
            orrick::ReportError(QStringLiteral("Write data Timeout"));
            orrick::ReportError(QStringLiteral("Read data Timeout"));
        }
    });
    orrick::ReportError(QStringLiteral("Write data Timeout"));
    orrick::ReportError(QStringLiteral("Write data Timeout"));  // the first box is closed again
    EXPECT_EQ(BoxTexts(),
              (QStringList{"Write data Timeout.", "Read data Timeout.", "Write data Timeout."}));
}

TEST_F(ErrorReportTest, AnExceptionOutOfAnEventHandlerIsReported) {
    QTimer::singleShot(0, [] { throw std::runtime_error("Too much write data"); });
    ASSERT_TRUE(WaitFor([&] { return !boxes_.empty(); }));
    EXPECT_EQ(boxes_[0].caption, "ORRICK");
    EXPECT_EQ(boxes_[0].icon, orrick::TBoxIcon::Stop);
    EXPECT_EQ(boxes_[0].text, "Too much write data.");
}

TEST_F(ErrorReportTest, AFailureOnTheReceiveThreadIsReported) {
    PtyPeer com1;
    MapPorts(&com1, nullptr);
    StartForm();
    ASSERT_TRUE(form_->Comm().GetPortStatus());
    com1.Close();
    ASSERT_TRUE(WaitFor([&] { return !boxes_.empty(); }));
    EXPECT_EQ(boxes_[0].caption, "ORRICK");
    EXPECT_TRUE(boxes_[0].text.startsWith("Comport lost")) << boxes_[0].text.toStdString();
    EXPECT_TRUE(form_->isVisible());
}

}  // namespace
