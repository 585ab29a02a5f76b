#pragma once
// "Comport Setting": port, speed and stop bits. Created once and kept, so its selections are
// remembered from one showing to the next.
#include <QDialog>

#include "engineer/PortSettings.h"

class QPushButton;
class TRadioGroup;

class TComportForm : public QDialog {
    Q_OBJECT
public:
    explicit TComportForm(QWidget* parent = nullptr);

    orrick::TPortSelection Selection() const;
    void SetPortIndex(int index);
    void SetSpeedIndex(int index);
    void SetStopIndex(int index);

    TRadioGroup* RadioGroup1;  // "Comport"
    TRadioGroup* RadioGroup2;  // "Baudrate"
    TRadioGroup* RadioGroup3;  // "Stop bit"
    QPushButton* Button1;      // "OK"

protected:
    void showEvent(QShowEvent* event) override;
};
