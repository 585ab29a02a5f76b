// The main window against a scripted radio on a pseudo-terminal: start-up, link-up, what goes on the
// wire for each send, the log lines, and the port and speed changes.
#include <sys/resource.h>

#include <cstdio>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPaintEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSet>
#include <QStatusBar>
#include <QTest>
#include <QTime>
#include <QTimer>
#include <map>

#include "terminal/DataMemoEdit.h"
#include "terminal/tests/TerminalTestSupport.h"

namespace talvane::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::string Hex(const Bytes& bytes) { return HexText(bytes); }

// A data frame as the terminal writes it with AR 1 (the default) and N(S) ns.
std::string ExpectedDataFrame(std::uint8_t ns, const Bytes& message) {
    return HexText(map27::MakeDataFrame({map27::kLinkTransfer, ns, 1, 0}, message));
}

class MainFormTest : public TerminalTest {};

TEST_F(MainFormTest, StartsOnCom1WithTheWindowAsDesigned) {
    PtyRadio radio;
    WritePorts(radio.SlavePath(), "");
    StartTerminal();
    ASSERT_FALSE(form_->StartFailed());

    EXPECT_EQ(form_->windowTitle(), QStringLiteral("Talvane27 for ZR-310/410 using MAP27"));
    EXPECT_EQ(form_->width(), 647);
    EXPECT_EQ(form_->minimumSize(), form_->maximumSize()) << "the window has a fixed size";
    EXPECT_EQ(Panel(1), QStringLiteral("COMPORT  COM1  1200bps"));
    EXPECT_EQ(form_->findChild<QLabel*>(QStringLiteral("Panel1"))->toolTip(),
              QString::fromStdString(radio.SlavePath()));
    EXPECT_EQ(Panel(2), QStringLiteral("Status   Link....."));
    EXPECT_TRUE(QTime::fromString(Panel(5), QStringLiteral("HH:mm:ss")).isValid() ||
                QTime::fromString(Panel(5), QStringLiteral("h:mm:ss")).isValid() || Panel(5).count(':') == 2)
        << Panel(5).toStdString();

    const std::vector<std::pair<const char*, int>> widths = {
        {"Panel1", 190}, {"Panel2", 120}, {"Panel3", 115}, {"Panel4", 145}};
    for (const auto& [name, width] : widths) EXPECT_EQ(Control<QLabel>(name)->width(), width) << name;
    // The clock gets what is left, still with room on both sides of its text like the others.
    const auto* clock = Control<QLabel>("Panel5");
    EXPECT_GE(clock->contentsRect().width(),
              clock->fontMetrics().horizontalAdvance(clock->text()) + 8);
    EXPECT_LE(clock->mapTo(form_.get(), QPoint(clock->width(), 0)).x(), form_->width());

    auto* call = Control<QComboBox>("CallCBox");
    EXPECT_EQ(call->currentIndex(), 0);
    EXPECT_EQ(call->count(), 5);
    EXPECT_EQ(call->itemText(4), QStringLiteral("Disconnect (Ctr+Z)"));
    EXPECT_EQ(Control<QLineEdit>("PfixEdit")->text(), QStringLiteral("008"));
    EXPECT_EQ(Control<QLineEdit>("PfixEdit")->maxLength(), 3);
    EXPECT_EQ(Control<QLineEdit>("IDEdit")->text(), QStringLiteral("2001"));
    EXPECT_EQ(Control<QLineEdit>("IDEdit")->maxLength(), 4);
    EXPECT_EQ(Control<QLineEdit>("StEdit")->text(), QStringLiteral("01"));
    EXPECT_FALSE(Control<QLineEdit>("StEdit")->isEnabled());
    EXPECT_FALSE(Control<QLabel>("Status")->isEnabled());
    EXPECT_FALSE(Control<QPlainTextEdit>("DataMemo")->isEnabled());
    EXPECT_FALSE(Control<QLabel>("Data")->isEnabled());
    EXPECT_EQ(Control<QPushButton>("TxButton")->text(), QStringLiteral("TX(&T)"));
    EXPECT_EQ(Control<QPushButton>("TxButton")->toolTip(), QStringLiteral("Send Message"));
    EXPECT_EQ(Control<QPushButton>("DcButton")->text(), QStringLiteral("DC(&X)"));
    EXPECT_TRUE(Control<QPlainTextEdit>("LogMemo")->isReadOnly());
    EXPECT_TRUE(Control<QAction>("N1200Menu")->isChecked());
    EXPECT_TRUE(Control<QAction>("Com1Menu")->isChecked());
    EXPECT_TRUE(Control<QAction>("N7bitASCII")->isChecked());

    // The first link request, and it repeats every second while the radio is silent.
    ASSERT_TRUE(WaitUntil([&] { return !radio.Frames().empty(); }, 3000, &radio));
    EXPECT_EQ(Hex(radio.Frames().front()), "16 10 02 01 7F 01 01 10 03 F6 02");
    EXPECT_TRUE(WaitUntil([&] { return radio.Frames().size() >= 2; }, 2500, &radio));
    EXPECT_EQ(Hex(radio.Frames().back()), "16 10 02 01 7F 01 01 10 03 F6 02");
    EXPECT_TRUE(BoxTexts().empty());
}

