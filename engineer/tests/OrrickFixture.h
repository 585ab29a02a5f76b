#pragma once
// Drives the engineer window offscreen against pseudo-terminals named COM1 and COM2 in a private
// configuration folder, with the message boxes captured instead of shown.
#include <gtest/gtest.h>

#include <QString>
#include <QStringList>
#include <QTest>
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

class OrrickTest : public ::testing::Test {
public:
    static void SetUpTestSuite();

protected:
    void SetUp() override;
    void TearDown() override;

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

    static QString configFolder_;
    std::unique_ptr<TEngineerForm> form_;
    std::vector<CapturedBox> boxes_;
};
