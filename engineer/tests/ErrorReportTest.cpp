// The top-level error reporting: its full stop, its repeats, and the paths that lead to it.
#include <sys/resource.h>

#include <QCheckBox>
#include <QPushButton>
#include <QTextEdit>
#include <QTimer>
#include <memory>
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

// CPU time of the whole test process, in milliseconds.
double ProcessCpuMs() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    const auto ms = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) * 1000.0 + static_cast<double>(t.tv_usec) / 1000.0;
    };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

// The adapter is pulled and plugged in again, perhaps under another name: one box, nothing spins
// meanwhile, and clearing and checking "Active" opens the port again.
TEST_F(ErrorReportTest, APulledPortIsReportedOnceAndActiveOpensItAgainOnceItIsBack) {
    auto com1 = std::make_unique<PtyPeer>();
    MapPorts(com1.get(), nullptr);
    StartForm();
    ASSERT_TRUE(form_->Comm().GetPortStatus());
    com1->Close();
    ASSERT_TRUE(WaitFor([&] { return !boxes_.empty(); }));
    const double before = ProcessCpuMs();
    WaitFor([] { return false; }, 1500);
    EXPECT_LT(ProcessCpuMs() - before, 400.0) << "something retries the lost port without waiting";
    ASSERT_EQ(boxes_.size(), 1u) << BoxTexts().join('|').toStdString();
    EXPECT_TRUE(boxes_[0].text.startsWith("Comport lost")) << boxes_[0].text.toStdString();

    auto back = std::make_unique<PtyPeer>();
    MapPorts(back.get(), nullptr);
    QTest::mouseClick(form_->ActiveCheckBox, Qt::LeftButton);
    ASSERT_FALSE(form_->ActiveCheckBox->isChecked());
    EXPECT_FALSE(form_->Comm().GetPortStatus());
    QTest::mouseClick(form_->ActiveCheckBox, Qt::LeftButton);
    ASSERT_TRUE(form_->ActiveCheckBox->isChecked());
    ASSERT_TRUE(WaitFor([&] { return form_->Comm().GetPortStatus(); }));
    form_->RichEdit1->setPlainText(QStringLiteral("@AB#"));
    QTest::mouseClick(form_->TxButton1, Qt::LeftButton);
    EXPECT_EQ(back->Read(4), Hex("02 41 42 03"));
    back->Write(Hex("02 43 03"));
    EXPECT_TRUE(WaitFor([&] { return form_->EngRxMemo->toPlainText().contains('C'); }));
    EXPECT_EQ(boxes_.size(), 1u) << BoxTexts().join('|').toStdString();
}

}  // namespace