// The clock ticks every second for the whole run: it must repaint its panel, not the status bar
// with every panel on it.
TEST_F(MainFormTest, TheClockRepaintsOnlyItsPanel) {
    PtyRadio radio;
    WritePorts(radio.SlavePath(), "");
    StartTerminal();
    ASSERT_FALSE(form_->StartFailed());
    struct PaintCounter : QObject {
        std::map<QObject*, int> paints;
        QRect barPainted;
        QWidget* bar = nullptr;
        bool eventFilter(QObject* watched, QEvent* event) override {
            if (event->type() != QEvent::Paint) return false;
            ++paints[watched];
            if (watched == bar)
                barPainted |= static_cast<QPaintEvent*>(event)->region().boundingRect();
            return false;
        }
    } counter;
    counter.bar = form_->statusBar();
    QTest::qWait(50);
    auto* clock = Control<QLabel>("Panel5");
    form_->NowTimeTimer();  // the first tick after the window is shown
    QTest::qWait(30);
    counter.bar->installEventFilter(&counter);
    for (const char* name : {"Panel1", "Panel2", "Panel3", "Panel4", "Panel5"})
        Control<QLabel>(name)->installEventFilter(&counter);
    for (int tick = 0; tick < 3; ++tick) {
        clock->clear();  // a new time, however fast the test runs
        form_->NowTimeTimer();
        QTest::qWait(30);
    }
    EXPECT_GT(counter.paints[clock], 0);
    EXPECT_EQ(counter.paints[Control<QLabel>("Panel1")], 0);
    EXPECT_EQ(counter.paints[Control<QLabel>("Panel4")], 0);
    const QRect clockOnBar(clock->mapTo(counter.bar, QPoint(0, 0)), clock->size());
    EXPECT_TRUE(clockOnBar.contains(counter.barPainted)) << "the bar behind the clock only";
}

TEST_F(MainFormTest, StartsOnCom2WhenCom1IsMissing) {
    PtyRadio radio;
    WritePorts("", radio.SlavePath());
    StartTerminal();
    ASSERT_FALSE(form_->StartFailed());
    EXPECT_EQ(Panel(1), QStringLiteral("COMPORT  COM2  1200bps"));
    EXPECT_TRUE(Control<QAction>("Com2Menu")->isChecked());
    EXPECT_FALSE(Control<QAction>("Com1Menu")->isChecked());
    EXPECT_TRUE(WaitUntil([&] { return radio.CountOfType(map27::kLinkRequest) >= 1; }, 3000, &radio));
}

TEST_F(MainFormTest, EndsWhenNeitherPortCanBeUsed) {
    WritePorts("", "");
    StartTerminal();
    EXPECT_TRUE(form_->StartFailed());
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].text, QStringLiteral("Both COM1 & COM2 are invalid.\nPlease check comport status"));
    EXPECT_EQ(boxes_[0].caption, QStringLiteral("Comport error"));
    EXPECT_EQ(boxes_[0].icon, QMessageBox::Critical);
}

TEST_F(MainFormTest, LinkComesUpAndEachCallItemPutsItsMessageOnTheWire) {
    PtyRadio radio;
    WritePorts(radio.SlavePath(), "");
    StartTerminal();
    BringUpLink(radio);
    EXPECT_EQ(Panel(2), QStringLiteral("Status   Link OK"));
    EXPECT_EQ(Panel(3), QStringLiteral("T1 : 33120(ms)"));
    EXPECT_EQ(Panel(4), QStringLiteral("T2(max) : 32944(ms)"));

    struct Case {
        int item;
        const char* data;
        Bytes message;
        const char* logLine;
    };
    const std::vector<Case> cases = {
        {0, "", {0xA4, 0x08, 0x07, 0xD1, 0x00, 0x08}, "TX : A4-08 Setup Voice                   PFIX:008  ID:2001"},
        {1, "", {0xA5, 0x08, 0x07, 0xD1, 0x00, 0x00}, "TX : A5-00 Emergency Speech Call         PFIX:008  ID:2001"},
        {2, "HELLO", {0x81, 0x08, 0x07, 0xD1, 0x00, 0xB7, 'H', 'E', 'L', 'L', 'O'},
         "TX : Data Call  PFIX:008  ID:2001  DATA:HELLO"},
        {3, "", {0x80, 0x08, 0x07, 0xD1, 0x00, 0x01},
         "TX : 80    Status Call                   PFIX:008  ID:2001  STATUS:01"},
        {4, "", {0x86, 0x08, 0x07, 0xD1, 0x07}, "TX : 86-07 DISCONNECT                    PFIX:008  ID:2001"},
    };
    auto* call = Control<QComboBox>("CallCBox");
    auto* data = Control<QPlainTextEdit>("DataMemo");
    std::uint8_t ns = 1;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.logLine);
        call->setCurrentIndex(c.item);
        if (*c.data != '\0') data->setPlainText(QString::fromLatin1(c.data));
        radio.ClearFrames();
        QTest::mouseClick(Control<QPushButton>("TxButton"), Qt::LeftButton);
        ASSERT_TRUE(WaitUntil([&] { return !radio.DataFrames().empty(); }, 3000, &radio));
        EXPECT_EQ(Hex(radio.Frames().front()), ExpectedDataFrame(ns, c.message));
        ASSERT_TRUE(WaitUntil([&] { return !form_->LogLines().isEmpty(); }, 2000));
        EXPECT_EQ(form_->LogLines().back(), QString::fromLatin1(c.logLine));
        if (c.item == 2) {
            EXPECT_TRUE(WaitUntil([&] { return data->toPlainText().isEmpty(); }))
                << "a Data Call takes the text out of the DATA box";
        }
        ++ns;
        radio.SendLinkAck(ns, 1);  // everything sent is acknowledged; the credit comes back
        ASSERT_TRUE(WaitUntil([&] { return form_->Link().Snapshot().sk == 1; }, 2000, &radio));
        Control<QPlainTextEdit>("LogMemo")->clear();
    }
    EXPECT_TRUE(BoxTexts().empty());
}

