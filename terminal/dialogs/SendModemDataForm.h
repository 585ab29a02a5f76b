#pragma once
// "Send Modem Data": the user data as hexadecimal text. The one message window that does not stay
// on top.
#include "terminal/dialogs/HexTextForm.h"

class TSendModemDataForm : public THexTextForm {
    Q_OBJECT
public:
    explicit TSendModemDataForm(QWidget* parent = nullptr);
    void FillRequest(map27::SendRequest& request) const override;
};
