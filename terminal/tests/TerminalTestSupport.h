#pragma once
// What the main window tests share: one application, message boxes captured instead of shown, a
// private ports.conf that maps COM1 and COM2 to pseudo-terminals, and waiting on a real event loop.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "terminal/ErrorReporting.h"
#include "terminal/LinkHost.h"
#include "terminal/MainForm.h"
#include "terminal/tests/PtyRadio.h"

namespace talvane::test {

// Runs the event loop (and polls the radio) until pred holds or timeoutMs passes.
inline bool WaitUntil(const std::function<bool()>& pred, int timeoutMs = 3000, PtyRadio* radio = nullptr) {
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        if (radio != nullptr) radio->Poll();
        if (pred()) return true;
        if (clock.elapsed() > timeoutMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(2);
    }
}

inline void RunFor(int ms, PtyRadio* radio = nullptr) {
    WaitUntil([] { return false; }, ms, radio);
}

// Closes every message box that comes up, as an operator would, and remembers its caption and
// text: OK for an error, No for the close question. The real boxes (with the hook switched off),
// found as the active modal widget.
class BoxCloser {
public:
    BoxCloser() {
        timer_.setInterval(50);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            // A box is marked once handled: the next one may be built at the same address.
            if (box == nullptr || box->property("closedByTest").toBool()) return;
            box->setProperty("closedByTest", true);
            captions.push_back(box->windowTitle());
            texts.push_back(box->text());
            box->done(box->standardButtons().testFlag(QMessageBox::No) ? QMessageBox::No
                                                                       : QMessageBox::Ok);
        });
        timer_.start();
    }
    std::vector<QString> captions;
    std::vector<QString> texts;

private:
    QTimer timer_;
};

class TerminalTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(configDir_.isValid());
        qputenv("XDG_CONFIG_HOME", configDir_.path().toLocal8Bit());
        SetMessageBoxHook([this](const MessageBoxRequest& request) {
            boxes_.push_back(request);
            return request.buttons.testFlag(QMessageBox::Yes) ? questionAnswer_ : QMessageBox::Ok;
        });
    }

    void TearDown() override {
        form_.reset();
        SetMessageBoxHook({});
    }

    // Maps COM1 and COM2; an empty text leaves a device that does not exist.
    void WritePorts(const std::string& com1, const std::string& com2) {
        QDir(configDir_.path()).mkpath(QStringLiteral("halberd"));
        QFile file(configDir_.path() + QStringLiteral("/halberd/ports.conf"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        const std::string missing = (configDir_.path() + QStringLiteral("/no-such-tty")).toStdString();
        const std::string text = "[ports]\nCOM1=" + (com1.empty() ? missing : com1) +
                                 "\nCOM2=" + (com2.empty() ? missing + "2" : com2) + "\n";
        file.write(text.c_str());
    }

    void StartTerminal() {
        form_ = std::make_unique<TMainForm>();
        if (!form_->StartFailed()) form_->show();
    }

    QString Panel(int number) const {
        return form_->findChild<QLabel*>(QStringLiteral("Panel%1").arg(number))->text();
    }

    template <typename T>
    T* Control(const char* name) const {
        T* control = form_->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(control, nullptr) << name;
        return control;
    }

    // The radio answers the terminal's link request and acknowledges its second one.
    void BringUpLink(PtyRadio& radio) {
        ASSERT_TRUE(WaitUntil([&] { return radio.CountOfType(map27::kLinkRequest) >= 1; }, 3000, &radio));
        radio.SendLinkRequest();
        ASSERT_TRUE(WaitUntil([&] { return form_->Link().Snapshot().state == map27::LinkState::Confirm; },
                              3000, &radio));
        radio.SendLinkAck(1, 1);
        ASSERT_TRUE(WaitUntil(
            [&] { return Panel(2) == QStringLiteral("Status   Link OK") && form_->Link().IsEstablished(); },
            3000, &radio));
        ASSERT_TRUE(WaitUntil([&] { return radio.CountOfType(map27::kLinkAck) >= 1; }, 3000, &radio));
        radio.ClearFrames();
    }

    std::vector<QString> BoxTexts() const {
        std::vector<QString> texts;
        for (const auto& box : boxes_) texts.push_back(box.text);
        return texts;
    }

    QTemporaryDir configDir_;
    std::vector<MessageBoxRequest> boxes_;
    QMessageBox::StandardButton questionAnswer_ = QMessageBox::No;
    std::unique_ptr<TMainForm> form_;
};

}  // namespace talvane::test
