#include "terminal/dialogs/SSPForm.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHideEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "text/HexFormat.h"

namespace {

QLineEdit* MakeHeaderEdit(QWidget* parent, const char* name, const char* text) {
    auto* edit = new QLineEdit(QString::fromLatin1(text), parent);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setMaxLength(2);
    edit->setFixedWidth(edit->fontMetrics().horizontalAdvance(QStringLiteral("WWW")) + 8);
    return edit;
}

QString HexByte(std::uint8_t byte) {
    return QString::fromStdString(text::HexByte(byte));
}

}  // namespace

TSSPForm::TSSPForm(QWidget* parent) : TMessageForm(parent) {
    setObjectName(QStringLiteral("SSPForm"));
    setWindowTitle(QStringLiteral("Test"));

    auto* frame = new QGroupBox(this);
    frame->setObjectName(QStringLiteral("FrameGroup"));
    Data1Edit = MakeHeaderEdit(frame, "Data1Edit", "04");
    Data2Edit = MakeHeaderEdit(frame, "Data2Edit", "01");
    Data3Edit = MakeHeaderEdit(frame, "Data3Edit", "01");
    Data4Edit = MakeHeaderEdit(frame, "Data4Edit", "00");
    Data5Edit = new QLineEdit(frame);
    Data5Edit->setObjectName(QStringLiteral("Data5Edit"));
    TxButton = new QPushButton(QStringLiteral("TX(&T)"), frame);
    TxButton->setObjectName(QStringLiteral("TxButton"));
    CRCErrorCheckBox = new QCheckBox(QStringLiteral("Make CRC error!!!(All messages)"), frame);
    CRCErrorCheckBox->setObjectName(QStringLiteral("CRCErrorCheckBox"));
    MLMCB = new QCheckBox(QStringLiteral("Make LT message"), frame);
    MLMCB->setObjectName(QStringLiteral("MLMCB"));

    auto* header = new QHBoxLayout;
    header->addWidget(new QLabel(QStringLiteral("16 10 02"), frame));
    for (QLineEdit* edit : {Data1Edit, Data2Edit, Data3Edit, Data4Edit}) header->addWidget(edit);
    header->addStretch();
    header->addWidget(TxButton);
    auto* payload = new QHBoxLayout;
    payload->addWidget(Data5Edit, 1);
    payload->addWidget(new QLabel(QStringLiteral("10 03 CRC"), frame));
    auto* frameLayout = new QVBoxLayout(frame);
    frameLayout->addLayout(header);
    frameLayout->addLayout(payload);
    frameLayout->addWidget(CRCErrorCheckBox);
    frameLayout->addWidget(MLMCB);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(frame);
    setMinimumWidth(420);
    SetWindowRules(true, false);

    connect(TxButton, &QPushButton::clicked, this, &TSSPForm::TxButtonClick);
    connect(MLMCB, &QCheckBox::toggled, this, &TSSPForm::MLMCBClick);
    connect(CRCErrorCheckBox, &QCheckBox::toggled, this, &TSSPForm::CrcErrorChanged);
}

void TSSPForm::FillRequest(map27::SendRequest& request) const {
    request.data1Text = Data1Edit->text().toStdString();
    request.data2Text = Data2Edit->text().toStdString();
    request.data3Text = Data3Edit->text().toStdString();
    request.data4Text = Data4Edit->text().toStdString();
    request.data5Text = Data5Edit->text().toStdString();
    request.makeLtMessage = MLMCB->isChecked();
}

bool TSSPForm::CrcErrorChecked() const {
    return CRCErrorCheckBox->isChecked();
}

void TSSPForm::ShowSentHeader(const std::array<std::uint8_t, 4>& header) {
    Data2Edit->setText(HexByte(header[1]));
    Data3Edit->setText(HexByte(header[2]));
    Data4Edit->setText(HexByte(header[3]));
}

void TSSPForm::TxButtonClick() {
    RequestSend(map27::SendKind::TestFrame);
}

// An LT message takes V(S) and AR from the link, so those fields only show what went out.
void TSSPForm::MLMCBClick(bool checked) {
    if (checked) {
        Data1Edit->setText(QStringLiteral("04"));
        for (QLineEdit* edit : {Data2Edit, Data3Edit, Data4Edit}) {
            edit->setText(QStringLiteral("??"));
            edit->setEnabled(false);
        }
        return;
    }
    Data2Edit->setText(QStringLiteral("01"));
    Data3Edit->setText(QStringLiteral("01"));
    Data4Edit->setText(QStringLiteral("00"));
    for (QLineEdit* edit : {Data2Edit, Data3Edit, Data4Edit}) edit->setEnabled(true);
}

// The checksum errors last only while the window can be seen.
void TSSPForm::hideEvent(QHideEvent* event) {
    TMessageForm::hideEvent(event);
    if (!event->spontaneous()) CRCErrorCheckBox->setChecked(false);
}
