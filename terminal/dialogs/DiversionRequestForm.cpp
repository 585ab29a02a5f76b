#include "terminal/dialogs/DiversionRequestForm.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "terminal/dialogs/DialogWidgets.h"

namespace {

constexpr int kSelfInitiated = 0;
constexpr int kThirdParty = 1;
constexpr int kThirdItem = 2;  // "Not used" for a request, "General" for a cancellation
constexpr int kRequest = 0;

QLineEdit* MakeEdit(QWidget* parent, const char* name, const char* text, int maxLength) {
    auto* edit = new QLineEdit(QString::fromLatin1(text), parent);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setMaxLength(maxLength);
    return edit;
}

QLabel* MakeLabel(QWidget* parent, const char* name, const char* text, QWidget* buddy) {
    auto* label = new QLabel(QString::fromLatin1(text), parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setBuddy(buddy);
    return label;
}

}  // namespace

TDiversionRequestForm::TDiversionRequestForm(QWidget* parent) : TMessageForm(parent) {
    setObjectName(QStringLiteral("DiversionRequestForm"));
    setWindowTitle(QStringLiteral("Diversion Request/Cancel"));

    Pfix1Edit = MakeEdit(this, "Pfix1Edit", "008", 3);
    ID1Edit = MakeEdit(this, "ID1Edit", "2001", 4);
    Pfix1Label = MakeLabel(this, "Pfix1Label", "PREFIX(&P)", Pfix1Edit);
    ID1Label = MakeLabel(this, "ID1Label", "IDENT(&I)", ID1Edit);
    Pfix2Edit = MakeEdit(this, "Pfix2Edit", "008", 3);
    ID2Edit = MakeEdit(this, "ID2Edit", "2001", 4);
    Pfix2Label = MakeLabel(this, "Pfix2Label", "PREFIX(&P)", Pfix2Edit);
    ID2Label = MakeLabel(this, "ID2Label", "IDENT(&I)", ID2Edit);

    DRG = new TRadioGroup(QStringLiteral("DRG"), QStringLiteral("Diversion"),
                          {QStringLiteral("Self initiated"), QStringLiteral("Third party"),
                           QStringLiteral("Not used")},
                          kSelfInitiated, this);
    CDRG = new TRadioGroup(QStringLiteral("CDRG"), QStringLiteral("Call diverted"),
                           {QStringLiteral("Speech and data"), QStringLiteral("Speech calls"),
                            QStringLiteral("Data calls"), QStringLiteral("Reserved")},
                           0, this);
    ReCaRG = new TRadioGroup(QStringLiteral("ReCaRG"), QStringLiteral("Request/Cancel"),
                             {QStringLiteral("Request"), QStringLiteral("Cancel")}, kRequest, this);
    Button1 = new QPushButton(QStringLiteral("Tx"), this);
    Button1->setObjectName(QStringLiteral("Button1"));

    auto* addresses = new QGridLayout;
    auto* upperText =
        new QLabel(QStringLiteral("Address of the party to wich calls are diverted"), this);
    upperText->setObjectName(QStringLiteral("UpperAddressLabel"));
    auto* lowerText =
        new QLabel(QStringLiteral("Blocked party address in a third party diversion"), this);
    lowerText->setObjectName(QStringLiteral("LowerAddressLabel"));
    addresses->addWidget(upperText, 0, 0, 1, 4);
    addresses->addWidget(Pfix1Label, 1, 0);
    addresses->addWidget(Pfix1Edit, 1, 1);
    addresses->addWidget(ID1Label, 1, 2);
    addresses->addWidget(ID1Edit, 1, 3);
    addresses->addWidget(lowerText, 2, 0, 1, 4);
    addresses->addWidget(Pfix2Label, 3, 0);
    addresses->addWidget(Pfix2Edit, 3, 1);
    addresses->addWidget(ID2Label, 3, 2);
    addresses->addWidget(ID2Edit, 3, 3);
    auto* groups = new QHBoxLayout;
    groups->addWidget(DRG);
    groups->addWidget(CDRG);
    groups->addWidget(ReCaRG);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Button1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(addresses);
    layout->addLayout(groups);
    layout->addLayout(buttons);
    SetWindowRules(true, false);

    ApplyAddressRules();
    connect(DRG, &TRadioGroup::Clicked, this, &TDiversionRequestForm::ApplyAddressRules);
    connect(ReCaRG, &TRadioGroup::Clicked, this, &TDiversionRequestForm::ApplyAddressRules);
    connect(Button1, &QPushButton::clicked, this, &TDiversionRequestForm::Button1Click);
}

void TDiversionRequestForm::FillRequest(map27::SendRequest& request) const {
    request.pfix1Text = Pfix1Edit->text().toStdString();
    request.id1Text = ID1Edit->text().toStdString();
    request.pfix2Text = Pfix2Edit->text().toStdString();
    request.id2Text = ID2Edit->text().toStdString();
    request.drgItem = DRG->ItemIndex();
    request.cdrgItem = CDRG->ItemIndex();
}

void TDiversionRequestForm::Button1Click() {
    RequestSend(ReCaRG->ItemIndex() == kRequest ? map27::SendKind::DiversionRequest
                                                : map27::SendKind::DiversionCancel);
}

// A request carries the diverted-to address (and for a third party the blocked one); a
// cancellation carries only the blocked party's address, and its third choice is "General".
void TDiversionRequestForm::ApplyAddressRules() {
    const bool request = ReCaRG->ItemIndex() == kRequest;
    DRG->SetItemText(kThirdItem, request ? QStringLiteral("Not used") : QStringLiteral("General"));
    if (request && DRG->ItemIndex() == kThirdItem) DRG->SetItemIndex(kSelfInitiated);
    const int diversion = DRG->ItemIndex();
    SetUpperEnabled(request);
    SetLowerEnabled(request ? diversion == kThirdParty : diversion != kSelfInitiated);
}

void TDiversionRequestForm::SetUpperEnabled(bool enabled) {
    for (QWidget* w : {static_cast<QWidget*>(Pfix1Label), static_cast<QWidget*>(ID1Label),
                       static_cast<QWidget*>(Pfix1Edit), static_cast<QWidget*>(ID1Edit)})
        w->setEnabled(enabled);
}

void TDiversionRequestForm::SetLowerEnabled(bool enabled) {
    for (QWidget* w : {static_cast<QWidget*>(Pfix2Label), static_cast<QWidget*>(ID2Label),
                       static_cast<QWidget*>(Pfix2Edit), static_cast<QWidget*>(ID2Edit)})
        w->setEnabled(enabled);
}