TEST_F(MainFormTest, AStatusMessageFromTheRadioBecomesOneLogLine) {
    PtyRadio radio;
    WritePorts(radio.SlavePath(), "");
    StartTerminal();
    BringUpLink(radio);
    const Bytes status = {0x80, 0x08, 0x07, 0xD1, 0x00, 0x01};
    radio.SendData(1, status);
    ASSERT_TRUE(WaitUntil([&] { return !form_->LogLines().isEmpty(); }, 3000, &radio));
    EXPECT_EQ(form_->LogLines(),
              QStringList{QStringLiteral("RX : 80    Receive Status                PFIX:008  ID:2001  Status:1")});
    // The credit is used up, so the frame is acknowledged at once with N(k) 0.
    ASSERT_TRUE(WaitUntil([&] { return radio.CountOfType(map27::kLinkAck) >= 1; }, 2000, &radio));
    EXPECT_EQ(Hex(radio.Frames().front()), Hex(map27::MakeLinkAck(2, 0)));

    QTest::mouseClick(Control<QPushButton>("Button1"), Qt::LeftButton);
    EXPECT_TRUE(form_->LogLines().isEmpty()) << "Log Clear empties the log";
}

TEST_F(MainFormTest, TwoFramesArrivingTogetherAreBothTaken) {
    PtyRadio radio;
    WritePorts(radio.SlavePath(), "");
    StartTerminal();
    BringUpLink(radio);
    Bytes both = map27::MakeLinkAck(1, 1);
    const Bytes status = map27::MakeDataFrame({map27::kLinkTransfer, 1, 0, 0}, Bytes{0x80, 0x08, 0x07, 0xD1, 0x00, 0x02});
    both.insert(both.end(), status.begin(), status.end());
    radio.Write(both);
    ASSERT_TRUE(WaitUntil([&] { return !form_->LogLines().isEmpty(); }, 3000, &radio))
        << "the second frame must not wait for more bytes to arrive";
    EXPECT_EQ(form_->LogLines().back(),
              QStringLiteral("RX : 80    Receive Status                PFIX:008  ID:2001  Status:2"));
}

// The receive thread hands over what it reads and waits for nothing: a frame that comes in pieces
// is put together on the link thread, and a frame between two pieces is not held up.
TEST_F(MainFormTest, AFrameInPiecesIsPutTogetherOnTheLinkThread) {
    PtyRadio radio;
    WritePorts(radio.SlavePath(), "");
    StartTerminal();
    BringUpLink(radio);
    const Bytes status = map27::MakeDataFrame({map27::kLinkTransfer, 1, 0, 0},
                                              Bytes{0x80, 0x08, 0x07, 0xD1, 0x00, 0x03});
    const auto half = static_cast<std::ptrdiff_t>(status.size() / 2);
    radio.Write(Bytes(status.begin(), status.begin() + half));
    RunFor(300, &radio);
    EXPECT_TRUE(form_->LogLines().isEmpty());
    radio.Write(Bytes(status.begin() + half, status.end()));
    ASSERT_TRUE(WaitUntil([&] { return !form_->LogLines().isEmpty(); }, 3000, &radio));
    EXPECT_EQ(
        form_->LogLines().back(),
        QStringLiteral("RX : 80    Receive Status                PFIX:008  ID:2001  Status:3"));
    EXPECT_TRUE(form_->Link().IsEstablished());
}

TEST_F(MainFormTest, AFrameThatNeverEndsRestartsTheLink) {
    PtyRadio radio;
    WritePorts(radio.SlavePath(), "");
    StartTerminal();
    form_->Link().SetReceptionSupervision(std::chrono::milliseconds(300));
    BringUpLink(radio);
    radio.Write(Bytes{0x16, 0x10, 0x02, 0x04, 0x01});  // the radio falls silent inside a frame
    ASSERT_TRUE(WaitUntil([&] { return radio.CountOfType(map27::kLinkRequest) >= 1; }, 3000, &radio));
    EXPECT_EQ(Hex(radio.Frames().front()), "16 10 02 01 7F 01 01 10 03 F6 02");
    EXPECT_TRUE(WaitUntil([&] { return Panel(2) == QStringLiteral("Status   Link....."); }));
    EXPECT_TRUE(form_->LogLines().isEmpty());
}

