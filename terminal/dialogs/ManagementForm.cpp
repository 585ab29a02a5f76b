#include "terminal/dialogs/ManagementForm.h"

#include <QCheckBox>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr int kPersonalityRequest = 0;
constexpr int kStatusOfRadioSettings = 2;

struct BoxName {
    const char* name;
    const char* caption;
};
// Top to bottom, bit 7 first.
constexpr BoxName kFacilityBoxes[8] = {{"VoiceCB", "Voice call"},
                                       {"ModemCB", "Modem call"},
                                       {"StatusCB", "Status message"},
                                       {"SSTCB", "SST message"},
                                       {"MSTCB", "MST message"},
                                       {"DiversionCB", "Diversion call"},
                                       {"CallbackCB", "Call-back logging"},
                                       {"SDMCB", "MPT1327 SDM"}};
constexpr BoxName kCodingBoxes[7] = {{"BCDasACB", "BCD as ASCII"}, {"TelexasACB", "Telex as ASCII"},
                                     {"BinaryCB", "Binary"},       {"BCDCB", "BCD"},
                                     {"TelexCB", "Telex"},         {"SevenCB", "7bit ASCII"},
                                     {"EightCB", "8bit ASCII"}};

// Box i of a column stands for bit 7 - i.
bool BitOf(std::uint8_t bits, std::size_t i) {
    return ((bits >> (7 - i)) & 1U) != 0;
}

QLabel* AddValueLine(QGridLayout* grid, QWidget* parent, const char* caption, const char* name) {
    const int row = grid->rowCount();
    grid->addWidget(new QLabel(QString::fromLatin1(caption), parent), row, 0);
    auto* value = new QLabel(QStringLiteral("Not read"), parent);
    value->setObjectName(QString::fromLatin1(name));
    grid->addWidget(value, row, 1);
    return value;
}

}  // namespace

TManagementForm::TManagementForm(QWidget* parent) : TMessageForm(parent) {
    setObjectName(QStringLiteral("ManagementForm"));
    setWindowTitle(QStringLiteral("Radio Personality and Management "));

    auto* values = new QGridLayout;
    PfixLabel = AddValueLine(values, this, "PREFIX : ", "PfixLabel");
    IdentLabel = AddValueLine(values, this, "IDENT : ", "IdentLabel");
    MCodeLabel = AddValueLine(values, this, "Manufacturer's CODE : ", "MCodeLabel");
    MNoLabel = AddValueLine(values, this, "Model No. : ", "MNoLabel");
    SNoLabel = AddValueLine(values, this, "Serial No. : ", "SNoLabel");

    FacilityGroup = new QGroupBox(QStringLiteral("Facility support"), this);
    FacilityGroup->setObjectName(QStringLiteral("FacilityGroup"));
    auto* facilityLayout = new QVBoxLayout(FacilityGroup);
    for (std::size_t i = 0; i < facilityBoxes_.size(); ++i) {
        auto* box = new QCheckBox(QString::fromLatin1(kFacilityBoxes[i].caption), FacilityGroup);
        box->setObjectName(QString::fromLatin1(kFacilityBoxes[i].name));
        facilityLayout->addWidget(box);
        facilityBoxes_[i] = box;
    }
    CodingGroup = new QGroupBox(QStringLiteral("Coding support"), this);
    CodingGroup->setObjectName(QStringLiteral("CodingGroup"));
    auto* codingLayout = new QVBoxLayout(CodingGroup);
    for (std::size_t i = 0; i < codingBoxes_.size(); ++i) {
        auto* box = new QCheckBox(QString::fromLatin1(kCodingBoxes[i].caption), CodingGroup);
        box->setObjectName(QString::fromLatin1(kCodingBoxes[i].name));
        codingLayout->addWidget(box);
        codingBoxes_[i] = box;
    }
    codingLayout->addStretch();

    CautionLabel = new QLabel(QStringLiteral("*"), this);
    CautionLabel->setObjectName(QStringLiteral("CautionLabel"));
    auto makeButton = [this](const char* name, const char* caption) {
        auto* button = new QPushButton(QString::fromLatin1(caption), this);
        button->setObjectName(QString::fromLatin1(name));
        return button;
    };
    ReadPersonalityButton = makeButton("ReadPersonalityButton", "Read Personality");
    ReadSettingButton = makeButton("ReadSettingButton", "Read Setting");
    WriteSettingButton = makeButton("WriteSettingButton", "Write Setting");

    auto* groups = new QHBoxLayout;
    groups->addWidget(FacilityGroup);
    groups->addWidget(CodingGroup);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(ReadPersonalityButton);
    buttons->addWidget(ReadSettingButton);
    buttons->addWidget(WriteSettingButton);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(values);
    layout->addLayout(groups);
    layout->addWidget(CautionLabel);
    layout->addLayout(buttons);
    SetWindowRules(true, false);

    FacilityGroup->installEventFilter(this);
    connect(ReadPersonalityButton, &QPushButton::clicked, this,
            &TManagementForm::ReadPersonalityButtonClick);
    connect(ReadSettingButton, &QPushButton::clicked, this,
            &TManagementForm::ReadSettingButtonClick);
    connect(WriteSettingButton, &QPushButton::clicked, this,
            &TManagementForm::WriteSettingButtonClick);
}

