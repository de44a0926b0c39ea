#include "app/appicon.h"

#include <QPainter>
#include <QPainterPath>
#include <cmath>

namespace veruziva {

QPixmap AppPixmap(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const double s = size / 32.0;
    painter.setPen(QPen(QColor(40, 40, 40), 1.5 * s));
    painter.setBrush(QColor(0, 128, 128));
    painter.drawRoundedRect(QRectF(1.5 * s, 1.5 * s, 29 * s, 29 * s), 4 * s, 4 * s);
    painter.setPen(QPen(QColor(255, 255, 255, 150), 0.8 * s));
    for (int k = 1; k < 4; ++k) {
        painter.drawLine(QPointF(3 * s, (2 + 7 * k) * s), QPointF(29 * s, (2 + 7 * k) * s));
    }
    auto trace = [&](const QColor& colour, double amplitude, double cycles, double phase) {
        QPainterPath path;
        for (int i = 0; i <= 52; ++i) {
            const double x = 3 + 26.0 * i / 52;
            const double y = 16 - amplitude * std::sin(phase + cycles * 2 * M_PI * i / 52);
            const QPointF point(x * s, y * s);
            if (i == 0) {
                path.moveTo(point);
            } else {
                path.lineTo(point);
            }
        }
        painter.setPen(QPen(colour, 1.8 * s));
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(path);
    };
    trace(QColor(0, 255, 255), 4, 1, 1.2);
    trace(QColor(255, 255, 0), 9, 2, 0);
    return pixmap;
}

QIcon AppIcon() {
    QIcon icon;
    for (const int size : {16, 32, 48, 64, 128}) {
        icon.addPixmap(AppPixmap(size));
    }
    return icon;
}

}  // namespace veruziva
