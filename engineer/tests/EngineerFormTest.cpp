// The engineer window against a pseudo-terminal on COM1: what each mode sends and shows.
#include <QAction>
#include <QCheckBox>
#include <QDateTime>
#include <QFile>
#include <QLabel>
#include <QPaintEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextEdit>
#include <QTimer>
#include <chrono>
#include <map>
#include <thread>

#include "engineer/ComportForm.h"
#include "engineer/Controls.h"
#include "engineer/EngineerLines.h"
#include "engineer/VersionForm.h"
#include "engineer/tests/OrrickFixture.h"
#include "serial/Hcomm.h"

namespace {

class EngineerFormTest : public OrrickTest {
protected:
    void SetUp() override {
        OrrickTest::SetUp();
        MapPorts(&com1_, &com2_);
        StartForm();
        ASSERT_TRUE(form_->Comm().GetPortStatus());
    }

    void SetMode(int mode) {
        QTest::mouseClick(form_->ModeRadioGroup->Button(mode), Qt::LeftButton);
        ASSERT_EQ(form_->Mode(), mode);
    }

    void Send(const QString& line, QPushButton* button = nullptr) {
        form_->RichEdit1->setPlainText(line);
        QTest::mouseClick(button ? button : form_->TxButton1, Qt::LeftButton);
        ASSERT_TRUE(WaitUntilWritten());
    }

    QString Received() const { return form_->EngRxMemo->toPlainText(); }

