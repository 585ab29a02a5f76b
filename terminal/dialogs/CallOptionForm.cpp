#include "terminal/dialogs/CallOptionForm.h"

#include <QGridLayout>

#include "terminal/dialogs/DialogWidgets.h"

TCallOptionForm::TCallOptionForm(QWidget* parent) : TMessageForm(parent) {
    setObjectName(QStringLiteral("CallOptionForm"));
    setWindowTitle(QStringLiteral("Voice/Modem Call Option"));
    IndividualRG = new TRadioGroup(QStringLiteral("IndividualRG"), QStringLiteral("Reply"),
                                   {QStringLiteral("Called user may reply"),
                                    QStringLiteral("Not allowed to reply(group call)")},
                                   0, this);
    VoiceRG =
        new TRadioGroup(QStringLiteral("VoiceRG"), QStringLiteral("Voice/Modem"),
                        {QStringLiteral("Voice call"), QStringLiteral("Modem call")}, 0, this);
    IncludeRG = new TRadioGroup(
        QStringLiteral("IncludeRG"), QStringLiteral("Include"),
        {QStringLiteral("Non-include call"), QStringLiteral("Include call")}, 0, this);
    PriorityRG = new TRadioGroup(
        QStringLiteral("PriorityRG"), QStringLiteral("Priority"),
        {QStringLiteral("High priority call"), QStringLiteral("Non-priority call")}, 1, this);
    auto* layout = new QGridLayout(this);
    layout->addWidget(IndividualRG, 0, 0);
    layout->addWidget(VoiceRG, 0, 1);
    layout->addWidget(IncludeRG, 1, 0);
    layout->addWidget(PriorityRG, 1, 1);
    SetWindowRules(true, false);
}

void TCallOptionForm::FillRequest(map27::SendRequest& request) const {
    request.individualItem = IndividualRG->ItemIndex();
    request.voiceItem = VoiceRG->ItemIndex();
    request.includeItem = IncludeRG->ItemIndex();
    request.priorityItem = PriorityRG->ItemIndex();
}

void TCallOptionForm::SetIncludePriorityEnabled(bool enabled) {
    IncludeRG->setEnabled(enabled);
    PriorityRG->setEnabled(enabled);
}
