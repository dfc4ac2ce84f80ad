#include "updater/updater_pictures.h"

#include <QPainter>
#include <QPainterPath>

namespace {

const QColor MODULE_CASE(62, 72, 84);
const QColor MODULE_EDGE(20, 20, 20);
const QColor PIN(196, 160, 60);
const QColor LABEL(240, 240, 240);
const QColor ARROW(30, 80, 150);
const QColor BADGE(103, 245, 103);
const QColor BADGE_EDGE(20, 110, 20);

// The module: a cast case with its connector pins along the bottom and a label.
void draw_module(QPainter& p, const QRectF& r, bool label)
{
    double pin_w = r.width() / 20;
    p.setPen(Qt::NoPen);
    p.setBrush(PIN);
    for (int i = 0; i < 8; ++i)
        p.drawRect(QRectF(r.left() + r.width() * (0.12 + i * 0.1), r.bottom() - pin_w * 0.5, pin_w, pin_w * 1.6));
    p.setPen(QPen(MODULE_EDGE, std::max(1.0, r.width() / 60)));
    p.setBrush(MODULE_CASE);
    p.drawRoundedRect(r.adjusted(0, 0, 0, -pin_w), r.width() / 14, r.width() / 14);
    if (label) {
        QFont f("Liberation Sans");
        f.setBold(true);
        f.setPixelSize(static_cast<int>(r.height() / 3));
        p.setFont(f);
        p.setPen(LABEL);
        p.drawText(r.adjusted(0, 0, 0, -pin_w), Qt::AlignCenter, "ZOV J8");
    }
}

void draw_arrow(QPainter& p, QPointF from, QPointF to, double width)
{
    QLineF shaft(from, to);
    QLineF back = QLineF(to, from);
    back.setLength(width * 2.2);
    QLineF left = back, right = back;
    left.setAngle(back.angle() + 35);
    right.setAngle(back.angle() - 35);
    QPainterPath head;
    head.moveTo(to);
    head.lineTo(left.p2());
    head.lineTo(right.p2());
    head.closeSubpath();
    p.setPen(QPen(ARROW, width, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(shaft.p1(), shaft.pointAt((shaft.length() - width * 1.5) / shaft.length()));
    p.setPen(Qt::NoPen);
    p.setBrush(ARROW);
    p.drawPath(head);
}

}  // namespace

QImage module_picture()
{
    QImage image(MODULE_PICTURE_WIDTH, MODULE_PICTURE_HEIGHT, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    draw_module(p, QRectF(4, 6, 100, 50), true);
    draw_arrow(p, QPointF(110, 30), QPointF(146, 30), 5);
    p.setPen(QPen(BADGE_EDGE, 2));
    p.setBrush(BADGE);
    p.drawEllipse(QPointF(174, 30), 23, 23);
    QFont f("Liberation Sans");
    f.setBold(true);
    f.setPixelSize(18);
    p.setFont(f);
    p.setPen(MODULE_EDGE);
    p.drawText(QRectF(151, 7, 46, 46), Qt::AlignCenter, "1.2");
    return image;
}

QPixmap updater_icon_pixmap(int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    double s = size / 32.0;
    draw_module(p, QRectF(2 * s, 15 * s, 28 * s, 15 * s), false);
    draw_arrow(p, QPointF(16 * s, 15 * s), QPointF(16 * s, 1 * s), 4 * s);
    return pixmap;
}

QIcon updater_icon()
{
    static const QIcon icon = [] {
        QIcon result;
        for (int size : {16, 32, 48, 64})
            result.addPixmap(updater_icon_pixmap(size));
        return result;
    }();
    return icon;
}
