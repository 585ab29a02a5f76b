#pragma once
// The three windows whose message is a hexadecimal text: a labelled multi-line field, a button that
// empties it and "Tx". Only their texts, names and the message they send differ.
#include "terminal/dialogs/MessageForm.h"

class QLabel;
class QPlainTextEdit;
class QPushButton;

struct HexTextFormLook {
    const char* caption;
    const char* label;
    const char* memoName;
    const char* clearCaption;
    const char* toolTip;  // nullptr: none
    int sendKind;
    bool stayOnTop;
};

class THexTextForm : public TMessageForm {
    Q_OBJECT
public:
    THexTextForm(const HexTextFormLook& look, QWidget* parent);
    QString Text() const;

public slots:
    void ClearButtonClick();
    void TxButtonClick();

private:
    int sendKind_;
    QLabel* MemoLabel;
    QPlainTextEdit* Memo;
    QPushButton* ClearButton;
    QPushButton* TxButton;
};
