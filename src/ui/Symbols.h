#pragma once

#include <QColor>
#include <QRectF>

class QPainter;

// The few symbols the window draws itself, so it looks the same whatever icon
// theme the desktop has: a camera, a cross, chevrons and a warning triangle.
namespace Symbols {

enum class Symbol { camera, xmark, chevronLeft, chevronRight, warning };

// Draws the symbol centred in `box` with strokes of the given weight.
void draw(QPainter& painter, Symbol symbol, const QRectF& box, const QColor& color, double weight = 2.0);

} // namespace Symbols
