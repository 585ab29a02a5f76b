#pragma once
// "Voice/Modem Call Option": the four choices read by Setup Voice and Emergency Speech Call. It
// sends nothing itself.
#include "terminal/dialogs/MessageForm.h"

class TRadioGroup;

class TCallOptionForm : public TMessageForm {
    Q_OBJECT
public:
    explicit TCallOptionForm(QWidget* parent = nullptr);
    void FillRequest(map27::SendRequest& request) const override;
    // An Emergency Speech Call never carries the include and priority bits.
    void SetIncludePriorityEnabled(bool enabled);

private:
    TRadioGroup* IndividualRG;
    TRadioGroup* VoiceRG;
    TRadioGroup* IncludeRG;
    TRadioGroup* PriorityRG;
};