// CPU time of the whole test process, in milliseconds.
double ProcessCpuMs() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    const auto ms = [](const timeval& t) { return static_cast<double>(t.tv_sec) * 1000.0 + static_cast<double>(t.tv_usec) / 1000.0; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

// A pulled adapter, with the real boxes: the port closes at once and the link timers stop, so
// nothing more is written and one box names the device, whatever the timers were doing; menus and
// the close question keep working. When a device appears at the same path again, the link comes
// back by itself, without a box.
TEST_F(MainFormTest, APulledPortIsToldOnceAndComesBackByItselfAtTheSamePath) {
    SetMessageBoxHook({});
    BoxCloser closer;
    auto radio = std::make_unique<PtyRadio>();
    PtyRadio back;  // opened now, so that it is another device than the one pulled
    const QString link = configDir_.path() + QStringLiteral("/com1");
    ASSERT_TRUE(QFile::link(QString::fromStdString(radio->SlavePath()), link));
    WritePorts(link.toStdString(), "");
    StartTerminal();
    // Short link timers, so that a timer which still wrote to the lost port would soon show it.
    map27::LinkParameterTexts texts;
    texts.t0 = "200";
    texts.t3 = "300";
    form_->Link().SetParameters(texts, false);
    form_->Link().RestartLink();
    // The start's link request and the restart's: the radio answers only once the restart has
    // purged the port.
    ASSERT_TRUE(
        WaitUntil([&] { return radio->CountOfType(map27::kLinkRequest) >= 2; }, 3000, radio.get()));
    radio->ClearFrames();
    BringUpLink(*radio);
    radio->Write(Bytes{0x16, 0x10, 0x02, 0x04, 0x01});  // pulled in the middle of a frame
    RunFor(100, radio.get());

    // Pulled: the device goes, and with it its name (as the system drops /dev/serial/by-id/...),
    // so that no other pseudo-terminal that takes the freed number passes for it.
    radio->Pull();
    ASSERT_TRUE(QFile::remove(link));
    ASSERT_TRUE(WaitUntil([&] { return !closer.texts.empty(); }, 5000));
    EXPECT_EQ(closer.texts, std::vector<QString>{QStringLiteral("Comport lost: ") + link});
    EXPECT_TRUE(WaitUntil([&] { return Panel(1) == QStringLiteral("COMPORT  COM1  lost"); }));
    EXPECT_EQ(Panel(2), QStringLiteral("Status   Link....."));

    const double before = ProcessCpuMs();
    RunFor(10000);
    EXPECT_LT(ProcessCpuMs() - before, 1000.0) << "something retries the lost port without waiting";
    EXPECT_EQ(closer.texts.size(), 1u)
        << "another box for the same loss: " << closer.texts.back().toStdString();
    for (const auto& timer : form_->Link().Snapshot().timers) EXPECT_FALSE(timer.running);

    QMenu* config = form_->findChild<QMenu*>(QStringLiteral("ConfigMenu"));
    ASSERT_NE(config, nullptr);
    config->popup(form_->mapToGlobal(QPoint(10, 10)));
    EXPECT_TRUE(WaitUntil([&] { return config->isVisible(); }, 1000));
    config->hide();
    form_->close();  // the question comes, is answered No, and the window stays
    ASSERT_EQ(closer.texts.size(), 2u);
    EXPECT_EQ(closer.texts[1], QStringLiteral("Are you finished this program?"));
    EXPECT_TRUE(form_->isVisible());

    // Plugged in again: the name leads to a device once more.
    radio.reset();
    const QString fresh = link + QStringLiteral(".new");
    ASSERT_TRUE(QFile::link(QString::fromStdString(back.SlavePath()), fresh));
    ASSERT_EQ(::rename(fresh.toLocal8Bit().constData(), link.toLocal8Bit().constData()), 0);
    EXPECT_TRUE(WaitUntil([&] { return back.CountOfType(map27::kLinkRequest) >= 1; }, 2000, &back))
        << "no link request on the device that came back";
    back.SendLinkRequest();
    ASSERT_TRUE(WaitUntil(
        [&] { return form_->Link().Snapshot().state == map27::LinkState::Confirm; }, 3000, &back));
    back.SendLinkAck(1, 1);
    EXPECT_TRUE(
        WaitUntil([&] { return Panel(2) == QStringLiteral("Status   Link OK"); }, 3000, &back));
    EXPECT_EQ(Panel(1), QStringLiteral("COMPORT  COM1  1200bps"));
    EXPECT_EQ(closer.texts.size(), 2u) << "coming back showed a box";
}

// The adapter is pulled between frames and plugged in again, where the system may give it another
// name: one box, nothing spins meanwhile, and re-choosing the ticked port in the Config menu opens
// the device ports.conf now names a second later and brings the link up on it. A second pull is
// reported again.
TEST_F(MainFormTest, APulledPortOpensAgainFromTheConfigMenuOnceItIsBack) {
    auto lostBoxes = [this] {
        int lost = 0;
        for (const QString& text : BoxTexts()) lost += text.startsWith(QStringLiteral("Comport lost")) ? 1 : 0;
        return lost;
    };
    auto radio = std::make_unique<PtyRadio>();
    const QString link = configDir_.path() + QStringLiteral("/com1");
    ASSERT_TRUE(QFile::link(QString::fromStdString(radio->SlavePath()), link));
    WritePorts(link.toStdString(), "");
    StartTerminal();
    BringUpLink(*radio);
    radio->Pull();
    ASSERT_TRUE(QFile::remove(link));  // the name goes with the device and does not come back
    ASSERT_TRUE(WaitUntil([&] { return lostBoxes() == 1; }));
    const double before = ProcessCpuMs();
    RunFor(1500);
    EXPECT_LT(ProcessCpuMs() - before, 400.0) << "something retries the lost port without waiting";
    EXPECT_EQ(boxes_.size(), 1u);

    auto back = std::make_unique<PtyRadio>();
    radio.reset();
    WritePorts(back->SlavePath(), "");
    QAction* com1 = Control<QAction>("Com1Menu");
    ASSERT_TRUE(com1->isChecked());
    com1->trigger();
    EXPECT_TRUE(com1->isChecked());
    RunFor(1300, back.get());  // the re-open a second later
    BringUpLink(*back);
    EXPECT_EQ(boxes_.size(), 1u) << "re-opening showed a box";

    back->Pull();
    EXPECT_TRUE(WaitUntil([&] { return lostBoxes() == 2; }));
    RunFor(200);
    EXPECT_EQ(boxes_.size(), 2u);
}

TEST_F(MainFormTest, TxBeforeTheLinkIsUpSendsNothing) {
    PtyRadio radio;
    WritePorts(radio.SlavePath(), "");
    StartTerminal();
    ASSERT_TRUE(WaitUntil([&] { return radio.CountOfType(map27::kLinkRequest) >= 1; }, 3000, &radio));
    QTest::mouseClick(Control<QPushButton>("TxButton"), Qt::LeftButton);
    QTest::keyClick(Control<QLineEdit>("IDEdit"), Qt::Key_Return);
    QTest::keyClick(Control<QLineEdit>("IDEdit"), Qt::Key_5, Qt::AltModifier);
    RunFor(300, &radio);
    EXPECT_EQ(radio.CountOfType(map27::kLinkTransfer), 0u);
    EXPECT_TRUE(form_->LogLines().isEmpty());
    EXPECT_EQ(Control<QLineEdit>("IDEdit")->text(), QStringLiteral("2001"));
}

TEST_F(MainFormTest, CtrlZSendsADisconnectWheneverThereIsCredit) {
    PtyRadio radio;
    WritePorts(radio.SlavePath(), "");
    StartTerminal();
    ASSERT_TRUE(WaitUntil([&] { return radio.CountOfType(map27::kLinkRequest) >= 1; }, 3000, &radio));
    // Before the first link-up there is no credit: nothing at all.
    QTest::keyClick(Control<QComboBox>("CallCBox"), Qt::Key_Z, Qt::ControlModifier);
    RunFor(200, &radio);
    EXPECT_EQ(radio.CountOfType(map27::kLinkTransfer), 0u);

    BringUpLink(radio);
    // The radio asks for a new link: the terminal is no longer established but keeps its credit.
    radio.SendLinkRequest();
    ASSERT_TRUE(WaitUntil([&] { return !form_->Link().IsEstablished(); }, 3000, &radio));
    QTest::keyClick(Control<QLineEdit>("PfixEdit"), Qt::Key_Z, Qt::ControlModifier);
    ASSERT_TRUE(WaitUntil([&] { return !radio.DataFrames().empty(); }, 3000, &radio));
    EXPECT_EQ(radio.DataFrames().front()[7], 0x86);
    EXPECT_TRUE(WaitUntil([&] {
        return form_->LogLines().contains(
            QStringLiteral("TX : 86-07 DISCONNECT                    PFIX:008  ID:2001"));
    }));
}

TEST_F(MainFormTest, AltDigitSetsTheIdentAndSendsAVoiceCall) {
    PtyRadio radio;
    WritePorts(radio.SlavePath(), "");
    StartTerminal();
    BringUpLink(radio);
    QTest::keyClick(Control<QComboBox>("CallCBox"), Qt::Key_5, Qt::AltModifier);
    EXPECT_EQ(Control<QLineEdit>("IDEdit")->text(), QStringLiteral("2005"));
    ASSERT_TRUE(WaitUntil([&] { return !radio.DataFrames().empty(); }, 3000, &radio));
    EXPECT_EQ(Hex(radio.Frames().front()), ExpectedDataFrame(1, {0xA4, 0x08, 0x07, 0xD5, 0x00, 0x08}));
    EXPECT_TRUE(WaitUntil([&] {
        return form_->LogLines() ==
               QStringList{QStringLiteral("TX : A4-08 Setup Voice                   PFIX:008  ID:2005")};
    }));
}

TEST_F(MainFormTest, EnterInTheDataBoxSendsInsteadOfBreakingTheLine) {
    PtyRadio radio;
    WritePorts(radio.SlavePath(), "");
    StartTerminal();
    BringUpLink(radio);
    Control<QComboBox>("CallCBox")->setCurrentIndex(2);
    auto* data = Control<QPlainTextEdit>("DataMemo");
    QTest::keyClicks(data, QStringLiteral("AB"));
    QTest::keyClick(data, Qt::Key_Return);
    ASSERT_TRUE(WaitUntil([&] { return !radio.DataFrames().empty(); }, 3000, &radio));
    EXPECT_EQ(Hex(radio.Frames().front()),
              ExpectedDataFrame(1, {0x81, 0x08, 0x07, 0xD1, 0x00, 0xB7, 'A', 'B'}));
    EXPECT_TRUE(WaitUntil([&] { return data->toPlainText().isEmpty(); }));
}

TEST_F(MainFormTest, AFieldThatIsNotANumberIsReportedAndNothingIsSent) {
    PtyRadio radio;
    WritePorts(radio.SlavePath(), "");
    StartTerminal();
    BringUpLink(radio);
    Control<QLineEdit>("PfixEdit")->setText(QStringLiteral("ABC"));
    QTest::mouseClick(Control<QPushButton>("TxButton"), Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([&] { return !boxes_.empty(); }, 3000, &radio));
    EXPECT_EQ(boxes_[0].text, QStringLiteral("'ABC' is not a valid integer value"));
    EXPECT_EQ(boxes_[0].caption, QStringLiteral("Talvane27"));
    EXPECT_EQ(boxes_[0].icon, QMessageBox::Critical);
    RunFor(100, &radio);
    EXPECT_EQ(radio.CountOfType(map27::kLinkTransfer), 0u);
    EXPECT_TRUE(form_->LogLines().isEmpty());
}

TEST_F(MainFormTest, SpeedItemsRestartTheLinkASecondLater) {
    PtyRadio radio;
    WritePorts(radio.SlavePath(), "");
    StartTerminal();
    BringUpLink(radio);

    struct Case {
        const char* item;
        const char* panel1;
        const char* panel3;
        const char* panel4;
    };
    const std::vector<Case> cases = {
        {"N9600Menu", "COMPORT  COM1  9600bps", "T1 : 4140(ms)", "T2(max) : 4118(ms)"},
        {"N1200Menu", "COMPORT  COM1  1200bps", "T1 : 33120(ms)", "T2(max) : 32944(ms)"},
        {"N1200Menu", "COMPORT  COM1  1200bps", "T1 : 33120(ms)", "T2(max) : 32944(ms)"},  // already ticked
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.item);
        radio.ClearFrames();
        QElapsedTimer clock;
        clock.start();
        Control<QAction>(c.item)->trigger();
        EXPECT_EQ(Panel(1), QString::fromLatin1(c.panel1));
        EXPECT_TRUE(Control<QAction>(c.item)->isChecked());
        ASSERT_TRUE(WaitUntil([&] { return radio.CountOfType(map27::kLinkRequest) >= 1; }, 3000, &radio));
        EXPECT_GE(clock.elapsed(), 900) << "the port stays closed for a second";
        EXPECT_EQ(Hex(radio.Frames().front()), "16 10 02 01 7F 01 01 10 03 F6 02");
        EXPECT_TRUE(WaitUntil([&] { return Panel(3) == QString::fromLatin1(c.panel3); }));
        EXPECT_EQ(Panel(4), QString::fromLatin1(c.panel4));
        EXPECT_EQ(Panel(2), QStringLiteral("Status   Link....."));
    }
    EXPECT_FALSE(Control<QAction>("N9600Menu")->isChecked());
    EXPECT_TRUE(BoxTexts().empty());
}

