#pragma once
// "Timer Check": whether each link timer runs and its interval, and the refresh interval.
#include <array>

#include "map27/link/LinkInterfaces.h"
#include "terminal/dialogs/MessageForm.h"

class QLineEdit;

class TTCForm : public TDialogForm {
    Q_OBJECT
public:
    explicit TTCForm(QWidget* parent = nullptr);
    void ShowSnapshot(const map27::LinkSnapshot& snapshot);

signals:
    void RefreshIntervalChanged(int ms);  // 0 stops the refresh
    void Hidden();

public slots:
    void Edit6Change(const QString& text);  // throws for a text that is no interval

protected:
    void hideEvent(QHideEvent* event) override;

private:
    std::array<QLineEdit*, 5> runningEdits_{};   // Edit1..Edit5: "True" / "false"
    std::array<QLineEdit*, 5> intervalEdits_{};  // EditT0..EditT4
    QLineEdit* Edit6;
};
