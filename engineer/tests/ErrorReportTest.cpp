// The top-level error reporting: its full stop, its repeats, and the paths that lead to it.
#include <sys/resource.h>

#include <QCheckBox>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QTimer>
#include <filesystem>
#include <memory>
#include <stdexcept>

#include "engineer/tests/OrrickFixture.h"

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

// COM1 as a by-id name that udev keeps: a link to the adapter's device while it is plugged in,
// gone while it is not; a new link replaces the old one at one stroke.
class ByIdLink {
public:
    explicit ByIdLink(const QString& configFolder) {
        QFile ports(configFolder + QStringLiteral("/halberd/ports.conf"));
        EXPECT_TRUE(ports.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ports.write(
            QStringLiteral("[ports]\nCOM1=%1\nCOM2=/nonexistent/ttyCOM2\n").arg(Path()).toUtf8());
    }
    QString Path() const { return folder_.filePath(QStringLiteral("radio")); }
    void PointAt(const PtyPeer& peer) {
        const std::filesystem::path fresh = Path().toStdString() + ".new";
        std::filesystem::create_symlink(peer.Path(), fresh);
        std::filesystem::rename(fresh, Path().toStdString());
    }
    // The adapter is pulled: its name goes, and so does the device behind it.
    void Pull(PtyPeer& peer) {
        std::filesystem::remove(Path().toStdString());
        peer.Close();
    }

private:
    QTemporaryDir folder_;
};

// The engineer gives up on the lost port; later, "Active" opens it again as it always has.
TEST_F(ErrorReportTest, ClearingActiveWhileThePortIsLostCancelsItsReopening) {
    ByIdLink link(configFolder_);
    auto com1 = std::make_unique<PtyPeer>();
    link.PointAt(*com1);
    StartForm();
    ASSERT_TRUE(form_->Comm().GetPortStatus());
    link.Pull(*com1);
    ASSERT_TRUE(WaitFor([&] { return !boxes_.empty(); }));
    EXPECT_EQ(boxes_[0].caption, "ORRICK");
    QTest::mouseClick(form_->ActiveCheckBox, Qt::LeftButton);
    EXPECT_EQ(form_->ActiveCheckBox->checkState(), Qt::Unchecked);

    auto back = std::make_unique<PtyPeer>();
    link.PointAt(*back);
    const double before = ProcessCpuMs();
    WaitFor([] { return false; }, 1500);
    EXPECT_LT(ProcessCpuMs() - before, 400.0) << "something retries the lost port without waiting";
    EXPECT_FALSE(form_->Comm().GetPortStatus());
    QTest::mouseClick(form_->ActiveCheckBox, Qt::LeftButton);
    ASSERT_TRUE(form_->ActiveCheckBox->isChecked());
    ASSERT_TRUE(WaitFor([&] { return form_->Comm().GetPortStatus(); }));
    form_->RichEdit1->setPlainText(QStringLiteral("@AB#"));
    QTest::mouseClick(form_->TxButton1, Qt::LeftButton);
    EXPECT_EQ(back->Read(4), Hex("02 41 42 03"));
    EXPECT_EQ(boxes_.size(), 1u) << BoxTexts().join('|').toStdString();
}

TEST_F(ErrorReportTest, APulledPortIsShownOnceClosedAndReopenedWhenItsDeviceIsBack) {
    ByIdLink link(configFolder_);
    auto com1 = std::make_unique<PtyPeer>();
    link.PointAt(*com1);
    BoxAnswerer boxes([this] { return form_ && form_->Comm().GetPortStatus(); });
    StartForm();
    ASSERT_TRUE(form_->Comm().GetPortStatus());

    link.Pull(*com1);
    ASSERT_TRUE(WaitFor([&] { return !boxes.texts.empty(); }, 5000));
    EXPECT_EQ(boxes.texts, QStringList{QStringLiteral("Comport lost: %1.").arg(link.Path())});
    EXPECT_FALSE(boxes.portOpenWhileShown[0])
        << "the port must close before anything more is written";
    EXPECT_EQ(form_->ActiveCheckBox->checkState(), Qt::PartiallyChecked);
    const double before = ProcessCpuMs();
    QTest::qWait(10000);
    EXPECT_LT(ProcessCpuMs() - before, 1000.0) << "something retries the lost port without waiting";
    EXPECT_EQ(boxes.texts.size(), 1) << boxes.texts.join('|').toStdString();

    auto back = std::make_unique<PtyPeer>();
    link.PointAt(*back);
    ASSERT_TRUE(WaitFor([&] { return form_->Comm().GetPortStatus(); }, 2000));
    EXPECT_EQ(form_->ActiveCheckBox->checkState(), Qt::Checked);
    back->Write(Hex("02 43 03"));
    EXPECT_TRUE(WaitFor([&] { return form_->EngRxMemo->toPlainText().endsWith("@C#"); }));
    EXPECT_EQ(boxes.texts.size(), 1) << boxes.texts.join('|').toStdString();
}

}  // namespace