TEST_F(MainFormTest, ChoosingAPortThatCannotBeUsedKeepsTheOldOne) {
    PtyRadio radio;
    WritePorts(radio.SlavePath(), "");
    StartTerminal();
    Control<QAction>("Com2Menu")->trigger();
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].text, QStringLiteral("Can not use comport2!!  Check port status."));
    EXPECT_EQ(boxes_[0].caption, QStringLiteral("COMPORT ERROR"));
    EXPECT_TRUE(Control<QAction>("Com1Menu")->isChecked());
    EXPECT_FALSE(Control<QAction>("Com2Menu")->isChecked());
    EXPECT_EQ(Panel(1), QStringLiteral("COMPORT  COM1  1200bps"));
    radio.ClearFrames();
    EXPECT_TRUE(WaitUntil([&] { return radio.CountOfType(map27::kLinkRequest) >= 1; }, 3000, &radio))
        << "the old port is reopened and the link restarted";
}

TEST_F(MainFormTest, DataBoxColoursAndLimitsFollowTheCoding) {
    PtyRadio radio;
    WritePorts(radio.SlavePath(), "");
    StartTerminal();
    Control<QComboBox>("CallCBox")->setCurrentIndex(2);
    auto* data = Control<DataMemoEdit>("DataMemo");
    auto colour = [&] { return data->palette().color(QPalette::Text); };

    struct Case {
        const char* coding;
        int length;
        QColor expected;
    };
    const std::vector<Case> cases = {
        {"N7bitASCII", 25, Qt::black}, {"N7bitASCII", 26, Qt::blue},
        {"N8bitPCChr", 22, Qt::black}, {"N8bitPCChr", 23, Qt::blue},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.coding) + " " + std::to_string(c.length));
        Control<QAction>(c.coding)->trigger();
        data->setPlainText(QString(c.length, QChar('x')));
        EXPECT_EQ(colour(), c.expected);
    }
    EXPECT_TRUE(Control<QAction>("N8bitPCChr")->isChecked());
    EXPECT_FALSE(Control<QAction>("N7bitASCII")->isChecked());

    // Typing stops at the limit; a longer text already there is kept.
    data->clear();
    data->setFocus();
    QTest::keyClicks(data, QString(95, QChar('y')));
    EXPECT_EQ(data->toPlainText().size(), 88);
    Control<QAction>("N7bitASCII")->trigger();
    QTest::keyClicks(data, QString(20, QChar('y')));
    EXPECT_EQ(data->toPlainText().size(), 100);
    Control<QAction>("N8bitPCChr")->trigger();
    EXPECT_EQ(data->toPlainText().size(), 100) << "switching the coding keeps the text";

    // Beyond the frame capacity: red and a warning.
    EXPECT_TRUE(boxes_.empty());
    data->setPlainText(QString(2049, QChar('z')));
    EXPECT_EQ(colour(), QColor(Qt::red));
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].text, QStringLiteral("Too Much Data!!"));
    EXPECT_EQ(boxes_[0].caption, QStringLiteral("DATA ERROR"));
    EXPECT_EQ(boxes_[0].icon, QMessageBox::Warning);
}

