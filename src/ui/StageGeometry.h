#pragma once

#include <QPointF>
#include <QRectF>
#include <QSizeF>

// The arithmetic of the photo stage: where the fitted photo sits, how far it
// may be panned, and the pan that keeps a double-clicked point under the pointer.
namespace StageGeometry {

// Room kept free under the photo for the crop bar while cropping.
inline constexpr double kCropBarReserve = 72;
// Margin around the fitted photo on every side.
inline constexpr double kMargin = 8;

// The rectangle, in canvas coordinates, in which the whole photo is drawn at zoom 1.
QRectF fitted(const QSizeF& imageSize, const QSizeF& canvasSize, double bottomReserve);

// The proposed pan held so that the zoomed photo never leaves a gap at an edge
// it could cover; a photo no larger than the canvas cannot move at all.
QSizeF clampedPan(const QSizeF& proposed, double zoom, const QRectF& fitted, const QSizeF& canvasSize);

// The pan that keeps the photo point under `click` in place when zooming from 1 to `zoom`.
QSizeF panKeeping(const QPointF& click, double zoom, const QRectF& fitted);

// Where the image is drawn: the fitted rectangle scaled by zoom about its centre, moved by pan.
QRectF imageRect(const QRectF& fitted, double zoom, const QSizeF& pan);

} // namespace StageGeometry
