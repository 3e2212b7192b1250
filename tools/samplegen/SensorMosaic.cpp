#include "SensorMosaic.h"

#include <cmath>

namespace {

double srgbToLinear(double v) {
    return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
}

} // namespace

void SensorMosaic::fill(const QImage& scene, const Levels& levels, quint16* out, qsizetype stride) {
    std::array<std::array<quint16, 256>, 3> table;
    for (int c = 0; c < 3; ++c) {
        for (int v = 0; v < 256; ++v) {
            const double linear = srgbToLinear(v / 255.0) * levels.sensitivity[size_t(c)];
            table[size_t(c)][size_t(v)] =
                quint16(std::lround(levels.black + linear * (levels.white - levels.black)));
        }
    }
    const QImage rgb =
        scene.format() == QImage::Format_RGB888 ? scene : scene.convertToFormat(QImage::Format_RGB888);
    for (int y = 0; y < rgb.height(); ++y) {
        const uchar* line = rgb.constScanLine(y);
        quint16* row = out + y * stride;
        // Red/green rows take red at even columns; green/blue rows blue at odd ones.
        const int first = (y & 1) ? 1 : 0;
        const auto& even = table[size_t(first)];
        const auto& odd = table[size_t(first + 1)];
        const int evenChannel = first;
        const int oddChannel = first + 1;
        int x = 0;
        for (; x + 1 < rgb.width(); x += 2) {
            row[x] = even[line[3 * x + evenChannel]];
            row[x + 1] = odd[line[3 * x + 3 + oddChannel]];
        }
        if (x < rgb.width())
            row[x] = even[line[3 * x + evenChannel]];
    }
}
