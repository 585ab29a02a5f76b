#include "desktop/QuietScrollBar.h"

#include <QGuiApplication>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionSlider>

namespace desktop {
namespace {

// Small, and drawn over the groove in the style's own order.
const QStyle::SubControls kDrawnLive =
    QStyle::SC_ScrollBarSlider | QStyle::SC_ScrollBarAddLine | QStyle::SC_ScrollBarSubLine;

}  // namespace

QuietScrollBar::QuietScrollBar(Qt::Orientation orientation, QWidget* parent)
    : QScrollBar(orientation, parent) {}

QuietScrollBar::Drawn QuietScrollBar::WouldDraw(const QStyleOptionSlider& option) const {
    return {style()->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarSlider, this),
            value() == minimum(),
            value() == maximum(),
            size(),
            static_cast<int>(option.state),
            palette().cacheKey(),
            style(),
            devicePixelRatio()};
}

QuietScrollBar::Drawn QuietScrollBar::WouldDraw() const {
    QStyleOptionSlider option;
    initStyleOption(&option);
    return WouldDraw(option);
}

void QuietScrollBar::sliderChange(SliderChange change) {
    if (!painted_) {
        QScrollBar::sliderChange(change);
        return;
    }
    // Judged once the change is whole: a new range alone leaves the value short of a new
    // maximum until the view follows it a moment later.
    if (checkQueued_) return;
    checkQueued_ = true;
    QMetaObject::invokeMethod(
        this,
        [this, change] {
            checkQueued_ = false;
            if (WouldDraw() != drawn_) QScrollBar::sliderChange(change);
        },
        Qt::QueuedConnection);
}

void QuietScrollBar::paintEvent(QPaintEvent* event) {
    painted_ = true;
    // Hovered or pressed, the bar shows states that only the plain drawing knows.
    if (underMouse() || isSliderDown() || QGuiApplication::mouseButtons() != Qt::NoButton) {
        groove_ = QPixmap();
        drawn_ = WouldDraw();
        QScrollBar::paintEvent(event);
        return;
    }
    QStyleOptionSlider option;
    initStyleOption(&option);
    option.activeSubControls = QStyle::SC_None;
    const Drawn now = WouldDraw(option);
    Drawn grooveNow = now;
    Drawn grooveThen = drawn_;
    grooveNow.handle = grooveThen.handle = QRect();
    if (groove_.isNull() || grooveNow != grooveThen) {
        groove_ = QPixmap(size() * devicePixelRatio());
        groove_.setDevicePixelRatio(devicePixelRatio());
        groove_.fill(Qt::transparent);
        QPainter painter(&groove_);
        option.subControls = QStyle::SubControls(QStyle::SC_All) & ~kDrawnLive;
        style()->drawComplexControl(QStyle::CC_ScrollBar, &option, &painter, this);
    }
    drawn_ = now;
    QPainter painter(this);
    painter.drawPixmap(0, 0, groove_);
    option.subControls = kDrawnLive;
    style()->drawComplexControl(QStyle::CC_ScrollBar, &option, &painter, this);
}

}  // namespace desktop
