#pragma once

#include <QColor>
#include <QImage>
#include <QImageWriter>
#include <QString>

#include "FileTree.h"

// Real JPEG files of a chosen size and colour, written by Qt's JPEG encoder.
namespace TestImages {

inline QString writeJpeg(const QString& path, QSize size, QColor colour, int quality = 85) {
    FileTree::write(path, {});
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    QImageWriter writer(path, "jpeg");
    writer.setQuality(quality);
    if (!writer.write(image))
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

// The average colour of an image, to tell photos and edits apart.
inline QColor meanColour(const QImage& image) {
    const QImage small = image.convertToFormat(QImage::Format_RGB32)
                             .scaled(16, 16, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    double r = 0, g = 0, b = 0;
    for (int y = 0; y < small.height(); ++y) {
        for (int x = 0; x < small.width(); ++x) {
            const QColor c = small.pixelColor(x, y);
            r += c.redF();
            g += c.greenF();
            b += c.blueF();
        }
    }
    const double n = small.width() * small.height();
    return QColor::fromRgbF(float(r / n), float(g / n), float(b / n));
}

} // namespace TestImages
