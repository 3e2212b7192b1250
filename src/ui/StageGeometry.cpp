#include "StageGeometry.h"

#include <algorithm>

namespace StageGeometry {

QRectF fitted(const QSizeF& imageSize, const QSizeF& canvasSize, double bottomReserve) {
    if (imageSize.width() <= 0 || imageSize.height() <= 0)
        return QRectF(QPointF(0, 0), canvasSize);
    const double availableWidth = std::max(canvasSize.width() - 2 * kMargin, 1.0);
    const double availableHeight = std::max(canvasSize.height() - bottomReserve - 2 * kMargin, 1.0);
    const double scale = std::min(availableWidth / imageSize.width(), availableHeight / imageSize.height());
    const double width = imageSize.width() * scale;
    const double height = imageSize.height() * scale;
    return QRectF((canvasSize.width() - width) / 2, (canvasSize.height() - bottomReserve - height) / 2, width,
                  height);
}

QSizeF clampedPan(const QSizeF& proposed, double zoom, const QRectF& fitted, const QSizeF& canvasSize) {
    const double limitX = std::max((zoom * fitted.width() - canvasSize.width()) / 2, 0.0);
    const double limitY = std::max((zoom * fitted.height() - canvasSize.height()) / 2, 0.0);
    return QSizeF(std::clamp(proposed.width(), -limitX, limitX),
                  std::clamp(proposed.height(), -limitY, limitY));
}

QSizeF panKeeping(const QPointF& click, double zoom, const QRectF& fitted) {
    return QSizeF((1 - zoom) * (click.x() - fitted.center().x()),
                  (1 - zoom) * (click.y() - fitted.center().y()));
}

QRectF imageRect(const QRectF& fitted, double zoom, const QSizeF& pan) {
    const QSizeF size = fitted.size() * zoom;
    const QPointF centre = fitted.center() + QPointF(pan.width(), pan.height());
    return QRectF(centre.x() - size.width() / 2, centre.y() - size.height() / 2, size.width(), size.height());
}

} // namespace StageGeometry
