#include "terminal/dialogs/DialogWidgets.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGridLayout>
#include <QLabel>
#include <QRadioButton>
#include <QStyle>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "map27/link/LinkInterfaces.h"
#include "map27/network/Network.h"

TRadioGroup::TRadioGroup(const QString& objectName, const QString& caption,
                         const QStringList& items, int defaultIndex, QWidget* parent)
    : QGroupBox(caption, parent), buttons_(new QButtonGroup(this)) {
    setObjectName(objectName);
    auto* layout = new QVBoxLayout(this);
    for (int i = 0; i < items.size(); ++i) {
        auto* button = new QRadioButton(items[i], this);
        button->setObjectName(QStringLiteral("%1_%2").arg(objectName).arg(i));
        buttons_->addButton(button, i);
        layout->addWidget(button);
    }
    SetItemIndex(defaultIndex);
    connect(buttons_, &QButtonGroup::idClicked, this, &TRadioGroup::Clicked);
}

int TRadioGroup::ItemIndex() const {
    return buttons_->checkedId();
}

void TRadioGroup::SetItemIndex(int index) {
    if (QAbstractButton* button = buttons_->button(index)) {
        button->setChecked(true);
        return;
    }
    // No item: an exclusive group cannot uncheck its last button, so lift the rule for a moment.
    buttons_->setExclusive(false);
    for (QAbstractButton* button : buttons_->buttons()) button->setChecked(false);
    buttons_->setExclusive(true);
}

QString TRadioGroup::ItemText(int index) const {
    QAbstractButton* button = buttons_->button(index);
    return button != nullptr ? button->text() : QString();
}

void TRadioGroup::SetItemText(int index, const QString& text) {
    if (QAbstractButton* button = buttons_->button(index)) button->setText(text);
}

QRadioButton* TRadioGroup::Button(int index) const {
    return qobject_cast<QRadioButton*>(buttons_->button(index));
}

int TRadioGroup::Count() const {
    return static_cast<int>(buttons_->buttons().size());
}

TBitBoxRow::TBitBoxRow(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("BitBoxRow"));
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setHorizontalSpacing(0);
    QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    // Some monospace fonts do not say so of themselves (Qt takes Noto Sans Mono for proportional);
    // asking for a fixed pitch keeps the digits under their boxes wherever a fixed font exists.
    fixed.setStyleHint(QFont::TypeWriter);
    fixed.setFixedPitch(true);
    const qreal advance = QFontMetricsF(fixed).horizontalAdvance(QLatin1Char('0'));
    const int indicator = style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, this);
    // Each box stands in a column as wide as a digit and its blank (or the box, if wider); the
    // label's letters are spaced to the same pitch and shifted to the middle of the box, so each
    // digit stands under its box.
    const int column = std::max(static_cast<int>(std::ceil(2 * advance)), indicator + 4);
    fixed.setLetterSpacing(QFont::AbsoluteSpacing, column / 2.0 - advance);
    for (int bit = 7; bit >= 0; --bit) {
        auto* box = new QCheckBox(this);
        box->setObjectName(QStringLiteral("CB%1").arg(bit));
        box->setFixedWidth(column);
        boxes_[bit] = box;
        grid->addWidget(box, 0, 7 - bit, Qt::AlignLeft);
    }
    label_ = new QLabel(QStringLiteral("7 6 5 4 3 2 1 0"), this);
    label_->setObjectName(QStringLiteral("BitLabel"));
    label_->setFont(fixed);
    label_->setIndent(0);
    label_->setContentsMargins(std::max(0, static_cast<int>((indicator - advance) / 2)), 0, 0, 0);
    grid->addWidget(label_, 1, 0, 1, 8, Qt::AlignLeft);
    grid->setColumnStretch(8, 1);
}

std::uint8_t TBitBoxRow::Bits() const {
    unsigned bits = 0;
    for (int bit = 0; bit < 8; ++bit)
        if (boxes_[bit]->isChecked()) bits |= 1U << bit;
    return static_cast<std::uint8_t>(bits);
}

void TBitBoxRow::SetBitsEnabled(bool enabled) {
    for (QCheckBox* box : boxes_) box->setEnabled(enabled);
    label_->setEnabled(enabled);
}

QCheckBox* TBitBoxRow::Box(int bit) const {
    return bit >= 0 && bit < 8 ? boxes_[bit] : nullptr;
}

std::int32_t DialogStrToInt(const QString& text) {
    return map27::StrToInt(text.toStdString());
}
