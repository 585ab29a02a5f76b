#include "terminal/dialogs/DisconnectForm.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include "terminal/dialogs/DialogWidgets.h"

TDisconnectForm::TDisconnectForm(QWidget* parent) : TMessageForm(parent) {
    setObjectName(QStringLiteral("DisconnectForm"));
    setWindowTitle(QStringLiteral("Disconnect RQX"));

    ComboBoxCause = new QComboBox(this);
    ComboBoxCause->setObjectName(QStringLiteral("ComboBoxCause"));
    ComboBoxCause->setEditable(true);
    ComboBoxCause->setInsertPolicy(QComboBox::NoInsert);
    ComboBoxCause->addItems({QStringLiteral("Cancel any message transaction"),
                             QStringLiteral("Cancel include call set-up attempt"),
                             QStringLiteral("Abort diversion setting transaction"),
                             QStringLiteral("Cancel standard data call set-up attempt"),
                             QStringLiteral("Others")});
    ComboBoxCause->setCurrentIndex(-1);
    ComboBoxCause->setEditText(QStringLiteral("Select Cause"));

    BitBoxes = new TBitBoxRow(this);  // always enabled; read only for "Others"
    Button1 = new QPushButton(QStringLiteral("Tx"), this);
    Button1->setObjectName(QStringLiteral("Button1"));

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Button1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(ComboBoxCause);
    layout->addWidget(BitBoxes);
    layout->addLayout(buttons);
    SetWindowRules(true, false);

    connect(Button1, &QPushButton::clicked, this, &TDisconnectForm::Button1Click);
}

void TDisconnectForm::FillRequest(map27::SendRequest& request) const {
    request.causeItem = CauseItem();
    request.causeBits = BitBoxes->Bits();
}

// The item whose text the list shows; a typed text that names no item is no cause.
int TDisconnectForm::CauseItem() const {
    return ComboBoxCause->findText(ComboBoxCause->currentText(), Qt::MatchExactly);
}

void TDisconnectForm::Button1Click() {
    RequestSend(map27::SendKind::DisconnectRqx);
}
