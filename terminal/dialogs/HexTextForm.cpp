#include "terminal/dialogs/HexTextForm.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

THexTextForm::THexTextForm(const HexTextFormLook& look, QWidget* parent)
    : TMessageForm(parent), sendKind_(look.sendKind) {
    setWindowTitle(QString::fromLatin1(look.caption));

    Memo = new QPlainTextEdit(this);
    Memo->setObjectName(QString::fromLatin1(look.memoName));
    Memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    if (look.toolTip != nullptr) Memo->setToolTip(QString::fromLatin1(look.toolTip));
    MemoLabel = new QLabel(QString::fromLatin1(look.label), this);
    MemoLabel->setObjectName(QStringLiteral("MemoLabel"));
    MemoLabel->setBuddy(Memo);
    ClearButton = new QPushButton(QString::fromLatin1(look.clearCaption), this);
    ClearButton->setObjectName(QStringLiteral("ClearButton"));
    TxButton = new QPushButton(QStringLiteral("Tx"), this);
    TxButton->setObjectName(QStringLiteral("TxButton"));

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(ClearButton);
    buttons->addStretch();
    buttons->addWidget(TxButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(MemoLabel);
    layout->addWidget(Memo);
    layout->addLayout(buttons);
    SetWindowRules(look.stayOnTop, false);

    connect(ClearButton, &QPushButton::clicked, this, &THexTextForm::ClearButtonClick);
    connect(TxButton, &QPushButton::clicked, this, &THexTextForm::TxButtonClick);
}

QString THexTextForm::Text() const {
    return Memo->toPlainText();
}

// Emptying the field is no send: it works whatever the link state.
void THexTextForm::ClearButtonClick() {
    Memo->clear();
}

void THexTextForm::TxButtonClick() {
    RequestSend(sendKind_);
}
