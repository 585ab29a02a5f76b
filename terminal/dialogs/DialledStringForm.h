#pragma once
// "Dialled String": the dialled digits as hexadecimal text.
#include "terminal/dialogs/HexTextForm.h"

class TDialledStringForm : public THexTextForm {
    Q_OBJECT
public:
    explicit TDialledStringForm(QWidget* parent = nullptr);
    void FillRequest(map27::SendRequest& request) const override;
};
