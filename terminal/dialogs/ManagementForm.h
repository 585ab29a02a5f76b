#pragma once
// "Radio Personality and Management ": what the radio says about itself, the facility and coding
// boxes, and the three buttons that read and write the radio's settings.
#include <array>

#include "map27/network/Network.h"
#include "terminal/dialogs/MessageForm.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QPushButton;

class TManagementForm : public TMessageForm {
    Q_OBJECT
public:
    explicit TManagementForm(QWidget* parent = nullptr);
    void FillRequest(map27::SendRequest& request) const override;  // controlsBits, codingsBits
    // Personality answer: the labels, and which boxes are enabled; never a check mark.
    void ApplyPersonality(const map27::PersonalityUpdate& update);
    // Settings answer: which boxes are checked; never the enabled states.
    void ApplyRadioSettings(const map27::SettingsUpdate& update);

public slots:
    void ReadPersonalityButtonClick();  // Radio Interrogation, "Personality request"
    void ReadSettingButtonClick();      // Radio Interrogation, "Status of radio settings"
    void WriteSettingButtonClick();     // Radio Management from the fifteen boxes
    void FacilityGroupClick();          // enables the eight facility boxes

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLabel* PfixLabel;
    QLabel* IdentLabel;
    QLabel* MCodeLabel;
    QLabel* MNoLabel;
    QLabel* SNoLabel;
    QGroupBox* FacilityGroup;
    QGroupBox* CodingGroup;
    std::array<QCheckBox*, 8> facilityBoxes_{};  // VoiceCB (bit 7) .. SDMCB (bit 0)
    std::array<QCheckBox*, 7> codingBoxes_{};    // BCDasACB (bit 7) .. EightCB (bit 1)
    QLabel* CautionLabel;
    QPushButton* ReadPersonalityButton;
    QPushButton* ReadSettingButton;
    QPushButton* WriteSettingButton;
};
