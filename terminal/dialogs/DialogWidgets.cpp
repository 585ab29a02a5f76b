#include "DialogWidgets.h"

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

#include "LinkInterfaces.h"
#ifdef HALBERD_HAVE_MAP27_NETWORK
#include "Network.h"
#endif

TRadioGroup::TRadioGroup(const QString& objectName, const QString& caption, const QStringList& items,
                         int defaultIndex, QWidget* parent)
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

int TRadioGroup::ItemIndex() const { return buttons_->checkedId(); }

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

int TRadioGroup::Count() const { return static_cast<int>(buttons_->buttons().size()); }

TBitBoxRow::TBitBoxRow(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("BitBoxRow"));
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setHorizontalSpacing(0);
    QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
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

QCheckBox* TBitBoxRow::Box(int bit) const { return bit >= 0 && bit < 8 ? boxes_[bit] : nullptr; }

#ifdef HALBERD_HAVE_MAP27_NETWORK
std::int32_t DialogStrToInt(const QString& text) { return map27::StrToInt(text.toStdString()); }
#else
// Until the network library is built alongside, the same rules as its StrToInt.
std::int32_t DialogStrToInt(const QString& text) {
    const std::string s = text.toStdString();
    const auto fail = [&s]() { return map27::BuildError("'" + s + "' is not a valid integer value"); };
    std::size_t i = 0;
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
    unsigned base = 10;
    if (i < s.size() && s[i] == '$') {
        base = 16;
        ++i;
    } else if (i + 1 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i == s.size()) throw fail();
    std::uint64_t value = 0;
    for (; i < s.size(); ++i) {
        const char c = s[i];
        unsigned digit = 0;
        if (c >= '0' && c <= '9') digit = static_cast<unsigned>(c - '0');
        else if (base == 16 && c >= 'a' && c <= 'f') digit = static_cast<unsigned>(c - 'a' + 10);
        else if (base == 16 && c >= 'A' && c <= 'F') digit = static_cast<unsigned>(c - 'A' + 10);
        else throw fail();
        value = value * base + digit;
        if (value > 0xFFFFFFFFULL) throw fail();
    }
    // Decimal must fit a signed 32-bit number; hexadecimal may use all 32 bits.
    if (base == 10 && value > (negative ? 0x80000000ULL : 0x7FFFFFFFULL)) throw fail();
    const auto bits = static_cast<std::uint32_t>(value);
    const auto magnitude = static_cast<std::int64_t>(static_cast<std::int32_t>(bits));
    const std::int64_t result = base == 16 ? magnitude : static_cast<std::int64_t>(value);
    return static_cast<std::int32_t>(negative ? -result : result);
}
#endif