    PtyPeer com1_;
    PtyPeer com2_;
};

TEST_F(EngineerFormTest, CaptionsPanelsAndStartState) {
    EXPECT_EQ(form_->windowTitle(), "ORRICK   Talvane for Engineer");
    EXPECT_EQ(form_->StatusPanel[0]->text(), "COMPORT  COM1  1200bps  1bit");
    EXPECT_EQ(form_->StatusPanel[0]->toolTip(), QString::fromStdString(com1_.Path()));
    EXPECT_FALSE(form_->StatusPanel[1]->text().isEmpty());
    const QString clock = form_->StatusPanel[2]->text();
    EXPECT_FALSE(clock.isEmpty());
    EXPECT_FALSE(clock.contains(QDateTime::currentDateTime().timeZoneAbbreviation()))
        << clock.toStdString();
    EXPECT_LE(form_->StatusPanel[2]->fontMetrics().horizontalAdvance(clock),
              form_->StatusPanel[2]->contentsRect().width());
    EXPECT_TRUE(form_->Timer1->isActive());
    EXPECT_EQ(form_->Comm().BaudRate(), TBaudRate::___1200bps);
    EXPECT_EQ(form_->Comm().RxThreshold(), 1u);
    EXPECT_TRUE(form_->ActiveCheckBox->isChecked());
    EXPECT_TRUE(form_->Data1->isChecked());
    EXPECT_EQ(form_->ModeRadioGroup->ItemIndex(), 0);
    EXPECT_TRUE(form_->Label1->isVisible());
    EXPECT_EQ(form_->centralWidget()->width(), 650);
    EXPECT_EQ(form_->centralWidget()->height() + form_->statusBar()->height(), 430);
    EXPECT_TRUE(boxes_.empty()) << BoxTexts().join('|').toStdString();
}

TEST_F(EngineerFormTest, DataAndAsciiLinesSendMarkersAsStxAndEtx) {
    for (int mode : {orrick::DataMode, orrick::AsciiMode}) {
        SetMode(mode);
        Send(QStringLiteral("@AB#"));
        EXPECT_EQ(com1_.Read(4), Hex("02 41 42 03")) << mode;
        Send(QStringLiteral("@"));
        EXPECT_EQ(com1_.Read(1), Hex("02"));
        Send(QStringLiteral("ATZ"));
        EXPECT_EQ(com1_.ReadQuiet(), "ATZ") << "no line end is added";
        Send(QStringLiteral("Ç½"));
        EXPECT_EQ(com1_.Read(2), Hex("80 AB"));
    }
    EXPECT_TRUE(boxes_.empty()) << BoxTexts().join('|').toStdString();
}

TEST_F(EngineerFormTest, ACharacterOutsideTheCodePageIsRefused) {
    Send(QStringLiteral("@12€#"));
    Send(QStringLiteral("ā"));
    EXPECT_EQ(com1_.ReadQuiet(), "");
    ASSERT_EQ(boxes_.size(), 2u);
    EXPECT_EQ(boxes_[0].caption, "COMMUNICATION ERROR");
    EXPECT_TRUE(boxes_[0].text.contains(QStringLiteral("'€' (U+20AC)")))
        << boxes_[0].text.toStdString();
    EXPECT_TRUE(boxes_[1].text.contains(QStringLiteral("'ā' (U+0101)")))
        << boxes_[1].text.toStdString();
}

TEST_F(EngineerFormTest, BinaryLines) {
    SetMode(orrick::BinaryMode);
    Send(QStringLiteral("0241a3"));
    EXPECT_EQ(com1_.Read(3), Hex("02 41 A3"));
    Send(QStringLiteral("FFff"));
    EXPECT_EQ(com1_.Read(2), Hex("FF FF"));
    ASSERT_TRUE(boxes_.empty());

    const struct {
        QString line;
        QString caption;
        QString text;
        orrick::TBoxIcon icon;
    } refused[] = {
        {"024", "COMMUNICATION ERROR", "This Data is incorrect!", orrick::TBoxIcon::Exclamation},
        {"0", "COMMUNICATION ERROR", "This Data is incorrect!", orrick::TBoxIcon::Exclamation},
        {"020g", "ORRICK", "'0g' is not a valid integer value.", orrick::TBoxIcon::Stop},
        {"02 4", "ORRICK", "' 4' is not a valid integer value.", orrick::TBoxIcon::Stop},
    };
    for (const auto& c : refused) {
        boxes_.clear();
        Send(c.line);
        EXPECT_EQ(com1_.ReadQuiet(), "") << c.line.toStdString();
        ASSERT_EQ(boxes_.size(), 1u) << c.line.toStdString();
        EXPECT_EQ(boxes_[0].caption, c.caption);
        EXPECT_EQ(boxes_[0].text, c.text);
        EXPECT_EQ(boxes_[0].icon, c.icon);
    }

    boxes_.clear();  // the same through F1, whose key is taken before the focused control sees it
    form_->RichEdit1->setPlainText(QStringLiteral("0g"));
    QTest::keyClick(form_->EngRxMemo, Qt::Key_F1);
    EXPECT_EQ(com1_.ReadQuiet(), "");
    EXPECT_EQ(BoxTexts(), QStringList{"'0g' is not a valid integer value."});
}

// The limit the refusal states is the one that goes: 8190 characters, 4095 bytes, the most the
// port takes in one write (8192 characters passed the check and failed at the port).
TEST_F(EngineerFormTest, TheLongestBinaryLineThatTheRefusalStatesGoes) {
    BoxAnswerer boxes;
    SetMode(orrick::BinaryMode);
    Send(QStringLiteral("a5").repeated(4095));
    EXPECT_EQ(com1_.Read(4095), std::string(4095, '\xA5'));
    for (const int characters : {8192, 8194}) {
        Send(QStringLiteral("a5").repeated(characters / 2));
        ASSERT_TRUE(WaitFor([&] { return !boxes.texts.empty(); }));
        EXPECT_EQ(com1_.ReadQuiet(), "");
        EXPECT_EQ(boxes.captions, QStringList{"COMMUNICATION ERROR"});
        EXPECT_EQ(boxes.texts, QStringList{"This Data is too long!  A line holds at most 8190 "
                                           "characters (4095 bytes)."});
        boxes.captions.clear();
        boxes.texts.clear();
    }
}

TEST_F(EngineerFormTest, F1AndF2SendFromAnyControl) {
    form_->RichEdit1->setPlainText(QStringLiteral("one"));
    form_->RichEdit2->setPlainText(QStringLiteral("two"));
    for (QWidget* focus : std::initializer_list<QWidget*>{form_->EngRxMemo, form_->AllClearButton,
                                                          form_->RichEdit2}) {
        focus->setFocus();
        QTest::keyClick(focus, Qt::Key_F1);
        EXPECT_EQ(com1_.Read(3), "one") << focus->objectName().toStdString();
        ASSERT_TRUE(WaitUntilWritten());
        QTest::keyClick(focus, Qt::Key_F2, Qt::ShiftModifier);
        EXPECT_EQ(com1_.Read(3), "two") << focus->objectName().toStdString();
        ASSERT_TRUE(WaitUntilWritten());
    }
    EXPECT_EQ(form_->RichEdit2->toPlainText(), "two") << "F keys are not typed into the edit";
}

TEST_F(EngineerFormTest, DataModeShowsOneFramePerLine) {
    com1_.Write(Hex("02 31 32 03 02 33 00 34 03"));
    ASSERT_TRUE(WaitFor([&] { return Received() == "@12#\n@34#"; })) << Received().toStdString();
}

TEST_F(EngineerFormTest, DataModeEndsALineAfterOneSecondOfSilence) {
    com1_.Write(Hex("02 31"));
    ASSERT_TRUE(WaitFor([&] { return !Received().isEmpty(); }));
    EXPECT_EQ(Received(), "Incorrect Data Format : @1");
    com1_.Write(Hex("02 35 03"));
    ASSERT_TRUE(WaitFor([&] { return Received().endsWith("\n@5#"); })) << Received().toStdString();
}

TEST_F(EngineerFormTest, BinaryAndAsciiReceiving) {
    SetMode(orrick::BinaryMode);
    com1_.Write(Hex("0A"));
    ASSERT_TRUE(WaitFor([&] { return Received() == "0A "; })) << Received().toStdString();
    form_->RxClearButton->click();
    SetMode(orrick::AsciiMode);
    com1_.Write("OK\r");
    ASSERT_TRUE(WaitFor([&] { return Received() == QStringLiteral("OK\u240D"); }))
        << Received().toStdString();
}

TEST_F(EngineerFormTest, AReplyInPiecesIsOneLineUntilASilenceLongerThanTheSpeedAllows) {
    // At 1200 bit/s a line ends after 29 ms of silence, at 38400 bit/s after 1 ms. The gaps keep
    // well clear of both, for a loaded machine.
    const struct {
        TBaudRate speed;
        int gapMs;
        int mode;
        QString lines;
    } cases[] = {
        {TBaudRate::___1200bps, 2, orrick::AsciiMode, QStringLiteral("OK 12\u240D\u240A")},
        {TBaudRate::___1200bps, 2, orrick::BinaryMode, QStringLiteral("4F 4B 20 31 32 0D 0A ")},
        {TBaudRate::__38400bps, 80, orrick::AsciiMode, QStringLiteral("OK \n12\n\u240D\u240A")},
        {TBaudRate::__38400bps, 80, orrick::BinaryMode,
         QStringLiteral("4F 4B 20 \n31 32 \n0D 0A ")},
    };
    for (const auto& c : cases) {
        form_->RxClearButton->click();
        SetMode(c.mode);
        form_->Comm().SetBaudRate(c.speed);
        for (const char* piece : {"OK ", "12", "\r\n"}) {
            com1_.Write(piece);
            std::this_thread::sleep_for(std::chrono::milliseconds(c.gapMs));
        }
        EXPECT_TRUE(WaitFor([&] { return Received() == c.lines; }))
            << Received().toStdString() << " at " << BaudRateBitsPerSecond(c.speed);
    }
}

TEST_F(EngineerFormTest, TheReceivedListShowsInBatchesAndKeepsTheNewestLines) {
    TRxMemo& memo = *form_->EngRxMemo;
    const int total = TRxMemo::kMaxLines + 5;
    std::thread([&] {
        for (int i = 0; i < total; ++i) memo.Post(QString::number(i).toStdU16String());
    }).join();
    EXPECT_EQ(memo.blockCount(), 1) << "nothing is shown before the batch is due";
    ASSERT_TRUE(WaitFor([&] { return memo.blockCount() == TRxMemo::kMaxLines; }));
    memo.Post(u"last");
    ASSERT_TRUE(WaitFor([&] { return memo.document()->lastBlock().text() == "last"; }));
    EXPECT_EQ(memo.blockCount(), TRxMemo::kMaxLines);
    EXPECT_EQ(memo.document()->firstBlock().text(), "6") << "the oldest six are gone";

    memo.Post(u"waiting");
    form_->RxClearButton->click();
    QTest::qWait(2 * TRxMemo::kShowIntervalMs);
    EXPECT_EQ(Received(), "") << "a clear also drops what waits to be shown";
}

// Batching must not delay a lone reply: a line after a quiet spell shows in the next turns of the
// event loop, not after the batch interval.
TEST_F(EngineerFormTest, ALineAfterAQuietSpellShowsAtOnce) {
    form_->EngRxMemo->Post(u"OK");
    for (int turn = 0; turn < 3; ++turn) QCoreApplication::processEvents();
    EXPECT_EQ(Received(), "OK");
}

// The clock ticks every second for the whole run: it must repaint its panel, not the status bar
// with every panel on it.
TEST_F(EngineerFormTest, TheClockRepaintsOnlyItsPanel) {
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
    counter.bar->installEventFilter(&counter);
    for (QLabel* panel : form_->StatusPanel) panel->installEventFilter(&counter);
    for (int tick = 0; tick < 3; ++tick) {
        form_->StatusPanel[2]->clear();  // a new time, however fast the test runs
        form_->Timer1Timer();
        QTest::qWait(30);
    }
    EXPECT_GT(counter.paints[form_->StatusPanel[2]], 0);
    EXPECT_EQ(counter.paints[form_->StatusPanel[0]], 0);
    EXPECT_EQ(counter.paints[form_->StatusPanel[1]], 0);
    EXPECT_TRUE(form_->StatusPanel[2]->geometry().contains(counter.barPainted))
        << "the bar behind the clock only";
}

TEST_F(EngineerFormTest, ClosingWhileAFrameWaitsForItsEnd) {
    com1_.Write(Hex("02 31"));
    QTest::qWait(200);  // the receive thread now waits inside the handler
    CloseForm();
    EXPECT_FALSE(form_->isVisible());
    EXPECT_FALSE(form_->Comm().GetPortStatus());
}

TEST_F(EngineerFormTest, MarkerKeysInAsciiModeOnly) {
    QTextEdit* edit = form_->RichEdit2;
    edit->setFocus();
    edit->setPlainText(QStringLiteral("AB"));
    QTextCursor caret = edit->textCursor();
    caret.setPosition(1);
    edit->setTextCursor(caret);
    QTest::keyClick(edit, Qt::Key_B, Qt::ControlModifier);
    EXPECT_EQ(edit->toPlainText(), "AB") << "Data mode";

    SetMode(orrick::AsciiMode);
    edit->setFocus();
    QTest::keyClick(edit, Qt::Key_B, Qt::ControlModifier);
    QTest::keyClick(edit, Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(edit->toPlainText(), "A@#B");
    EXPECT_EQ(edit->textCursor().position(), 3);
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_EQ(edit->toPlainText(), "A@#B") << "Enter inserts no line break";
}

TEST_F(EngineerFormTest, ModeMenuRadioGroupAndLabelsMoveTogether) {
    const struct {
        QAction* item;
        int mode;
    } cases[] = {{form_->Binary1, 1}, {form_->Ascii1, 2}, {form_->Data1, 0}};
    for (const auto& c : cases) {
        c.item->trigger();
        EXPECT_EQ(form_->Mode(), c.mode);
        EXPECT_EQ(form_->ModeRadioGroup->ItemIndex(), c.mode);
        EXPECT_EQ(form_->Data1->isChecked(), c.mode == 0);
        EXPECT_EQ(form_->Binary1->isChecked(), c.mode == 1);
        EXPECT_EQ(form_->Ascii1->isChecked(), c.mode == 2);
        EXPECT_EQ(form_->Label1->isVisible(), c.mode == 0);
        EXPECT_EQ(form_->Label2->isVisible(), c.mode == 0);
    }
}

TEST_F(EngineerFormTest, ClearActions) {
    form_->RichEdit1->setPlainText(QStringLiteral("1"));
    form_->RichEdit2->setPlainText(QStringLiteral("2"));
    form_->EngRxMemo->setPlainText(QStringLiteral("rx"));
    form_->TxClearButton->click();
    EXPECT_EQ(form_->RichEdit1->toPlainText(), "");
    EXPECT_EQ(form_->RichEdit2->toPlainText(), "");
    EXPECT_EQ(Received(), "rx");
    form_->RxDataClear1->trigger();
    EXPECT_EQ(Received(), "");
    form_->RichEdit1->setPlainText(QStringLiteral("1"));
    form_->EngRxMemo->setPlainText(QStringLiteral("rx"));
    form_->AllClearButton->click();
    EXPECT_EQ(form_->RichEdit1->toPlainText(), "");
    EXPECT_EQ(Received(), "");
}

TEST_F(EngineerFormTest, LoadedFileIsSentWithItsLineBreaks) {
    const struct {
        QByteArray file;
        std::string bytes;
    } cases[] = {
        {"@AT\nI#\n", Hex("02 41 54 0A 49 03 0A")},
        {"@AT\r\nI#\r\n", Hex("02 41 54 0D 0A 49 03 0D 0A")},
        {"AT\rI", Hex("41 54 0D 49")},
        {"\x80\xff", Hex("80 FF")},  // not UTF-8: loaded as the radios' code page, byte for byte
        {"\xc3\x87\xc2\xa0", Hex("80 FF")},  // UTF-8
    };
    QTemporaryDir folder;
    for (const auto& c : cases) {
        QFile file(folder.filePath(QStringLiteral("line.txt")));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(c.file);
        file.close();
        form_->LoadDataFile(file.fileName());
        QTest::keyClick(form_->EngRxMemo, Qt::Key_F1);
        EXPECT_EQ(com1_.Read(c.bytes.size()), c.bytes) << c.file.toStdString();
        ASSERT_TRUE(WaitUntilWritten());
    }

    form_->RichEdit1->setPlainText(QStringLiteral("kept"));
    EXPECT_THROW(form_->LoadDataFile(folder.filePath(QStringLiteral("missing.txt"))),
                 std::runtime_error);
    EXPECT_EQ(form_->RichEdit1->toPlainText(), "kept");
}

TEST_F(EngineerFormTest, VersionDialog) {
    TVersionForm& version = form_->VersionDialog();
    EXPECT_EQ(version.windowTitle(), "Version Infomation");
    EXPECT_EQ(version.ProductName->text(), "Talvane for Engineer");
    EXPECT_EQ(version.VersionLine->text(), "Version 1.06");
    EXPECT_EQ(version.ReleaseDate->text(), "Release Date  5/10/2000");
    EXPECT_EQ(version.Banner->pixmap().size(), QSize(249, 41));
    EXPECT_EQ(version.Emblem->size(), QSize(33, 33));
    QTimer::singleShot(0, &version, [&version] { version.OKButton->click(); });
    form_->Version1->trigger();
    EXPECT_FALSE(version.isVisible());
}

TEST_F(EngineerFormTest, TabOrder) {
    QWidget* expected[] = {form_->AllClearButton, form_->RxClearButton, form_->TxClearButton,
                           form_->ActiveCheckBox, form_->RichEdit1,     form_->TxButton1,
                           form_->RichEdit2,      form_->TxButton2};
    QWidget* at = form_->ModeRadioGroup->Button(2);
    for (QWidget* next : expected) {
        at = at->nextInFocusChain();
        while (at->focusPolicy() == Qt::NoFocus || !at->isVisible() ||
               (at->focusPolicy() & Qt::TabFocus) == 0) {
            at = at->nextInFocusChain();
        }
        EXPECT_EQ(at, next) << at->objectName().toStdString() << " instead of "
                            << next->objectName().toStdString();
    }
}

}  // namespace
