// The received lines saved through File > "Save RX As..." and stamped with their time.
#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QMessageBox>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>

#include "engineer/ErrorReport.h"
#include "engineer/tests/OrrickFixture.h"

namespace {

QString FileText(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

class EngineerEvidenceTest : public OrrickTest {
protected:
    void SetUp() override {
        OrrickTest::SetUp();
        MapPorts(&com1_, nullptr);
    }

    QString Received() const { return form_->EngRxMemo->toPlainText(); }

    PtyPeer com1_;
    QTemporaryDir files_;
};

TEST_F(EngineerEvidenceTest, SavedLinesEqualTheLinesShownWithTheirTimeWhenAskedFor) {
    StartForm();
    EXPECT_FALSE(form_->TimeStamps1->isChecked()) << "off until asked for";
    com1_.Write(Hex("02 31 32 03"));
    ASSERT_TRUE(WaitFor([&] { return Received() == "@12#"; })) << Received().toStdString();
    form_->TimeStamps1->trigger();
    com1_.Write(Hex("02 33 03"));
    ASSERT_TRUE(WaitFor([&] { return Received().count('\n') == 1; }));
    const QStringList lines = Received().split('\n');
    EXPECT_EQ(lines[0], "@12#") << "a line already shown keeps its text";
    EXPECT_TRUE(
        QRegularExpression("^\\d\\d:\\d\\d:\\d\\d\\.\\d{3} @3#$").match(lines[1]).hasMatch())
        << lines[1].toStdString();

    // Through the real menu item and its file dialog.
    const QString path = files_.filePath("rx.txt");
    QTimer answer;
    answer.setInterval(10);
    QElapsedTimer waited;
    waited.start();
    bool answered = false;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* dialog = qobject_cast<QFileDialog*>(modal); dialog && !answered) {
            dialog->selectFile(path);
            static_cast<QDialog*>(dialog)->accept();
            answered = true;
        } else if (modal && waited.elapsed() > 10'000) {
            modal->close();  // a box nobody expected fails the test instead of hanging it
        }
    });
    answer.start();
    form_->SaveRx1->trigger();
    EXPECT_EQ(FileText(path), lines.join('\n') + '\n');

    // The real box, as the engineer meets it, answered from a timer.
    orrick::SetMessageHook({});
    QString caption, text;
    QTimer close;
    close.setInterval(10);
    QObject::connect(&close, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            caption = box->windowTitle();
            text = box->text();
            box->accept();
        }
    });
    close.start();
    EXPECT_FALSE(form_->SaveRxLines(files_.filePath("no-such-folder/rx.txt")));
    close.stop();
    orrick::SetMessageHook(
        [this](orrick::TBoxIcon icon, const QString& boxCaption, const QString& boxText) {
            boxes_.push_back({icon, boxCaption, boxText});
        });
    EXPECT_EQ(caption, "Save RX As");
    EXPECT_TRUE(text.contains("no-such-folder/rx.txt")) << text.toStdString();
    EXPECT_EQ(Received().split('\n'), lines);

    // Kept for the next run, beside the port settings.
    CloseForm();
    StartForm();
    EXPECT_TRUE(form_->TimeStamps1->isChecked());
    EXPECT_EQ(StoredSettings()["TimeStamps"], "true");
}

}  // namespace
