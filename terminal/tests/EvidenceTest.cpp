// What a run leaves behind: the log saved through File > "Save Log As...", time stamps on the log's
// lines, and the wire capture, read back by map27dump as the log showed it.
#include <QAction>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>
#include <sstream>

#include "map27/capture/WireCapture.h"
#include "terminal/tests/TerminalTestSupport.h"
#include "tools/Map27Dump.h"

namespace talvane::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

const Bytes kStatus = {0x80, 0x08, 0x07, 0xD1, 0x00, 0x01};

QStringList FileLines(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    QStringList lines = QString::fromUtf8(file.readAll()).split(QChar('\n'));
    if (!lines.isEmpty() && lines.back().isEmpty()) lines.removeLast();
    return lines;
}

class EvidenceTest : public TerminalTest {
protected:
    // Triggers a menu item that asks for a file and answers the real file dialog with path.
    void ChooseFileThrough(const char* item, const QString& path) {
        bool answered = false;
        QTimer answer;
        answer.setInterval(10);
        QElapsedTimer waited;
        waited.start();
        QObject::connect(&answer, &QTimer::timeout, [&] {
            QWidget* modal = QApplication::activeModalWidget();
            if (auto* dialog = qobject_cast<QFileDialog*>(modal); dialog && !answered) {
                dialog->selectFile(path);
                static_cast<QDialog*>(dialog)
                    ->accept();  // the file dialog checks the name as OK does
                answered = true;
            } else if (modal && waited.elapsed() > 10'000) {
                modal->close();  // a box nobody expected fails the test instead of hanging it
            }
        });
        answer.start();
        Control<QAction>(item)->trigger();
        EXPECT_TRUE(answered) << item << " showed no file dialog";
    }

    // The radio sends a status message with N(S) ns, the log shows it, and the terminal gives the
    // receive credit back (an LA with N(k) 1).
    void ReceiveStatus(PtyRadio& radio, std::uint8_t ns) {
        const qsizetype before = form_->LogLines().size();
        radio.ClearFrames();
        radio.SendData(ns, kStatus);
        ASSERT_TRUE(WaitUntil([&] { return form_->LogLines().size() > before; }, 3000, &radio));
        ASSERT_TRUE(WaitUntil(
            [&] {
                const auto& frames = radio.Frames();
                return std::any_of(frames.begin(), frames.end(), [](const Bytes& f) {
                    return f[3] == map27::kLinkAck && f[5] == 1;
                });
            },
            3000, &radio));
    }

    QTemporaryDir files_;
};

TEST_F(EvidenceTest, TheSavedLogHoldsTheLinesShownAndTimeStampsAreKeptBetweenRuns) {
    PtyRadio radio;
    WritePorts(radio.SlavePath(), "");
    StartTerminal();
    BringUpLink(radio);
    auto* timeStamps = Control<QAction>("TimeStampsMenu");
    EXPECT_FALSE(timeStamps->isChecked()) << "off until asked for";
    ReceiveStatus(radio, 1);
    timeStamps->trigger();
    ReceiveStatus(radio, 2);

    const QString received =
        QStringLiteral("RX : 80    Receive Status                PFIX:008  ID:2001  Status:1");
    const QStringList lines = form_->LogLines();
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[0], received) << "a line already shown keeps its text";
    const QRegularExpression stamp(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d\\.\\d{3} "));
    EXPECT_TRUE(stamp.match(lines[1]).hasMatch()) << lines[1].toStdString();
    EXPECT_EQ(lines[1].mid(13), received);

    const QString path = files_.filePath(QStringLiteral("log.txt"));
    ChooseFileThrough("SaveLogAsMenu", path);
    EXPECT_EQ(FileLines(path), lines);

    // A file that cannot be written: a clear box, and the log and an earlier file stay as they
    // were.
    // The real box, as the operator meets it, answered from a timer.
    SetMessageBoxHook({});
    QString caption, text;
    QTimer answer;
    answer.setInterval(10);
    QObject::connect(&answer, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            caption = box->windowTitle();
            text = box->text();
            box->accept();
        }
    });
    answer.start();
    EXPECT_FALSE(form_->SaveLog(files_.filePath(QStringLiteral("no-such-folder/log.txt"))));
    answer.stop();
    SetMessageBoxHook([this](const MessageBoxRequest& request) {
        boxes_.push_back(request);
        return QMessageBox::Ok;
    });
    EXPECT_EQ(caption, QStringLiteral("Save Log As"));
    EXPECT_TRUE(text.contains(QStringLiteral("no-such-folder/log.txt"))) << text.toStdString();
    EXPECT_EQ(form_->LogLines(), lines);

    // The choice is kept for the next run.
    form_.reset();
    StartTerminal();
    EXPECT_TRUE(Control<QAction>("TimeStampsMenu")->isChecked());
    Control<QAction>("TimeStampsMenu")->trigger();
    form_.reset();
    StartTerminal();
    EXPECT_FALSE(Control<QAction>("TimeStampsMenu")->isChecked());
}