// A paste is cut once to what fits, however long it is (cutting it a character at a time froze
// the window for over a minute at a million characters).
TEST_F(MainFormTest, AMillionCharactersPastedIntoTheDataBoxAreCutAtOnce) {
    PtyRadio radio;
    WritePorts(radio.SlavePath(), "");
    StartTerminal();
    Control<QComboBox>("CallCBox")->setCurrentIndex(2);
    auto* data = Control<DataMemoEdit>("DataMemo");
    data->setFocus();
    QTest::keyClicks(data, QStringLiteral("ab"));
    QApplication::clipboard()->setText(QStringLiteral("0123456789\n").repeated(1'000'000 / 11));
    QElapsedTimer clock;
    clock.start();
    QTest::keyClick(data, Qt::Key_V, Qt::ControlModifier);
    const qint64 elapsedMs = clock.elapsed();
    std::printf("pasting a million characters took %lld ms\n", static_cast<long long>(elapsedMs));
    EXPECT_LT(elapsedMs, 500);
    // 98 characters of room: eight lines of ten digits and a line break (twelve on the wire each)
    // make 96, then "01".
    EXPECT_EQ(
        data->toPlainText(),
        QStringLiteral("ab") + QStringLiteral("0123456789\n").repeated(8) + QStringLiteral("01"));
    EXPECT_EQ(WireLength(data->toPlainText()), 100);
    EXPECT_TRUE(boxes_.empty());
}

