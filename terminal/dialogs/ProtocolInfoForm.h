#pragma once
// "Protocol Info": a reason from the list, or for "Others" the bit map of CB7..CB0.
#include "terminal/dialogs/MessageForm.h"

class QComboBox;
class QPushButton;
class TBitBoxRow;

class TProtocolInfoForm : public TMessageForm {
    Q_OBJECT
public:
    static constexpr int kOthersItem = 6;
    explicit TProtocolInfoForm(QWidget* parent = nullptr);
    void FillRequest(map27::SendRequest& request) const override;
    int ReasonItem() const;  // -1 while the text names no item

public slots:
    void ComboBoxReasonChange();
    void TxButtonClick();

private:
    QComboBox* ComboBoxReason;
    TBitBoxRow* BitBoxes;
    QPushButton* TxButton;
};
