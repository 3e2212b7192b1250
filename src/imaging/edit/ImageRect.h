#pragma once

#include <algorithm>
#include <cmath>

// A rectangle in image coordinates: pixels are unit squares, the origin is
// at the bottom-left corner and y grows upwards (the convention of the
// lazy image operations; bitmaps and crop rectangles are stored top-down).
struct ImageRect {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;

    double minX() const { return x; }
    double minY() const { return y; }
    double maxX() const { return x + width; }
    double maxY() const { return y + height; }
    bool isEmpty() const { return !(width > 0 && height > 0); }

    ImageRect intersected(const ImageRect& o) const {
        const double x0 = std::max(minX(), o.minX()), y0 = std::max(minY(), o.minY());
        const double x1 = std::min(maxX(), o.maxX()), y1 = std::min(maxY(), o.maxY());
        if (x1 <= x0 || y1 <= y0)
            return {};
        return {x0, y0, x1 - x0, y1 - y0};
    }

    // The smallest rectangle with whole-pixel edges that contains this one.
    // Edges within a millionth of a pixel of a whole number count as whole,
    // so that arithmetic noise does not add a row.
    ImageRect roundedOut() const {
        const auto down = [](double v) {
            const double r = std::round(v);
            return std::fabs(v - r) < 1e-6 ? r : std::floor(v);
        };
        const auto up = [](double v) {
            const double r = std::round(v);
            return std::fabs(v - r) < 1e-6 ? r : std::ceil(v);
        };
        const double x0 = down(minX()), y0 = down(minY());
        return {x0, y0, up(maxX()) - x0, up(maxY()) - y0};
    }

    bool operator==(const ImageRect&) const = default;
};