TEST_F(MainFormTest, AFileLoadsIntoTheDataBoxWithoutTheTypingLimit) {
    PtyRadio radio;
    WritePorts(radio.SlavePath(), "");
    StartTerminal();
    Control<QComboBox>("CallCBox")->setCurrentIndex(2);
    const QString path = configDir_.path() + QStringLiteral("/data.txt");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray("first line\r\nsecond line\r\n") + QByteArray(120, 'x'));
    file.close();
    form_->LoadDataFile(path);
    const QString text = Control<QPlainTextEdit>("DataMemo")->toPlainText();
    EXPECT_EQ(text, QStringLiteral("first line\nsecond line\n") + QString(120, QChar('x')));
    EXPECT_EQ(Control<QPlainTextEdit>("DataMemo")->palette().color(QPalette::Text), QColor(Qt::blue));

    // The real file dialog: all files means files without a dot too.
    QStringList filters;
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr) return;
        EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Data File Open"));
        filters = dialog->nameFilters();
        dialog->reject();
    });
    answer.start(20);
    Control<QAction>("OpenMenu")->trigger();
    answer.stop();
    EXPECT_EQ(filters,
              (QStringList{QStringLiteral("Text Files(*.txt)"), QStringLiteral("All Files(*)")}));
    EXPECT_EQ(Control<QPlainTextEdit>("DataMemo")->toPlainText(), text)
        << "a cancelled dialog changes nothing";

    form_->LoadDataFile(configDir_.path() + QStringLiteral("/missing.txt"));
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].caption, QStringLiteral("Data File Open"));
    EXPECT_EQ(Control<QPlainTextEdit>("DataMemo")->toPlainText(), text) << "a failed open changes nothing";
}

// Every item keeps its own access key within its menu, so Alt+R then V opens Volume control.
TEST_F(MainFormTest, TheTestWindowsOpenFromTheTestModeSubmenu) {
    PtyRadio radio;
    WritePorts(radio.SlavePath(), "");
    StartTerminal();
    const struct {
        const char* menu;
        QStringList items;
    } menus[] = {
        {"OperateMenu",
         {"&Reset", "radio interro&Gation", "radio &Management", "radio &Control",
          "&Volume control", "&Protcol info", "send modem &Data", "dialled &String",
          "Disconnect RQ&X", "diversio&N", "radio t&Est", "&Test Mode"}},
        {"TestMode1", {"&Send test packet", "&Timer check", "&Variables"}},
    };
    for (const auto& menu : menus) {
        QStringList items;
        QSet<QChar> keys;
        for (const QAction* action : Control<QMenu>(menu.menu)->actions()) {
            if (action->isSeparator()) continue;
            const QString text = action->text();
            items << text;
            const qsizetype amp = text.indexOf(QChar('&'));
            if (amp < 0) continue;
            const QChar key = text.at(amp + 1).toUpper();
            EXPECT_FALSE(keys.contains(key)) << menu.menu << ": " << text.toStdString();
            keys.insert(key);
        }
        EXPECT_EQ(items, menu.items) << menu.menu;
    }
}

