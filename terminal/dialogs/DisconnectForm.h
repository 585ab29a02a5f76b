#pragma once
// "Disconnect RQX": a cause from the list, or for "Others" the bit map of CB7..CB0; sent to the
// address in the main window's PREFIX and IDENT fields.
#include "terminal/dialogs/MessageForm.h"

class QComboBox;
class QPushButton;
class TBitBoxRow;

class TDisconnectForm : public TMessageForm {
    Q_OBJECT
public:
    static constexpr int kOthersItem = 4;
    explicit TDisconnectForm(QWidget* parent = nullptr);
    void FillRequest(map27::SendRequest& request) const override;
    int CauseItem() const;  // -1 while the text names no item

public slots:
    void Button1Click();

private:
    QComboBox* ComboBoxCause;
    TBitBoxRow* BitBoxes;
    QPushButton* Button1;
};
