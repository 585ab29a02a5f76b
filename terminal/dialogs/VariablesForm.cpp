#include "terminal/dialogs/VariablesForm.h"

#include <QFormLayout>
#include <QHideEvent>
#include <QLabel>
#include <QLineEdit>

#include "text/HexFormat.h"

TVariablesForm::TVariablesForm(QWidget* parent) : TDialogForm(parent) {
    setObjectName(QStringLiteral("VariablesForm"));
    setWindowTitle(QStringLiteral("Variables"));
    new QFormLayout(this);
    NSEdit = AddRow("N(S)", "NSEdit");
    EditN_r = AddRow("N(R)", "EditN_r");
    EditN_k = AddRow("N(k)", "EditN_k");
    Edits_k = AddRow("S(k)", "Edits_k");
    EditV_s = AddRow("V(S)", "EditV_s");
    EditR_k = AddRow("R(k)", "EditR_k");
    v_rEdit = AddRow("V(R)", "v_rEdit");
    EditC1 = AddRow("C1", "EditC1");
    SetWindowRules(true, false);
}

QLineEdit* TVariablesForm::AddRow(const char* label, const char* name) {
    auto* edit = new QLineEdit(this);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setReadOnly(true);
    static_cast<QFormLayout*>(layout())->addRow(QString::fromLatin1(label), edit);
    return edit;
}

void TVariablesForm::ShowSnapshot(const map27::LinkSnapshot& snapshot) {
    EditN_r->setText(QString::number(snapshot.lastRxByte4));
    EditN_k->setText(QString::number(snapshot.lastRxByte5));
    // A credit below zero shows as the unsigned 16-bit number it is held in (-1 as 65535).
    Edits_k->setText(QString::number(static_cast<std::uint16_t>(snapshot.sk)));
    EditV_s->setText(QString::number(snapshot.vs));
    EditR_k->setText(QString::number(snapshot.rk));
    v_rEdit->setText(QString::number(snapshot.vr));
    EditC1->setText(QString::number(snapshot.c1));
}

void TVariablesForm::ShowReceivedNs(std::uint8_t ns) {
    receivedNs_ = ns;
    if (isVisible()) NSEdit->setText(QString::fromStdString(text::HexByteBlank(ns)));
}

void TVariablesForm::showEvent(QShowEvent* event) {
    if (receivedNs_) NSEdit->setText(QString::fromStdString(text::HexByteBlank(*receivedNs_)));
    TDialogForm::showEvent(event);
}

void TVariablesForm::hideEvent(QHideEvent* event) {
    TDialogForm::hideEvent(event);
    if (!event->spontaneous()) emit Hidden();
}
