#include "terminal/dialogs/VersionForm.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

// A lattice mast with its aerial on top, standing in a box of the given size.
void DrawMast(QPainter& painter, const QRectF& box, const QColor& colour) {
    const qreal base = box.bottom();
    const qreal top = box.top() + box.height() * 0.25;
    const qreal cx = box.center().x();
    const qreal half = box.width() * 0.22;
    painter.setPen(QPen(colour, qMax<qreal>(1.0, box.width() / 24.0), Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(cx - half, base), QPointF(cx, top));
    painter.drawLine(QPointF(cx + half, base), QPointF(cx, top));
    const int rungs = 4;
    for (int i = 1; i <= rungs; ++i) {
        const qreal t = static_cast<qreal>(i) / (rungs + 1);
        const qreal y = base - (base - top) * t;
        const qreal w = half * (1.0 - t);
        painter.drawLine(QPointF(cx - w, y), QPointF(cx + w, y));
    }
    const qreal tip = box.top() + box.height() * 0.12;
    painter.drawLine(QPointF(cx, top), QPointF(cx, tip));
    painter.setBrush(colour);
    const qreal r = box.width() / 16.0;
    painter.drawEllipse(QPointF(cx, tip), r, r);
    // Waves leaving the aerial on both sides.
    painter.setBrush(Qt::NoBrush);
    for (int i = 1; i <= 3; ++i) {
        const qreal radius = box.width() * 0.12 * i;
        const QRectF arc(cx - radius, tip - radius, 2 * radius, 2 * radius);
        painter.drawArc(arc, -40 * 16, 80 * 16);
        painter.drawArc(arc, 140 * 16, 80 * 16);
    }
}

}  // namespace

QPixmap TVersionForm::DrawBanner(int width, int height) {
    QPixmap pixmap(width, height);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, height);
    sky.setColorAt(0.0, QColor(18, 40, 90));
    sky.setColorAt(1.0, QColor(70, 130, 200));
    painter.fillRect(pixmap.rect(), sky);
    // Hills along the bottom, a mast on each.
    QPainterPath hills;
    hills.moveTo(0, height);
    hills.cubicTo(width * 0.25, height * 0.55, width * 0.45, height * 0.95, width * 0.7,
                  height * 0.7);
    hills.cubicTo(width * 0.85, height * 0.6, width * 0.95, height * 0.8, width, height * 0.75);
    hills.lineTo(width, height);
    hills.closeSubpath();
    painter.fillPath(hills, QColor(30, 70, 45));
    DrawMast(painter, QRectF(width * 0.08, height * 0.05, height * 0.7, height * 0.75),
             QColor(240, 240, 240));
    DrawMast(painter, QRectF(width * 0.78, height * 0.22, height * 0.45, height * 0.5),
             QColor(220, 220, 220));
    QFont font = painter.font();
    font.setBold(true);
    font.setPixelSize(qMax(10, height / 3));
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(QRectF(0, 0, width, height * 0.7), Qt::AlignCenter,
                     QStringLiteral("Talvane27"));
    painter.end();
    return pixmap;
}

QPixmap TVersionForm::DrawIcon(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(18, 40, 90));
    painter.drawRoundedRect(QRectF(0, 0, size, size), size / 6.0, size / 6.0);
    DrawMast(painter, QRectF(size * 0.15, size * 0.08, size * 0.7, size * 0.84),
             QColor(255, 200, 40));
    painter.end();
    return pixmap;
}

TVersionForm::TVersionForm(QWidget* parent) : TDialogForm(parent) {
    setObjectName(QStringLiteral("VersionForm"));
    setWindowTitle(QStringLiteral("VersionForm"));
    setModal(true);

    auto* banner = new QLabel(this);
    banner->setObjectName(QStringLiteral("BannerImage"));
    banner->setPixmap(DrawBanner(360, 90));
    auto* icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("ProgramIcon"));
    icon->setPixmap(DrawIcon(48));
    setWindowIcon(QIcon(DrawIcon(32)));
    auto* version = new QLabel(QStringLiteral("Talvane27 Version 2.00a"), this);
    version->setObjectName(QStringLiteral("VersionLabel"));
    auto* date = new QLabel(QStringLiteral("Release Date October 9, 1998"), this);
    date->setObjectName(QStringLiteral("DateLabel"));
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("OKButton"));
    ok->setDefault(true);

    auto* texts = new QVBoxLayout;
    texts->addWidget(version);
    texts->addWidget(date);
    auto* middle = new QHBoxLayout;
    middle->addWidget(icon);
    middle->addLayout(texts, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(banner);
    layout->addLayout(middle);
    layout->addLayout(buttons);
    SetWindowRules(false, false);

    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}
