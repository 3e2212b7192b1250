#pragma once

#include <QImage>
#include <QSize>

// Deterministic procedural pictures in sRGB. Landscapes have what makes a
// photograph expensive to code and decode: smooth skies, ridges, trees and
// buildings, fine texture at every scale and sensor noise, so JPEG sizes and
// decode times resemble a camera's. Test patterns have flat colour regions
// whose values a test can check after a round trip through a file format.
// Stateless; any thread. Large pictures are drawn on all cores.
class SyntheticScene {
public:
    enum class Kind { meadow, seaside, alpineLake, desertSunset, forest, cityDusk, garden, autumnHills };

    struct Options {
        Kind kind = Kind::meadow;
        quint32 seed = 1;
        // Standard deviation of the sensor noise, in 8-bit levels.
        double noise = 2.5;
    };

    // An RGB888 landscape of `size`; the same options always give the same
    // pixels, and the composition scales with the size.
    static QImage landscape(QSize size, const Options& options);
    static QImage landscape(QSize size) { return landscape(size, Options{}); }

    // An RGB888 pattern: red, green and blue quadrants (top left, top right,
    // bottom left) and, bottom right, a grey ramp from black at its left edge
    // to white at its right edge.
    static QImage testPattern(QSize size);
    static constexpr QRgb kPatternRed = 0xffc82828;   // (200, 40, 40)
    static constexpr QRgb kPatternGreen = 0xff28aa3c; // (40, 170, 60)
    static constexpr QRgb kPatternBlue = 0xff283cc8;  // (40, 60, 200)
};
