#include "desktop/QuietScrollBar.h"

#include <QGuiApplication>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionSlider>

namespace desktop {
namespace {

// Drawn in the style's own order: the groove, the handle, then the arrows (small, drawn each time).
const QStyle::SubControls kHandle = QStyle::SC_ScrollBarSlider;
const QStyle::SubControls kArrows = QStyle::SC_ScrollBarAddLine | QStyle::SC_ScrollBarSubLine;

}  // namespace

QuietScrollBar::QuietScrollBar(Qt::Orientation orientation, QWidget* parent)
    : QScrollBar(orientation, parent) {}

QuietScrollBar::Drawn QuietScrollBar::WouldDraw(const QStyleOptionSlider& option) const {
    return {
        style()->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarSlider, this),
        value() == minimum(),
        value() == maximum(),
        size(),
        static_cast<int>(option.state),
        palette().cacheKey(),
        style(),
        devicePixelRatio()};
}

QuietScrollBar::Drawn QuietScrollBar::GrooveOf(Drawn drawn) {
    drawn.handle = QRect();
    return drawn;
}

QuietScrollBar::Drawn QuietScrollBar::HandleOf(Drawn drawn) {
    drawn.handle.moveTopLeft(QPoint());
    drawn.atMinimum = drawn.atMaximum = false;
    return drawn;
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
        groove_ = handle_ = QPixmap();
        drawn_ = WouldDraw();
        QScrollBar::paintEvent(event);
        return;
    }
    QStyleOptionSlider option;
    initStyleOption(&option);
    option.activeSubControls = QStyle::SC_None;
    const Drawn now = WouldDraw(option);
    const auto picture = [&](QPixmap& into, QStyle::SubControls parts) {
        into = QPixmap(size() * devicePixelRatio());
        into.setDevicePixelRatio(devicePixelRatio());
        into.fill(Qt::transparent);
        QPainter painter(&into);
        option.subControls = parts;
        style()->drawComplexControl(QStyle::CC_ScrollBar, &option, &painter, this);
    };
    if (groove_.isNull() || GrooveOf(now) != GrooveOf(drawn_))
        picture(groove_, QStyle::SubControls(QStyle::SC_All) & ~(kHandle | kArrows));
    // The handle looks the same wherever it stands: a moved one is its picture, moved.
    if (handle_.isNull() || HandleOf(now) != HandleOf(drawn_)) {
        picture(handle_, kHandle);
        handleDrawnAt_ = now.handle;
    }
    drawn_ = now;

    QPainter painter(this);
    painter.drawPixmap(0, 0, groove_);
    // A margin for what the style draws just outside the handle's rectangle.
    const QRect from = handleDrawnAt_.adjusted(-2, -2, 2, 2) & rect();
    const QPoint by = now.handle.topLeft() - handleDrawnAt_.topLeft();
    const qreal ratio = devicePixelRatio();
    painter.drawPixmap(
        QRectF(from.translated(by)), handle_,
        QRectF(from.x() * ratio, from.y() * ratio, from.width() * ratio, from.height() * ratio));
    option.subControls = kArrows;
    style()->drawComplexControl(QStyle::CC_ScrollBar, &option, &painter, this);
}

}  // namespace desktop
