#pragma once
// A scroll bar that costs almost nothing while a log grows under it. A log that grows by a few
// lines a batch moves the handle by less than a pixel, yet a plain scroll bar repaints itself,
// gradients and all, on every batch, and the scroll area repaints both of its bars each time their
// range changes; on a busy line that was a large share of the window's whole drawing cost. This
// one asks for a repaint only when what it draws changes (the handle's place or size, an end
// reached or left), and draws its groove and its handle from pictures of their last drawing: their
// gradients over long stretches are the costly part (spread over a thread pool, with a wake-up of
// each pool thread a paint); a handle that only moved is its picture, moved.
#include <QPixmap>
#include <QRect>
#include <QScrollBar>

class QStyleOptionSlider;

namespace desktop {

class QuietScrollBar : public QScrollBar {
public:
    explicit QuietScrollBar(Qt::Orientation orientation, QWidget* parent = nullptr);

protected:
    void sliderChange(SliderChange change) override;
    void paintEvent(QPaintEvent* event) override;

private:
    // Everything the drawing of a bar at rest depends on.
    struct Drawn {
        QRect handle;
        bool atMinimum = false;
        bool atMaximum = false;
        QSize size;
        int state = 0;
        qint64 palette = 0;
        const void* style = nullptr;
        qreal pixelRatio = 1;
        bool operator==(const Drawn&) const = default;
    };
    Drawn WouldDraw(const QStyleOptionSlider& option) const;
    Drawn WouldDraw() const;
    // What the pictures of the groove and of the handle depend on.
    static Drawn GrooveOf(Drawn drawn);
    static Drawn HandleOf(Drawn drawn);

    Drawn drawn_;
    // The bar at rest as drawn_ describes it, without handle and arrows, and its handle alone as
    // drawn at handleDrawnAt_; null while not kept.
    QPixmap groove_;
    QPixmap handle_;
    QRect handleDrawnAt_;
    bool painted_ = false;
    bool checkQueued_ = false;
};

}  // namespace desktop
