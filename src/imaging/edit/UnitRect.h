#pragma once

// A rectangle in unit coordinates of an uncropped image: x and width are
// fractions of its width, y and height of its height, origin at the top-left,
// y growing downwards. Compared exactly (a crop of 0.99 is not the whole image).
struct UnitRect {
    double x = 0;
    double y = 0;
    double width = 1;
    double height = 1;

    double minX() const { return x; }
    double minY() const { return y; }
    double maxX() const { return x + width; }
    double maxY() const { return y + height; }
    double midX() const { return x + width / 2; }
    double midY() const { return y + height / 2; }

    static constexpr UnitRect whole() { return {0, 0, 1, 1}; }

    bool operator==(const UnitRect&) const = default;
};
