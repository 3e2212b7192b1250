#pragma once

#include <QImage>

#include <array>

// Turns an sRGB picture into what a Bayer sensor with an RGGB filter would
// record: linear light, one colour per photosite, scaled between a black and a
// white level. The filters' colours are a matrix from linear sRGB (each row
// summing to 1, so white stays white), and each channel has a sensitivity, so
// that white balance has work to do, as with a real sensor where green
// collects the most light.
class SensorMosaic {
public:
    using Matrix = std::array<std::array<double, 3>, 3>;
    static constexpr Matrix kSrgb{{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};

    struct Levels {
        int black = 64;
        int white = 4095;
        std::array<double, 3> sensitivity{1.0, 1.0, 1.0}; // red, green, blue; at most 1
        Matrix camera = kSrgb;                            // camera RGB from linear sRGB
    };

    // The colour of the photosite at (x, y): 0 red, 1 green, 2 blue.
    static int colourAt(int x, int y) { return (y & 1) ? ((x & 1) ? 2 : 1) : ((x & 1) ? 1 : 0); }

    // Writes scene.height() rows of scene.width() values, `stride` values apart.
    static void fill(const QImage& scene, const Levels& levels, quint16* out, qsizetype stride);
};
