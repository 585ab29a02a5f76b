#include "terminal/dialogs/VCForm.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "terminal/dialogs/DialogWidgets.h"

TVCForm::TVCForm(QWidget* parent) : TMessageForm(parent) {
    setObjectName(QStringLiteral("VCForm"));
    setWindowTitle(QStringLiteral("VOLUME CONTROL"));

    VolumeComboBox = new QComboBox(this);
    VolumeComboBox->setObjectName(QStringLiteral("VolumeComboBox"));
    VolumeComboBox->setEditable(true);
    VolumeComboBox->setInsertPolicy(QComboBox::NoInsert);
    for (int level = 0; level <= 15; ++level) VolumeComboBox->addItem(QString::number(level));
    VolumeComboBox->setCurrentIndex(-1);
    VolumeComboBox->setEditText(QStringLiteral("?"));

    auto makeButton = [this](const char* name, const char* caption) {
        auto* button = new QPushButton(QString::fromLatin1(caption), this);
        button->setObjectName(QString::fromLatin1(name));
        return button;
    };
    UpButton = makeButton("UpButton", "Up");
    DownButton = makeButton("DownButton", "Down");
    PresetButton = makeButton("PresetButton", "Set to preset");
    ResetButton = makeButton("ResetButton", "Reset");
    CPRadioGroup =
        new TRadioGroup(QStringLiteral("CPRadioGroup"), QStringLiteral("CONTROL POINT"),
                        {QStringLiteral("Modem audio path"), QStringLiteral("Alert tones"),
                         QStringLiteral("Normal speech audio path")},
                        2, this);

    auto* grid = new QGridLayout;
    auto* levelLabel = new QLabel(QStringLiteral("Volume"), this);
    levelLabel->setBuddy(VolumeComboBox);
    grid->addWidget(levelLabel, 0, 0);
    grid->addWidget(VolumeComboBox, 0, 1);
    grid->addWidget(UpButton, 1, 0);
    grid->addWidget(DownButton, 1, 1);
    grid->addWidget(PresetButton, 2, 0);
    grid->addWidget(ResetButton, 2, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(CPRadioGroup);
    SetWindowRules(true, false);

    // Every change of the text, a pick or a keystroke, asks for a send.
    connect(VolumeComboBox, &QComboBox::currentTextChanged, this,
            [this](const QString& text) { RaiseErrorsLater([&] { VolumeComboBoxChange(text); }); });
    connect(UpButton, &QPushButton::clicked, this, &TVCForm::UpButtonClick);
    connect(DownButton, &QPushButton::clicked, this, &TVCForm::DownButtonClick);
    connect(PresetButton, &QPushButton::clicked, this, &TVCForm::PresetButtonClick);
    connect(ResetButton, &QPushButton::clicked, this, &TVCForm::ResetButtonClick);
}

void TVCForm::FillRequest(map27::SendRequest& request) const {
    request.controlPointItem = CPRadioGroup->ItemIndex();
    request.volumeCommand = lastCommand_;
}

void TVCForm::VolumeComboBoxChange(const QString& text) {
    if (!LinkUp()) return;
    SendVolume(VolumeCommand::Level(DialogStrToInt(text)));  // a text that is no number throws
}

void TVCForm::UpButtonClick() {
    SendVolume(VolumeCommand::Up);
}
void TVCForm::DownButtonClick() {
    SendVolume(VolumeCommand::Down);
}
void TVCForm::PresetButtonClick() {
    SendVolume(VolumeCommand::Preset);
}
void TVCForm::ResetButtonClick() {
    SendVolume(VolumeCommand::Reset);
}

void TVCForm::SendVolume(int command) {
    if (!LinkUp()) return;
    lastCommand_ = static_cast<std::uint8_t>(command);
    RequestSend(map27::SendKind::VolumeControl, command);
}
