#include "engineer/VersionForm.h"

#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPushButton>
#include <cmath>

#include "engineer/Controls.h"

namespace {

// A night-blue band with a sine trace and the program's name.
QPixmap DrawBanner() {
    QPixmap picture(249, 41);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 249, 0);
    sky.setColorAt(0.0, QColor(0x10, 0x22, 0x4a));
    sky.setColorAt(1.0, QColor(0x1f, 0x6f, 0x8b));
    painter.fillRect(picture.rect(), sky);
    QPainterPath trace;
    trace.moveTo(0, 30);
    for (int x = 0; x <= 249; x += 3) {
        trace.lineTo(x, 30 + 5 * std::sin(x / 9.0));
    }
    painter.setPen(QPen(QColor(0x7f, 0xe0, 0xd0), 1.5));
    painter.drawPath(trace);
    painter.setPen(Qt::white);
    painter.setFont(TimesFont(20, true));
    painter.drawText(QRect(8, 0, 241, 26), Qt::AlignLeft | Qt::AlignVCenter,
                     QStringLiteral("ORRICK"));
    painter.setFont(TimesFont(11));
    painter.drawText(QRect(0, 0, 243, 26), Qt::AlignRight | Qt::AlignVCenter,
                     QStringLiteral("serial terminal"));
    return picture;
}

// A mast with two radio waves on either side.
QPixmap DrawEmblem() {
    QPixmap picture(33, 33);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(QColor(0x10, 0x22, 0x4a));
    painter.setPen(Qt::NoPen);
    painter.drawRoundedRect(QRectF(0.5, 0.5, 32, 32), 5, 5);
    painter.setPen(QPen(Qt::white, 2));
    painter.drawLine(QPointF(16.5, 14), QPointF(11, 29));
    painter.drawLine(QPointF(16.5, 14), QPointF(22, 29));
    painter.drawLine(QPointF(13, 23), QPointF(20, 23));
    painter.setBrush(QColor(0x7f, 0xe0, 0xd0));
    painter.drawEllipse(QPointF(16.5, 12), 2.5, 2.5);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(QColor(0x7f, 0xe0, 0xd0), 1.5));
    for (int r : {6, 10}) {
        const QRectF ring(16.5 - r, 12 - r, 2.0 * r, 2.0 * r);
        painter.drawArc(ring, 30 * 16, 60 * 16);
        painter.drawArc(ring, 210 * 16, -60 * 16);
        painter.drawArc(ring, 150 * 16, 60 * 16);
        painter.drawArc(ring, -30 * 16, 60 * 16);
    }
    return picture;
}

}  // namespace

TVersionForm::TVersionForm(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("VersionForm"));
    setWindowTitle(QStringLiteral("Version Infomation"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setModal(true);
    setFixedSize(309, 155);

    Banner = new QLabel(this);
    Banner->setObjectName(QStringLiteral("Banner"));
    Banner->setGeometry(30, 8, 249, 41);
    Banner->setPixmap(DrawBanner());

    Emblem = new QLabel(this);
    Emblem->setObjectName(QStringLiteral("Emblem"));
    Emblem->setGeometry(30, 62, 33, 33);
    Emblem->setScaledContents(true);
    Emblem->setPixmap(DrawEmblem());

    const QFont font = TimesFont(14);
    auto makeLine = [&](const char* name, const QString& text, int top, bool bold) {
        auto* label = new QLabel(text, this);
        label->setObjectName(QString::fromLatin1(name));
        label->setFont(bold ? TimesFont(16, true) : font);
        label->setGeometry(80, top, 220, 20);
        return label;
    };
    ProductName = makeLine("ProductName", QStringLiteral("Talvane for Engineer"), 56, true);
    VersionLine = makeLine("VersionLine", QStringLiteral("Version 1.06"), 78, false);
    ReleaseDate = makeLine("ReleaseDate", QStringLiteral("Release Date  5/10/2000"), 98, false);

    OKButton = new QPushButton(QStringLiteral("OK"), this);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setGeometry(117, 122, 75, 26);
    OKButton->setDefault(true);
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);
}

void TVersionForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    CenterOnScreen(this);
}
