#include "Symbols.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <utility>

namespace Symbols {

void draw(QPainter& painter, Symbol symbol, const QRectF& box, const QColor& color, double weight) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    QPen pen(color, weight, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    const double side = std::min(box.width(), box.height());
    const QRectF r(box.center().x() - side / 2, box.center().y() - side / 2, side, side);
    const double u = side / 24; // the symbols are drawn on a 24-unit grid

    auto at = [&](double x, double y) { return QPointF(r.left() + x * u, r.top() + y * u); };

    switch (symbol) {
    case Symbol::camera: {
        QPainterPath body;
        body.addRoundedRect(QRectF(at(2, 7), at(22, 20)), 2.5 * u, 2.5 * u);
        painter.drawPath(body);
        QPainterPath top;
        top.moveTo(at(8, 7));
        top.lineTo(at(9.5, 4.5));
        top.lineTo(at(14.5, 4.5));
        top.lineTo(at(16, 7));
        painter.drawPath(top);
        painter.drawEllipse(at(12, 13.5), 4 * u, 4 * u);
        break;
    }
    case Symbol::xmark:
        painter.drawLine(at(6, 6), at(18, 18));
        painter.drawLine(at(18, 6), at(6, 18));
        break;
    case Symbol::chevronLeft:
        painter.drawPolyline(QPolygonF{at(15, 4), at(7, 12), at(15, 20)});
        break;
    case Symbol::chevronRight:
        painter.drawPolyline(QPolygonF{at(9, 4), at(17, 12), at(9, 20)});
        break;
    case Symbol::warning: {
        painter.drawPolygon(QPolygonF{at(12, 3), at(22, 20.5), at(2, 20.5)});
        painter.drawLine(at(12, 9), at(12, 14));
        painter.setBrush(color);
        painter.setPen(Qt::NoPen);
        painter.drawEllipse(at(12, 17.3), weight * 0.75, weight * 0.75);
        break;
    }
    case Symbol::tv:
    case Symbol::tvFill: {
        QPainterPath screen;
        screen.addRoundedRect(QRectF(at(2, 4), at(22, 17)), 2 * u, 2 * u);
        if (symbol == Symbol::tvFill)
            painter.setBrush(color);
        painter.drawPath(screen);
        painter.drawLine(at(8, 20.5), at(16, 20.5));
        break;
    }
    case Symbol::sliders:
        for (const auto& [y, knob] : {std::pair{6.0, 15.0}, {12.0, 8.0}, {18.0, 13.0}}) {
            painter.drawLine(at(3, y), at(21, y));
            painter.save();
            painter.setBrush(color);
            painter.drawEllipse(at(knob, y), 2.2 * u, 2.2 * u);
            painter.restore();
        }
        break;
    case Symbol::trash: {
        painter.drawLine(at(3.5, 6), at(20.5, 6));
        painter.drawPolyline(QPolygonF{at(9, 6), at(9, 3.5), at(15, 3.5), at(15, 6)});
        QPainterPath can;
        can.moveTo(at(5.5, 6));
        can.lineTo(at(6.8, 20));
        can.quadTo(at(7, 21), at(8, 21));
        can.lineTo(at(16, 21));
        can.quadTo(at(17, 21), at(17.2, 20));
        can.lineTo(at(18.5, 6));
        painter.drawPath(can);
        painter.drawLine(at(10, 10), at(10, 17));
        painter.drawLine(at(14, 10), at(14, 17));
        break;
    }
    case Symbol::checkmark:
        painter.drawPolyline(QPolygonF{at(4.5, 12.5), at(9.5, 17.5), at(19.5, 6.5)});
        break;
    }
    painter.restore();
}

QIcon icon(Symbol symbol, const QColor& color, int size) {
    QIcon result;
    for (int scale : {1, 2}) {
        QPixmap pixmap(size * scale, size * scale);
        pixmap.setDevicePixelRatio(scale);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        draw(painter, symbol, QRectF(0, 0, size, size), color, size / 12.0);
        painter.end();
        result.addPixmap(pixmap);
    }
    return result;
}

} // namespace Symbols
