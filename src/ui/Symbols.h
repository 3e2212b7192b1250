#pragma once

#include <QColor>
#include <QIcon>
#include <QRectF>

class QPainter;

// The few symbols the window draws itself, so it looks the same whatever icon
// theme the desktop has: a camera, a cross, chevrons, a warning triangle, and
// the toolbar's TV (outlined, and filled while showing), sliders, trash can and
// check mark.
namespace Symbols {

enum class Symbol {
    camera,
    xmark,
    chevronLeft,
    chevronRight,
    warning,
    tv,
    tvFill,
    sliders,
    trash,
    checkmark
};

// Draws the symbol centred in `box` with strokes of the given weight.
void draw(QPainter& painter, Symbol symbol, const QRectF& box, const QColor& color, double weight = 2.0);

// The symbol as an icon for buttons and menus, sharp at 1x and 2x.
QIcon icon(Symbol symbol, const QColor& color, int size = 16);

} // namespace Symbols
