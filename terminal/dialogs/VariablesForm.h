#pragma once
// "Variables": the link variables, refreshed from the link's snapshot.
#include <cstdint>

#include "map27/link/LinkInterfaces.h"
#include "terminal/dialogs/MessageForm.h"

class QLineEdit;

class TVariablesForm : public TDialogForm {
    Q_OBJECT
public:
    explicit TVariablesForm(QWidget* parent = nullptr);
    void ShowSnapshot(const map27::LinkSnapshot& snapshot);
    void ShowReceivedNs(std::uint8_t ns);  // NSEdit, "0A "

signals:
    void Hidden();

protected:
    void hideEvent(QHideEvent* event) override;

private:
    QLineEdit* AddRow(const char* label, const char* name);

    QLineEdit* NSEdit;
    QLineEdit* EditN_r;
    QLineEdit* EditN_k;
    QLineEdit* Edits_k;
    QLineEdit* EditV_s;
    QLineEdit* EditR_k;
    QLineEdit* v_rEdit;
    QLineEdit* EditC1;
};
