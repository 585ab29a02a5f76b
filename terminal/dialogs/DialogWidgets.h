#pragma once
// Small pieces the dialogs share: a captioned group of radio buttons, the row of eight bit boxes
// CB7..CB0 with its bit-number label, and the string-to-integer rules of the number fields.
#include <QGroupBox>
#include <QStringList>
#include <QWidget>
#include <cstdint>

class QButtonGroup;
class QCheckBox;
class QLabel;
class QRadioButton;
class QString;

// A group box with one radio button per item, top to bottom. ItemIndex is -1 while none is chosen.
class TRadioGroup : public QGroupBox {
    Q_OBJECT
public:
    TRadioGroup(const QString& objectName, const QString& caption, const QStringList& items,
                int defaultIndex, QWidget* parent = nullptr);
    int ItemIndex() const;
    void SetItemIndex(int index);  // emits nothing
    QString ItemText(int index) const;
    void SetItemText(int index, const QString& text);
    QRadioButton* Button(int index) const;
    int Count() const;

signals:
    void Clicked(int index);  // the operator chose an item

private:
    QButtonGroup* buttons_;
};

// Eight check boxes CB7 (left) .. CB0 (right) above "7 6 5 4 3 2 1 0" in a fixed-pitch font, each
// digit under its box. Each box gives the bit its name ends in.
class TBitBoxRow : public QWidget {
    Q_OBJECT
public:
    explicit TBitBoxRow(QWidget* parent = nullptr);
    std::uint8_t Bits() const;
    // The boxes and the label together; the check marks stay as they are.
    void SetBitsEnabled(bool enabled);
    QCheckBox* Box(int bit) const;
    QLabel* BitLabel() const { return label_; }

private:
    QCheckBox* boxes_[8] = {};
    QLabel* label_ = nullptr;
};

// The ordinary rules: leading blanks, optional sign, decimal, or hexadecimal after "$" or "0x",
// 32-bit range. Throws map27::BuildError("'TEXT' is not a valid integer value").
std::int32_t DialogStrToInt(const QString& text);
