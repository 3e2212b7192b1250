#pragma once

// Shared helpers of the imaging tests: camera-like files from the sample
// generator, the bundled sample card, and pixel arithmetic.

#include "imaging/ColorMath.h"

#include "samplegen/CameraJpegWriter.h"
#include "samplegen/CaptureInfo.h"
#include "samplegen/ExifOrientation.h"
#include "samplegen/SyntheticScene.h"

#include <QColor>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QString>

#include <array>
#include <cmath>

namespace fixtures {

inline QString sampleCard() {
    return QStringLiteral(ZV_SOURCE_DIR "/samples/card/DCIM/100ZORVA");
}

inline QString sample(const char* name) {
    return sampleCard() + QLatin1Char('/') + QLatin1String(name);
}

// A camera JPEG of `upright` stored with `orientation`, in `dir`.
inline QString cameraJpeg(const QString& dir, const QString& name, const QImage& upright, int orientation = 1,
                          int quality = 92) {
    CaptureInfo info;
    info.orientation = orientation;
    info.captured = QDateTime(QDate(2024, 5, 17), QTime(9, 30, 0));
    info.gps = CaptureInfo::Gps{46.4907, 9.8355, 1800};
    CameraJpegWriter::Options options;
    options.quality = quality;
    const QString path = QDir(dir).filePath(name);
    const auto written = CameraJpegWriter::write(
        path, ExifOrientation::toStored(upright.convertToFormat(QImage::Format_RGB888), orientation), info,
        options);
    return written ? path : QString();
}

inline QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline bool writeAll(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// An sRGB colour as 8-bit Display P3.
inline std::array<int, 3> srgbInDisplayP3(QRgb c) {
    const std::array<double, 3> linear{ColorMath::decode(qRed(c) / 255.0),
                                       ColorMath::decode(qGreen(c) / 255.0),
                                       ColorMath::decode(qBlue(c) / 255.0)};
    const auto p3 = ColorMath::srgbToDisplayP3() * linear;
    std::array<int, 3> out{};
    for (size_t i = 0; i < 3; ++i)
        out[i] = int(std::lround(std::clamp(ColorMath::encode(p3[i]), 0.0, 1.0) * 255));
    return out;
}

// Mean red, green and blue of a rectangle of an 8-bit RGBA image.
inline std::array<double, 3> mean(const QImage& image, const QRect& rect) {
    std::array<double, 3> sum{};
    long n = 0;
    const QImage rgba = image.convertToFormat(QImage::Format_RGBA8888);
    for (int y = rect.top(); y <= rect.bottom(); ++y) {
        const uchar* row = rgba.constScanLine(y);
        for (int x = rect.left(); x <= rect.right(); ++x, ++n) {
            for (size_t c = 0; c < 3; ++c)
                sum[c] += row[x * 4 + int(c)];
        }
    }
    for (double& s : sum)
        s /= std::max(1L, n);
    return sum;
}

inline double distance(const std::array<double, 3>& a, const std::array<int, 3>& b) {
    double worst = 0;
    for (size_t i = 0; i < 3; ++i)
        worst = std::max(worst, std::fabs(a[i] - b[i]));
    return worst;
}

// The middle of one quadrant of a w x h image: 0 top left, 1 top right,
// 2 bottom left, 3 bottom right, a quarter of the quadrant's size.
inline QRect quadrant(QSize size, int which) {
    const int w = size.width() / 2, h = size.height() / 2;
    const int x = (which % 2) * w, y = (which / 2) * h;
    return QRect(x + w * 3 / 8, y + h * 3 / 8, std::max(1, w / 4), std::max(1, h / 4));
}

} // namespace fixtures
