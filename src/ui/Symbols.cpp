#include "Symbols.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>

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
    }
    painter.restore();
}

} // namespace Symbols
