#include "app/app_icon.h"

#include <QPainter>
#include <QPixmap>

QIcon app_icon()
{
    static const QIcon icon = [] {
        QIcon result;
        for (int size : {16, 32, 48, 64}) {
            QPixmap pixmap(size, size);
            pixmap.fill(Qt::transparent);
            QPainter p(&pixmap);
            p.setRenderHint(QPainter::Antialiasing);
            double s = size / 32.0;
            p.setPen(QPen(QColor(10, 10, 10), 2 * s));
            p.setBrush(QColor(180, 180, 180));
            p.drawEllipse(QRectF(2 * s, 2 * s, 28 * s, 28 * s));
            p.setPen(QPen(QColor(30, 80, 150), 2.5 * s));
            p.drawArc(QRectF(5 * s, 5 * s, 22 * s, 22 * s), -45 * 16, 270 * 16);
            p.setPen(QPen(QColor(210, 63, 10), 2.5 * s, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(QPointF(16 * s, 16 * s), QPointF(24 * s, 9 * s));
            result.addPixmap(pixmap);
        }
        return result;
    }();
    return icon;
}
