#include "engineer/Controls.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QRadioButton>
#include <QScreen>

void CenterOnScreen(QWidget* window) {
    const QScreen* screen = window->screen();
    if (screen == nullptr) return;
    QRect frame = window->frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    window->move(frame.topLeft());
}

QFont TimesFont(int pixelSize, bool bold) {
    QFont font(QStringLiteral("Times New Roman"));
    font.setStyleHint(QFont::Serif);
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

TRadioGroup::TRadioGroup(const QString& caption, const QStringList& items, int columns,
                         QWidget* parent)
    : QGroupBox(caption, parent), group_(new QButtonGroup(this)) {
    auto* layout = new QGridLayout(this);
    layout->setContentsMargins(8, 2, 8, 2);
    layout->setVerticalSpacing(0);
    const int rows = (static_cast<int>(items.size()) + columns - 1) / columns;
    for (int i = 0; i < items.size(); ++i) {
        auto* button = new QRadioButton(items[i], this);
        group_->addButton(button, i);
        layout->addWidget(button, i % rows, i / rows);  // filled column by column
        buttons_.push_back(button);
    }
    connect(group_, &QButtonGroup::idClicked, this, [this](int) { emit Click(); });
}

int TRadioGroup::ItemIndex() const {
    return group_->checkedId();
}

void TRadioGroup::SetItemIndex(int index) {
    if (index >= 0 && index < Count()) {
        buttons_[static_cast<std::size_t>(index)]->setChecked(true);
    } else if (QAbstractButton* checked = group_->checkedButton()) {
        group_->setExclusive(false);
        checked->setChecked(false);
        group_->setExclusive(true);
    }
}

QRadioButton* TRadioGroup::Button(int index) const {
    return index >= 0 && index < Count() ? buttons_[static_cast<std::size_t>(index)] : nullptr;
}
