#pragma once
// "VOLUME CONTROL": every change of the level text and each button sends Volume Control; the
// command byte goes out as the signal's extra.
#include <cstdint>

#include "terminal/dialogs/MessageForm.h"

class QComboBox;
class QPushButton;
class TRadioGroup;

namespace VolumeCommand {
inline constexpr int Up = 0x01;
inline constexpr int Down = 0x02;
inline constexpr int Preset = 0x04;
inline constexpr int Reset = 0x05;
// A level: the low four bits in the high nibble, 3 in the low nibble (level 12 gives 0xC3).
constexpr int Level(int level) {
    return 0x03 + 16 * (level & 0x0F);
}
}  // namespace VolumeCommand

class TVCForm : public TMessageForm {
    Q_OBJECT
public:
    explicit TVCForm(QWidget* parent = nullptr);
    void FillRequest(map27::SendRequest& request) const override;

public slots:
    void VolumeComboBoxChange(
        const QString& text);  // throws BuildError for a text that is no number
    void UpButtonClick();
    void DownButtonClick();
    void PresetButtonClick();
    void ResetButtonClick();

private:
    void SendVolume(int command);

    QComboBox* VolumeComboBox;
    QPushButton* UpButton;
    QPushButton* DownButton;
    QPushButton* PresetButton;
    QPushButton* ResetButton;
    TRadioGroup* CPRadioGroup;
    std::uint8_t lastCommand_ = 0;
};
