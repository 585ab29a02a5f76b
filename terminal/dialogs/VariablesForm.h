#pragma once
// "Variables": the link variables, refreshed from the link's snapshot.
#include <cstdint>
#include <optional>

#include "map27/link/LinkInterfaces.h"
#include "terminal/dialogs/MessageForm.h"

class QLineEdit;

class TVariablesForm : public TDialogForm {
    Q_OBJECT
public:
    explicit TVariablesForm(QWidget* parent = nullptr);
    void ShowSnapshot(const map27::LinkSnapshot& snapshot);
    // NSEdit, "0A ". While the window is hidden the value is kept and shown when it shows: filled
    // on every frame, the box cost a text layout each.
    void ShowReceivedNs(std::uint8_t ns);

signals:
    void Hidden();

protected:
    void hideEvent(QHideEvent* event) override;
    void showEvent(QShowEvent* event) override;

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
    std::optional<std::uint8_t> receivedNs_;
};