// The capture read back by map27dump gives the RX and TX lines the log showed, in order; the frames
// the terminal dropped (damaged, cut short) are in it, marked !bad, and add no line.
TEST_F(EvidenceTest, ACaptureReadBackGivesTheLinesTheLogShowed) {
    PtyRadio radio;
    WritePorts(radio.SlavePath(), "");
    StartTerminal();
    form_->Link().SetReceptionSupervision(std::chrono::milliseconds(300));
    BringUpLink(radio);
    const QString path = files_.filePath(QStringLiteral("capture.txt"));
    ChooseFileThrough("CaptureMenu", path);
    ASSERT_TRUE(Control<QAction>("CaptureMenu")->isChecked());

    ReceiveStatus(radio, 1);
    Bytes damaged = map27::MakeDataFrame({map27::kLinkTransfer, 2, 0, 0},
                                         Bytes{0x81, 0x08, 0x07, 0xD1, 0x00, 0x17, 0x12});
    damaged[damaged.size() - 1] ^= 0x5A;
    radio.Write(damaged);
    ReceiveStatus(radio, 2);
    Control<QComboBox>("CallCBox")->setCurrentIndex(3);  // Status Call
    QTest::mouseClick(Control<QPushButton>("TxButton"), Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([&] { return form_->LogLines().size() == 3; }, 3000, &radio));
    // The radio falls silent inside a frame: the link gives it up and restarts.
    radio.ClearFrames();
    radio.Write(Bytes{0x16, 0x10, 0x02, 0x04, 0x03});
    ASSERT_TRUE(
        WaitUntil([&] { return radio.CountOfType(map27::kLinkRequest) >= 1; }, 3000, &radio));
    ASSERT_TRUE(WaitUntil([&] {
        return FileLines(path).join(QChar('\n')).contains(QStringLiteral("16 10 02 04 03 !bad"));
    }));
    Control<QAction>("CaptureMenu")->trigger();
    EXPECT_FALSE(Control<QAction>("CaptureMenu")->isChecked());
    EXPECT_TRUE(BoxTexts().empty());

    std::istringstream none;
    std::ostringstream out, err;
    ASSERT_EQ(RunMap27Dump({"--capture", path.toStdString()}, none, out, err), 0) << err.str();
    QStringList dumped, badLines;
    for (const QString& line :
         QString::fromStdString(out.str()).split(QChar('\n'), Qt::SkipEmptyParts)) {
        const qsizetype at =
            std::max(line.indexOf(QStringLiteral("RX : ")), line.indexOf(QStringLiteral("TX : ")));
        if (at >= 0) dumped << line.mid(at);
        if (line.contains(QStringLiteral(" R>T !bad "))) badLines << line.mid(24);
    }
    EXPECT_EQ(dumped, form_->LogLines());
    EXPECT_EQ(badLines, (QStringList{QStringLiteral("R>T !bad LT N(S):2 AR:0 FCS BAD: ") +
                                         QString::fromStdString(HexText(damaged)),
                                     QStringLiteral("R>T !bad damaged frame: 16 10 02 04 03")}));
}

TEST_F(EvidenceTest, CaptureFromTheStartOrNotAtAll) {
    PtyRadio radio;
    WritePorts(radio.SlavePath(), "");
    const QString path = files_.filePath(QStringLiteral("from-start.txt"));
    form_ = std::make_unique<TMainForm>(nullptr, path);
    ASSERT_FALSE(form_->StartFailed());
    ASSERT_TRUE(
        WaitUntil([&] { return radio.CountOfType(map27::kLinkRequest) >= 1; }, 3000, &radio));
    EXPECT_TRUE(Control<QAction>("CaptureMenu")->isChecked());
    ASSERT_TRUE(WaitUntil([&] { return !FileLines(path).isEmpty(); }));
    std::string error;
    const auto first = map27::ParseCaptureLine(FileLines(path).front().toStdString(), error);
    ASSERT_TRUE(first) << error;
    EXPECT_EQ(first->direction, map27::WireDirection::TerminalToRadio);
    EXPECT_EQ(HexText(first->bytes), "16 10 02 01 7F 01 01 10 03 F6 02")
        << "the first link request is in it";
    form_.reset();

    PtyRadio other;
    WritePorts(other.SlavePath(), "");
    form_ = std::make_unique<TMainForm>(
        nullptr, files_.filePath(QStringLiteral("no-such-folder/capture.txt")));
    EXPECT_TRUE(form_->StartFailed()) << "a run asked to keep evidence does not go without it";
    ASSERT_EQ(BoxTexts().size(), 1U);
    EXPECT_TRUE(BoxTexts()[0].startsWith(QStringLiteral("Cannot open the capture file ")))
        << BoxTexts()[0].toStdString();
    RunFor(300, &other);
    EXPECT_TRUE(other.Frames().empty()) << "the port was not opened";
}

}  // namespace
}  // namespace talvane::test
