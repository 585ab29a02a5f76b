#include "terminal/dialogs/ParameterForm.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "terminal/dialogs/DialogWidgets.h"

namespace {
constexpr int kArEnable = 0;
}

TParameterForm::TParameterForm(QWidget* parent) : TMessageForm(parent) {
    setObjectName(QStringLiteral("ParameterForm"));
    setWindowTitle(QStringLiteral("Parameters"));
    setModal(true);

    auto* grid = new QGridLayout;
    rows_ = grid;
    T0Edit = AddRow("T0Edit", "T0", "(ms)", "1000", 5);
    T2Edit = AddRow("T2Edit", "T2", "(ms)", "70", 5);
    T3Edit = AddRow("T3Edit", "T3", "(ms)", "10000", 5);
    T4Edit = AddRow("T4Edit", "T4", "(ms)", "35000", 5);
    N1Edit = AddRow("N1Edit", "N1", nullptr, "127", 3);
    N2Edit = AddRow("N2Edit", "N2", nullptr, "10", 3);
    N3Edit = AddRow("N3Edit", "N3", nullptr, "3", 3);

    ARComboBox = new QComboBox(this);
    ARComboBox->setObjectName(QStringLiteral("ARComboBox"));
    ARComboBox->setEditable(true);
    ARComboBox->setInsertPolicy(QComboBox::NoInsert);
    ARComboBox->addItems({QStringLiteral("0"), QStringLiteral("1")});
    ARComboBox->setCurrentIndex(1);
    ARComboBox->setEditText(QStringLiteral("1"));
    ARComboBox->setToolTip(QStringLiteral("AR from the DTE to the DCE"));
    auto* arLabel = new QLabel(QStringLiteral("AR"), this);
    arLabel->setObjectName(QStringLiteral("ARLabel"));
    arLabel->setBuddy(ARComboBox);
    const int arRow = grid->rowCount();
    grid->addWidget(arLabel, arRow, 0);
    grid->addWidget(ARComboBox, arRow, 1);

    ArRadioGroup = new TRadioGroup(QStringLiteral("ArRadioGroup"), QStringLiteral("AR function"),
                                   {QStringLiteral("Enable"), QStringLiteral("Disable")}, 1, this);
    ArRadioGroup->setToolTip(QStringLiteral("\"Disable\" : Always use the T2"));
    RadioGroupST = new TRadioGroup(QStringLiteral("RadioGroupST"), QStringLiteral("SST/MST"),
                                   {QStringLiteral("Auto select"), QStringLiteral("Only use SST"),
                                    QStringLiteral("Only use MST")},
                                   0, this);
    OKButton = new QPushButton(QStringLiteral("OK"), this);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setDefault(true);

    auto* groups = new QHBoxLayout;
    groups->addWidget(ArRadioGroup);
    groups->addWidget(RadioGroupST);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OKButton);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(groups);
    layout->addLayout(buttons);
    SetWindowRules(false, false);

    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);
}

QLineEdit* TParameterForm::AddRow(const char* name, const char* label, const char* unit,
                                  const char* text, int maxLength) {
    auto* edit = new QLineEdit(QString::fromLatin1(text), this);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setMaxLength(maxLength);
    auto* caption = new QLabel(QString::fromLatin1(label), this);
    caption->setObjectName(
        QString::fromLatin1(name).replace(QStringLiteral("Edit"), QStringLiteral("Label")));
    caption->setBuddy(edit);
    const int row = rows_->rowCount();
    rows_->addWidget(caption, row, 0);
    rows_->addWidget(edit, row, 1);
    if (unit != nullptr) rows_->addWidget(new QLabel(QString::fromLatin1(unit), this), row, 2);
    return edit;
}

map27::LinkParameterTexts TParameterForm::ParameterTexts() const {
    map27::LinkParameterTexts texts;
    texts.n1 = N1Edit->text().toStdString();
    texts.n2 = N2Edit->text().toStdString();
    texts.n3 = N3Edit->text().toStdString();
    texts.t0 = T0Edit->text().toStdString();
    texts.t2 = T2Edit->text().toStdString();
    texts.t3 = T3Edit->text().toStdString();
    texts.t4 = T4Edit->text().toStdString();
    return texts;
}

bool TParameterForm::ArFunctionEnabled() const {
    return ArRadioGroup->ItemIndex() == kArEnable;
}

void TParameterForm::FillRequest(map27::SendRequest& request) const {
    request.arText = ARComboBox->currentText().toStdString();
    request.sstMstItem = RadioGroupST->ItemIndex();
}
