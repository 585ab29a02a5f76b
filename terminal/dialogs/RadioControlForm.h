#pragma once
// "Radio Control": the Hook and Transmit groups; Set sends them, PTT flips Transmit and sends.
#include "terminal/dialogs/MessageForm.h"

class QPushButton;
class TRadioGroup;

class TRadioControlForm : public TMessageForm {
    Q_OBJECT
public:
    explicit TRadioControlForm(QWidget* parent = nullptr);
    void FillRequest(map27::SendRequest& request) const override;

public slots:
    void ButtonSetClick();
    void ButtonPTTClick();

private:
    TRadioGroup* RadioGroupHook;
    TRadioGroup* RadioGroupTransmit;
    QPushButton* ButtonSet;
    QPushButton* ButtonPTT;
};
