#pragma once
// "Test": a hand-made frame (header bytes and payload as hexadecimal text) and the switch that puts
// random bytes in place of every frame's FCS.
#include <array>
#include <cstdint>

#include "terminal/dialogs/MessageForm.h"

class QCheckBox;
class QLineEdit;
class QPushButton;

class TSSPForm : public TMessageForm {
    Q_OBJECT
public:
    explicit TSSPForm(QWidget* parent = nullptr);
    void FillRequest(map27::SendRequest& request) const override;  // data1..5Text, makeLtMessage
    bool CrcErrorChecked() const;
    // Frame positions 3..6 as sent; positions 4..6 go into Data2Edit..Data4Edit.
    void ShowSentHeader(const std::array<std::uint8_t, 4>& header);

signals:
    void CrcErrorChanged(bool checked);

public slots:
    void TxButtonClick();
    void MLMCBClick(bool checked);

protected:
    void hideEvent(QHideEvent* event) override;

private:
    QLineEdit* Data1Edit;
    QLineEdit* Data2Edit;
    QLineEdit* Data3Edit;
    QLineEdit* Data4Edit;
    QLineEdit* Data5Edit;
    QPushButton* TxButton;
    QCheckBox* CRCErrorCheckBox;
    QCheckBox* MLMCB;
};
