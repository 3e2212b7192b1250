#pragma once

// Shared helpers of the imaging tests: camera-like files from the sample
// generator, the bundled sample card, and pixel arithmetic.

#include "imaging/color/ColorMath.h"

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

inline QString sample(const char* name) {
    return QStringLiteral(ZV_SOURCE_DIR "/samples/card/DCIM/100ZORVA/") + QLatin1String(name);
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

// Capture details for the RAW writers.
inline CaptureInfo rawCapture(int orientation = 1) {
    CaptureInfo info;
    info.orientation = orientation;
    info.captured = QDateTime(QDate(2024, 6, 15), QTime(10, 2, 13));
    return info;
}

inline QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline bool writeAll(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// A linear value as an 8-bit encoded level, clipped, and back.
inline int level(double linear) {
    return int(std::lround(std::clamp(ColorMath::encode(linear), 0.0, 1.0) * 255));
}

inline double linear(int level) {
    return ColorMath::decode(level / 255.0);
}

// An 8-bit colour taken through a matrix in linear light, by the book.
inline std::array<int, 3> convert(const Matrix3& m, QRgb c) {
    const auto v = m * std::array<double, 3>{linear(qRed(c)), linear(qGreen(c)), linear(qBlue(c))};
    return {level(v[0]), level(v[1]), level(v[2])};
}

inline std::array<int, 3> srgbInDisplayP3(QRgb c) {
    return convert(ColorMath::srgbToDisplayP3(), c);
}

// Mean and worst difference of the bytes of two 32-bit images.
struct Difference {
    double mean = 256;
    int worst = 256;
};

inline Difference difference(const QImage& a, const QImage& b) {
    if (a.size() != b.size() || a.format() != b.format())
        return {};
    double sum = 0;
    int worst = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width() * 4; ++x) {
            const int d = std::abs(int(a.constScanLine(y)[x]) - int(b.constScanLine(y)[x]));
            sum += d;
            worst = std::max(worst, d);
        }
    }
    return {sum / std::max(1.0, a.width() * a.height() * 4.0), worst};
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

template <typename T>
inline double distance(const std::array<double, 3>& a, const std::array<T, 3>& b) {
    double worst = 0;
    for (size_t i = 0; i < 3; ++i)
        worst = std::max(worst, std::fabs(a[i] - double(b[i])));
    return worst;
}

// The middle of one quadrant of a w x h image: 0 top left, 1 top right,
// 2 bottom left, 3 bottom right, a quarter of the quadrant's size.
inline QRect quadrant(QSize size, int which) {
    const int w = size.width() / 2, h = size.height() / 2;
    const int x = (which % 2) * w, y = (which / 2) * h;
    return QRect(x + w * 3 / 8, y + h * 3 / 8, std::max(1, w / 4), std::max(1, h / 4));
}

// How far the test pattern's red, green and blue patches (top left, top
// right, bottom left) of `image` are from their colours in Display P3.
inline double patternError(const QImage& image) {
    const QRgb patches[3] = {SyntheticScene::kPatternRed, SyntheticScene::kPatternGreen,
                             SyntheticScene::kPatternBlue};
    double worst = 0;
    for (int q = 0; q < 3; ++q)
        worst =
            std::max(worst, distance(mean(image, quadrant(image.size(), q)), srgbInDisplayP3(patches[q])));
    return worst;
}

} // namespace fixtures
