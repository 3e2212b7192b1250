#include "SensorMosaic.h"

#include <algorithm>
#include <cmath>

namespace {

double srgbToLinear(double v) {
    return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
}

} // namespace

void SensorMosaic::fill(const QImage& scene, const Levels& levels, quint16* out, qsizetype stride) {
    std::array<double, 256> linear;
    for (int v = 0; v < 256; ++v)
        linear[size_t(v)] = srgbToLinear(v / 255.0);
    // Each channel's filter row, with its sensitivity and the level range.
    Matrix gain = levels.camera;
    for (size_t c = 0; c < 3; ++c) {
        for (double& g : gain[c])
            g *= levels.sensitivity[c] * (levels.white - levels.black);
    }
    const auto photosite = [&](const uchar* rgb, int channel) {
        const auto& row = gain[size_t(channel)];
        const double v = row[0] * linear[rgb[0]] + row[1] * linear[rgb[1]] + row[2] * linear[rgb[2]];
        return quint16(std::clamp<long>(std::lround(levels.black + v), levels.black, levels.white));
    };
    const QImage rgb =
        scene.format() == QImage::Format_RGB888 ? scene : scene.convertToFormat(QImage::Format_RGB888);
    for (int y = 0; y < rgb.height(); ++y) {
        const uchar* line = rgb.constScanLine(y);
        quint16* row = out + y * stride;
        for (int x = 0; x < rgb.width(); ++x)
            row[x] = photosite(line + 3 * x, colourAt(x, y));
    }
}
