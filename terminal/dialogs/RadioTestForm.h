#pragma once
// "Radio Test": the test controls as hexadecimal text.
#include "terminal/dialogs/HexTextForm.h"

class TRadioTestForm : public THexTextForm {
    Q_OBJECT
public:
    explicit TRadioTestForm(QWidget* parent = nullptr);
    void FillRequest(map27::SendRequest& request) const override;
};
