#include "ColorMath.h"

#include <algorithm>
#include <cmath>

namespace ColorMath {

double decode(double encoded) {
    const double a = std::fabs(encoded);
    const double v = a <= 0.04045 ? a / 12.92 : std::pow((a + 0.055) / 1.055, 2.4);
    return encoded < 0 ? -v : v;
}

double encode(double linear) {
    const double a = std::fabs(linear);
    const double v = a <= 0.0031308 ? a * 12.92 : 1.055 * std::pow(a, 1 / 2.4) - 0.055;
    return linear < 0 ? -v : v;
}

std::array<double, 3> xyzOf(Chromaticity c) {
    return {c.x / c.y, 1.0, (1 - c.x - c.y) / c.y};
}

Matrix3 rgbToXyz(const Primaries& p) {
    const auto r = xyzOf(p.red), g = xyzOf(p.green), b = xyzOf(p.blue);
    const Matrix3 columns{{r[0], g[0], b[0], r[1], g[1], b[1], r[2], g[2], b[2]}};
    const auto s = columns.inverted() * xyzOf(p.white);
    return columns * Matrix3::diagonal(s[0], s[1], s[2]);
}

Matrix3 displayP3ToXyz() {
    static const Matrix3 m = rgbToXyz(kDisplayP3);
    return m;
}

Matrix3 srgbToDisplayP3() {
    static const Matrix3 m = displayP3ToXyz().inverted() * rgbToXyz(kSrgb);
    return m;
}

Matrix3 displayP3ToSrgb() {
    static const Matrix3 m = srgbToDisplayP3().inverted();
    return m;
}

std::array<double, 3> displayP3Luma() {
    const Matrix3 m = displayP3ToXyz();
    return {m(1, 0), m(1, 1), m(1, 2)};
}

Chromaticity whiteOfTemperature(double kelvin, double tint) {
    const double t = std::clamp(kelvin, 1667.0, 25000.0);
    double x = 0;
    double y = 0;
    if (t >= 4000) {
        const double t2 = t * t, t3 = t2 * t;
        x = t <= 7000 ? -4.6070e9 / t3 + 2.9678e6 / t2 + 0.09911e3 / t + 0.244063
                      : -2.0064e9 / t3 + 1.9018e6 / t2 + 0.24748e3 / t + 0.237040;
        y = -3.000 * x * x + 2.870 * x - 0.275;
    } else {
        const double t2 = t * t, t3 = t2 * t;
        x = -0.2661239e9 / t3 - 0.2343589e6 / t2 + 0.8776956e3 / t + 0.179910;
        const double x2 = x * x, x3 = x2 * x;
        y = t <= 2222 ? -1.1063814 * x3 - 1.34811020 * x2 + 2.18555832 * x - 0.20219683
                      : -0.9549476 * x3 - 1.37418593 * x2 + 2.09137015 * x - 0.16748867;
    }
    if (tint == 0)
        return {x, y};

    // Move along the normal of the locus in CIE 1960 uv; the tangent comes
    // from a neighbouring temperature.
    const auto uv = [](Chromaticity c) {
        const double d = -2 * c.x + 12 * c.y + 3;
        return std::array<double, 2>{4 * c.x / d, 6 * c.y / d};
    };
    const Chromaticity nearby = whiteOfTemperature(t < 24000 ? t + 50 : t - 50);
    const auto a = uv({x, y});
    const auto b = uv(nearby);
    double tu = b[0] - a[0], tv = b[1] - a[1];
    if (t >= 24000) {
        tu = -tu;
        tv = -tv;
    }
    const double length = std::hypot(tu, tv);
    // The normal pointing below the locus, towards magenta.
    const double nu = -tv / length, nv = tu / length;
    const double u = a[0] + nu * tint / 3000, v = a[1] + nv * tint / 3000;
    const double d = 2 * u - 8 * v + 4;
    return {3 * u / d, 2 * v / d};
}

Matrix3 adaptation(Chromaticity from, Chromaticity to) {
    static const Matrix3 bradford{
        {0.8951, 0.2664, -0.1614, -0.7502, 1.7135, 0.0367, 0.0389, -0.0685, 1.0296}};
    const auto source = bradford * xyzOf(from);
    const auto target = bradford * xyzOf(to);
    const Matrix3 scale =
        Matrix3::diagonal(target[0] / source[0], target[1] / source[1], target[2] / source[2]);
    const Matrix3 toXyz = displayP3ToXyz();
    return toXyz.inverted() * bradford.inverted() * scale * bradford * toXyz;
}

} // namespace ColorMath