void TManagementForm::FillRequest(map27::SendRequest& request) const {
    unsigned controls = 0;
    for (std::size_t i = 0; i < facilityBoxes_.size(); ++i)
        if (facilityBoxes_[i]->isChecked()) controls |= 0x80U >> i;
    unsigned codings = 0;
    for (std::size_t i = 0; i < codingBoxes_.size(); ++i)
        if (codingBoxes_[i]->isChecked()) codings |= 0x80U >> i;
    request.controlsBits = static_cast<std::uint8_t>(controls);
    request.codingsBits = static_cast<std::uint8_t>(codings);
}

void TManagementForm::ApplyPersonality(const map27::PersonalityUpdate& update) {
    PfixLabel->setText(QString::fromStdString(update.pfix));
    IdentLabel->setText(QString::fromStdString(update.ident));
    MCodeLabel->setText(QString::fromStdString(update.manufacturerCode));
    MNoLabel->setText(QString::fromStdString(update.model));
    SNoLabel->setText(QString::fromStdString(update.serial));
    for (std::size_t i = 0; i < facilityBoxes_.size(); ++i)
        facilityBoxes_[i]->setEnabled(BitOf(update.facilities, i));
    for (std::size_t i = 0; i < codingBoxes_.size(); ++i)
        codingBoxes_[i]->setEnabled(BitOf(update.codings, i));
}

void TManagementForm::ApplyRadioSettings(const map27::SettingsUpdate& update) {
    // All eight facility bits, SDMCB included, so "Write Setting" sends back what the radio
    // reported.
    for (std::size_t i = 0; i < facilityBoxes_.size(); ++i)
        facilityBoxes_[i]->setChecked(BitOf(update.facilities, i));
    if (!update.codings) {
        CautionLabel->setText(QStringLiteral("Caution : No codings field"));
        return;
    }
    CautionLabel->setText(QStringLiteral("*"));
    for (std::size_t i = 0; i < codingBoxes_.size(); ++i)
        codingBoxes_[i]->setChecked(BitOf(*update.codings, i));
}

void TManagementForm::ReadPersonalityButtonClick() {
    RequestSend(map27::SendKind::RadioInterrogation, kPersonalityRequest);
}

void TManagementForm::ReadSettingButtonClick() {
    RequestSend(map27::SendKind::RadioInterrogation, kStatusOfRadioSettings);
}

void TManagementForm::WriteSettingButtonClick() {
    RequestSend(map27::SendKind::RadioManagement);
}

void TManagementForm::FacilityGroupClick() {
    for (QCheckBox* box : facilityBoxes_) box->setEnabled(true);
}

// A click on the group's frame (not on one of its boxes) gives the operator back every facility box
// that a personality answer disabled.
bool TManagementForm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == FacilityGroup && event->type() == QEvent::MouseButtonRelease) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton &&
            FacilityGroup->rect().contains(mouse->position().toPoint()))
            FacilityGroupClick();
    }
    return TMessageForm::eventFilter(watched, event);
}
