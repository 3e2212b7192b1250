#include "CropGeometry.h"

#include <algorithm>

UnitRect CropGeometry::resized(const UnitRect& rect, Corner corner, double dx, double dy,
                               std::optional<double> ratio) {
    const bool left = corner == Corner::topLeft || corner == Corner::bottomLeft;
    const bool top = corner == Corner::topLeft || corner == Corner::topRight;

    const double ax = left ? rect.maxX() : rect.minX();
    const double ay = top ? rect.maxY() : rect.minY();
    const double px = (left ? rect.minX() : rect.maxX()) + dx;
    const double py = (top ? rect.minY() : rect.maxY()) + dy;

    const double rawWidth = left ? ax - px : px - ax;
    const double rawHeight = top ? ay - py : py - ay;
    const double widest = left ? ax : 1 - ax;
    const double tallest = top ? ay : 1 - ay;

    double width = std::min(std::max(rawWidth, kMinimumSide), widest);
    double height = std::min(std::max(rawHeight, kMinimumSide), tallest);

    if (ratio) {
        if (width / height > *ratio)
            width = height * *ratio;
        else
            height = width / *ratio;
    }

    return UnitRect{left ? ax - width : ax, top ? ay - height : ay, width, height};
}
