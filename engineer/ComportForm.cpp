#include "engineer/ComportForm.h"

#include <QPushButton>

#include "engineer/Controls.h"

TComportForm::TComportForm(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("ComportForm"));
    setWindowTitle(QStringLiteral("Comport Setting"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setModal(true);
    setFixedSize(278, 136);

    RadioGroup1 = new TRadioGroup(QStringLiteral("Comport"),
                                  {QStringLiteral("Com1"), QStringLiteral("Com2")}, 1, this);
    RadioGroup1->setObjectName(QStringLiteral("RadioGroup1"));
    RadioGroup1->setGeometry(8, 4, 80, 64);
    RadioGroup2 =
        new TRadioGroup(QStringLiteral("Baudrate"),
                        {QStringLiteral("1200"), QStringLiteral("2400"), QStringLiteral("4800"),
                         QStringLiteral("9600"), QStringLiteral("19200"), QStringLiteral("38400")},
                        2, this);
    RadioGroup2->setObjectName(QStringLiteral("RadioGroup2"));
    RadioGroup2->setGeometry(96, 4, 174, 84);
    RadioGroup3 = new TRadioGroup(QStringLiteral("Stop bit"),
                                  {QStringLiteral("1"), QStringLiteral("2")}, 1, this);
    RadioGroup3->setObjectName(QStringLiteral("RadioGroup3"));
    RadioGroup3->setGeometry(8, 70, 80, 62);
    Button1 = new QPushButton(QStringLiteral("OK"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(182, 100, 88, 28);
    Button1->setDefault(true);
    connect(Button1, &QPushButton::clicked, this, &QDialog::accept);

    RadioGroup1->SetItemIndex(0);
    RadioGroup2->SetItemIndex(0);
    RadioGroup3->SetItemIndex(0);
}

orrick::TPortSelection TComportForm::Selection() const {
    return {RadioGroup1->ItemIndex(), RadioGroup2->ItemIndex(), RadioGroup3->ItemIndex()};
}

void TComportForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    CenterOnScreen(this);
}

void TComportForm::SetPortIndex(int index) {
    RadioGroup1->SetItemIndex(index);
}
void TComportForm::SetSpeedIndex(int index) {
    RadioGroup2->SetItemIndex(index);
}
void TComportForm::SetStopIndex(int index) {
    RadioGroup3->SetItemIndex(index);
}
