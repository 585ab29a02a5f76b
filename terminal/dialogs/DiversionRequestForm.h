#pragma once
// "Diversion Request/Cancel": two addresses and three choices; the address rules decide which of
// the addresses can be edited.
#include "terminal/dialogs/MessageForm.h"

class QLabel;
class QLineEdit;
class QPushButton;
class TRadioGroup;

class TDiversionRequestForm : public TMessageForm {
    Q_OBJECT
public:
    explicit TDiversionRequestForm(QWidget* parent = nullptr);
    void FillRequest(map27::SendRequest& request) const override;

public slots:
    void Button1Click();

private:
    void ApplyAddressRules();
    void SetUpperEnabled(bool enabled);
    void SetLowerEnabled(bool enabled);

    QLabel* Pfix1Label;
    QLabel* ID1Label;
    QLineEdit* Pfix1Edit;
    QLineEdit* ID1Edit;
    QLabel* Pfix2Label;
    QLabel* ID2Label;
    QLineEdit* Pfix2Edit;
    QLineEdit* ID2Edit;
    TRadioGroup* DRG;
    TRadioGroup* CDRG;
    TRadioGroup* ReCaRG;
    QPushButton* Button1;
};
