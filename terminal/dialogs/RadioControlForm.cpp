#include "terminal/dialogs/RadioControlForm.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include "terminal/dialogs/DialogWidgets.h"

TRadioControlForm::TRadioControlForm(QWidget* parent) : TMessageForm(parent) {
    setObjectName(QStringLiteral("RadioControlForm"));
    setWindowTitle(QStringLiteral("Radio Control"));
    const QStringList onOff{QStringLiteral("On"), QStringLiteral("Off")};
    RadioGroupHook =
        new TRadioGroup(QStringLiteral("RadioGroupHook"), QStringLiteral("Hook"), onOff, 1, this);
    RadioGroupTransmit = new TRadioGroup(QStringLiteral("RadioGroupTransmit"),
                                         QStringLiteral("Transmit"), onOff, 1, this);
    ButtonSet = new QPushButton(QStringLiteral("Set"), this);
    ButtonSet->setObjectName(QStringLiteral("ButtonSet"));
    ButtonPTT = new QPushButton(QStringLiteral("PTT"), this);
    ButtonPTT->setObjectName(QStringLiteral("ButtonPTT"));

    auto* groups = new QHBoxLayout;
    groups->addWidget(RadioGroupHook);
    groups->addWidget(RadioGroupTransmit);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ButtonSet);
    buttons->addWidget(ButtonPTT);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(groups);
    layout->addLayout(buttons);
    SetWindowRules(true, true);

    connect(ButtonSet, &QPushButton::clicked, this, &TRadioControlForm::ButtonSetClick);
    connect(ButtonPTT, &QPushButton::clicked, this, &TRadioControlForm::ButtonPTTClick);
}

void TRadioControlForm::FillRequest(map27::SendRequest& request) const {
    request.hookItem = RadioGroupHook->ItemIndex();
    request.transmitItem = RadioGroupTransmit->ItemIndex();
}

void TRadioControlForm::ButtonSetClick() {
    RequestSend(map27::SendKind::RadioControl);
}

void TRadioControlForm::ButtonPTTClick() {
    if (!LinkUp()) return;  // a refused press leaves the group as it was
    RadioGroupTransmit->SetItemIndex(RadioGroupTransmit->ItemIndex() == 0 ? 1 : 0);
    RequestSend(map27::SendKind::RadioControl);
}
