#pragma once
// Small pieces the windows of Orrick share.
#include <QFont>
#include <QGroupBox>
#include <QStringList>
#include <vector>

class QButtonGroup;
class QRadioButton;

// Moves a window to the middle of the screen it is on.
void CenterOnScreen(QWidget* window);

// Times New Roman at a pixel size, the face of every text of the engineer window.
QFont TimesFont(int pixelSize, bool bold = false);

// A captioned group of radio buttons laid out in columns, addressed by the selected item's index.
class TRadioGroup : public QGroupBox {
    Q_OBJECT
public:
    TRadioGroup(const QString& caption, const QStringList& items, int columns,
                QWidget* parent = nullptr);

    // -1 when nothing is selected.
    int ItemIndex() const;
    // Selects the item; an index outside the items selects nothing. Emits nothing.
    void SetItemIndex(int index);
    QRadioButton* Button(int index) const;
    int Count() const { return static_cast<int>(buttons_.size()); }

signals:
    // The operator chose an item.
    void Click();

private:
    QButtonGroup* group_;
    std::vector<QRadioButton*> buttons_;
};
