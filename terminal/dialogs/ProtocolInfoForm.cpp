#include "terminal/dialogs/ProtocolInfoForm.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include "terminal/dialogs/DialogWidgets.h"

TProtocolInfoForm::TProtocolInfoForm(QWidget* parent) : TMessageForm(parent) {
    setObjectName(QStringLiteral("ProtocolInfoForm"));
    setWindowTitle(QStringLiteral("Protocol Info"));

    ComboBoxReason = new QComboBox(this);
    ComboBoxReason->setObjectName(QStringLiteral("ComboBoxReason"));
    ComboBoxReason->setEditable(true);
    ComboBoxReason->setInsertPolicy(QComboBox::NoInsert);
    ComboBoxReason->addItems({QStringLiteral("Unrecognised messaage"),
                              QStringLiteral("Facility or addressing not supported"),
                              QStringLiteral("Protocol state mismatch detected"),
                              QStringLiteral("Message coding not supported"),
                              QStringLiteral("Radio busy because of local operation"),
                              QStringLiteral("Radio ready for remote control"),
                              QStringLiteral("Others")});
    ComboBoxReason->setCurrentIndex(-1);
    ComboBoxReason->setEditText(QStringLiteral("Select Reason"));

    BitBoxes = new TBitBoxRow(this);
    BitBoxes->SetBitsEnabled(false);
    TxButton = new QPushButton(QStringLiteral("Tx"), this);
    TxButton->setObjectName(QStringLiteral("TxButton"));

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(TxButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(ComboBoxReason);
    layout->addWidget(BitBoxes);
    layout->addLayout(buttons);
    SetWindowRules(true, true);

    connect(ComboBoxReason, &QComboBox::currentTextChanged, this,
            &TProtocolInfoForm::ComboBoxReasonChange);
    connect(TxButton, &QPushButton::clicked, this, &TProtocolInfoForm::TxButtonClick);
}

void TProtocolInfoForm::FillRequest(map27::SendRequest& request) const {
    request.reasonItem = ReasonItem();
    request.reasonBits = BitBoxes->Bits();
}

// The item whose text the list shows; a typed text that names no item is no reason at all, so
// what goes out always matches what the window shows.
int TProtocolInfoForm::ReasonItem() const {
    return ComboBoxReason->findText(ComboBoxReason->currentText(), Qt::MatchExactly);
}

// The bit map is what goes out for "Others" only, so only then can it be edited.
void TProtocolInfoForm::ComboBoxReasonChange() {
    BitBoxes->SetBitsEnabled(ReasonItem() == kOthersItem);
}

void TProtocolInfoForm::TxButtonClick() {
    RequestSend(map27::SendKind::ProtocolInfo);
}
