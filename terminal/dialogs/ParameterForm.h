#pragma once
// "Parameters": the link parameter texts (taken at each link restart), AR, the AR function and the
// SST/MST choice (read at each send). Modal; the only button is "OK".
#include "map27/link/LinkEngine.h"
#include "terminal/dialogs/MessageForm.h"

class QComboBox;
class QGridLayout;
class QLineEdit;
class QPushButton;
class TRadioGroup;

class TParameterForm : public TMessageForm {
    Q_OBJECT
public:
    explicit TParameterForm(QWidget* parent = nullptr);
    map27::LinkParameterTexts ParameterTexts() const;
    bool ArFunctionEnabled() const;                                // "AR function" = "Enable"
    void FillRequest(map27::SendRequest& request) const override;  // arText, sstMstItem

private:
    QLineEdit* AddRow(const char* name, const char* label, const char* unit, const char* text,
                      int maxLength);

    QGridLayout* rows_ = nullptr;
    QLineEdit* T0Edit;
    QLineEdit* T2Edit;
    QLineEdit* T3Edit;
    QLineEdit* T4Edit;
    QLineEdit* N1Edit;
    QLineEdit* N2Edit;
    QLineEdit* N3Edit;
    QComboBox* ARComboBox;
    TRadioGroup* ArRadioGroup;
    TRadioGroup* RadioGroupST;
    QPushButton* OKButton;
};