TEST_F(MainFormTest, InterrogationItemsDoNothingBeforeTheLinkIsUp) {
    PtyRadio radio;
    WritePorts(radio.SlavePath(), "");
    StartTerminal();
    ASSERT_TRUE(WaitUntil([&] { return radio.CountOfType(map27::kLinkRequest) >= 1; }, 3000, &radio));
    for (const char* item : {"Personalityrequest1", "Numberinginformation1", "Statusofradiosettings1",
                             "Operatingcondition1", "Networkinformation1"}) {
        Control<QAction>(item)->trigger();
    }
    RunFor(200, &radio);
    EXPECT_EQ(radio.CountOfType(map27::kLinkTransfer), 0u);
    EXPECT_TRUE(form_->LogLines().isEmpty());

    BringUpLink(radio);
    Control<QAction>("Operatingcondition1")->trigger();
    ASSERT_TRUE(WaitUntil([&] { return !radio.DataFrames().empty(); }, 3000, &radio));
    EXPECT_EQ(HexText(radio.Frames().front()), ExpectedDataFrame(1, {0xB0, 0x03}));
    EXPECT_TRUE(WaitUntil([&] {
        return form_->LogLines() ==
               QStringList{QStringLiteral("TX :       Radio Interrogation           Operating condition")};
    }));
}

TEST_F(MainFormTest, CallSelectionEnablesTheFieldsItUses) {
    PtyRadio radio;
    WritePorts(radio.SlavePath(), "");
    StartTerminal();
    struct Case {
        int item;
        bool status;
        bool data;
    };
    for (const Case& c : std::vector<Case>{{0, false, false}, {1, false, false}, {2, false, true},
                                           {3, true, false}, {4, false, false}}) {
        SCOPED_TRACE(c.item);
        Control<QComboBox>("CallCBox")->setCurrentIndex(c.item);
        EXPECT_EQ(Control<QLineEdit>("StEdit")->isEnabled(), c.status);
        EXPECT_EQ(Control<QLabel>("Status")->isEnabled(), c.status);
        EXPECT_EQ(Control<QPlainTextEdit>("DataMemo")->isEnabled(), c.data);
        EXPECT_EQ(Control<QLabel>("Data")->isEnabled(), c.data);
        EXPECT_TRUE(Control<QLineEdit>("PfixEdit")->isEnabled());
        EXPECT_TRUE(Control<QLineEdit>("IDEdit")->isEnabled());
    }
}

TEST_F(MainFormTest, AnsweringNoToTheCloseQuestionKeepsTheLinkRunning) {
    PtyRadio radio;
    WritePorts(radio.SlavePath(), "");
    StartTerminal();
    BringUpLink(radio);
    bool finished = false;
    QObject::connect(form_.get(), &TMainForm::Finished, [&] { finished = true; });

    questionAnswer_ = QMessageBox::No;
    EXPECT_FALSE(form_->close());
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].text, QStringLiteral("Are you finished this program?"));
    EXPECT_EQ(boxes_[0].caption, QStringLiteral("Confirmation"));
    EXPECT_EQ(boxes_[0].icon, QMessageBox::Question);
    EXPECT_EQ(boxes_[0].buttons, QMessageBox::Yes | QMessageBox::No);
    EXPECT_FALSE(finished);
    EXPECT_TRUE(form_->isVisible());
    QTest::mouseClick(Control<QPushButton>("TxButton"), Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([&] { return !radio.DataFrames().empty(); }, 3000, &radio));

    questionAnswer_ = QMessageBox::Yes;
    radio.ClearFrames();
    EXPECT_TRUE(form_->close());
    EXPECT_TRUE(finished);
    RunFor(300, &radio);
    EXPECT_TRUE(radio.Frames().empty()) << "closing sends nothing";
}

TEST_F(MainFormTest, CloseWithoutConfirmationEndsLikeAConfirmedClose) {
    PtyRadio radio;
    WritePorts(radio.SlavePath(), "");
    StartTerminal();
    ASSERT_TRUE(WaitUntil([&] { return radio.CountOfType(map27::kLinkRequest) >= 1; }, 3000, &radio));
    bool finished = false;
    QObject::connect(form_.get(), &TMainForm::Finished, [&] { finished = true; });
    form_->CloseWithoutConfirmation();
    EXPECT_TRUE(finished);
    EXPECT_TRUE(boxes_.empty()) << "no question asked";
    radio.ClearFrames();
    RunFor(1300, &radio);
    EXPECT_TRUE(radio.Frames().empty()) << "T0 no longer runs";
}

}  // namespace
}  // namespace talvane::test
