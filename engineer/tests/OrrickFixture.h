#pragma once
// Drives the engineer window offscreen against pseudo-terminals named COM1 and COM2 in a private
// configuration folder, with the message boxes captured instead of shown.
#include <gtest/gtest.h>

#include <QString>
#include <QStringList>
#include <QTest>
#include <QTimer>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include "engineer/RxMemo.h"

#include "engineer/EngineerForm.h"
#include "engineer/ErrorReport.h"
#include "engineer/tests/PtyPeer.h"

struct CapturedBox {
    orrick::TBoxIcon icon;
    QString caption;
    QString text;
};

// Answers the real message boxes as the engineer would, from a timer, keeping their captions and
// texts and whether the port was open while each was shown. While it lives, boxes are real; the
// fixture captures them again when the test ends.
class BoxAnswerer {
public:
    explicit BoxAnswerer(std::function<bool()> portOpen = {});
    QStringList captions;
    QStringList texts;
    std::vector<bool> portOpenWhileShown;

private:
    void Answer();
    std::function<bool()> portOpen_;
    QTimer timer_;
};

class OrrickTest : public ::testing::Test {
public:
    static void SetUpTestSuite();

protected:
    void SetUp() override;
    void TearDown() override;
    void CaptureBoxes();

    // Maps COM1 and COM2 to the peers, or to a device that does not exist when a peer is missing.
    void MapPorts(const PtyPeer* com1, const PtyPeer* com2);
    // Stores values as a previous run would have; Mode given as text so that bad values can be
    // stored.
    void StoreSettings(const std::map<QString, QString>& values);
    std::map<QString, QString> StoredSettings() const;
    QString SettingsFile() const;

    TEngineerForm& StartForm();
    void CloseForm();
    bool WaitFor(const std::function<bool()>& condition, int timeoutMs = 3000);
    QStringList BoxTexts() const;
    // Until the writer has done with the line it was given (a real engineer is never that quick).
    bool WaitUntilWritten();

    static QString configFolder_;
    std::unique_ptr<TEngineerForm> form_;
    std::vector<CapturedBox> boxes_;
};
