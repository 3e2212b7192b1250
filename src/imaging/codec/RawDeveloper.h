#pragma once

#include "ImagingError.h"
#include "imaging/pixels/PixelResources.h"

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

#include <expected>
#include <functional>
#include <optional>

// The RAW developer (DNG, RW2 and whatever else LibRaw knows), in the shape
// of a RAW filter: open a file, read its native size, choose a scale factor
// in (0, 1], take the output image. Development uses the camera's white
// balance, renders to Display P3 and stands the picture upright. At a scale
// of 0.5 or less LibRaw develops at half size (one pixel per Bayer quad,
// four times less work), and Lanczos takes it the rest of the way; a scale
// factor never enlarges. Any thread; each development has its own LibRaw.
class RawDeveloper {
public:
    static std::expected<RawDeveloper, ImagingError> open(const QString& path);

    // Upright, in pixels, at full scale.
    QSize nativeSize() const { return nativeSize_; }
    // EXIF orientation the developer applies, 1..8.
    int orientation() const { return orientation_; }
    void setScale(double scale);
    double scale() const { return scale_; }
    // The upright size at the current scale.
    QSize outputSize() const;
    // The file, for a lazy image of its development (Image::fromRaw).
    const QString& path() const { return path_; }

    // Develops `path` at `scale` into an upright Display P3 bitmap of the
    // size outputSize() would give.
    static std::expected<QImage, ImagingError> develop(const QString& path, double scale,
                                                       const PixelResources& resources);
    // Develops `path` at the largest scale that keeps its longer side within
    // `maxPixel` (never enlarged), reading the file once; with its native size.
    struct Developed {
        QImage image;
        QSize nativeSize;
    };
    static std::expected<Developed, ImagingError> developWithin(const QString& path, int maxPixel,
                                                                const PixelResources& resources);

    // The largest preview the camera embedded: JPEG bytes, or an 8-bit RGB
    // bitmap; with the orientation of the RAW. Nothing when there is none.
    struct Preview {
        QByteArray jpeg;
        QImage bitmap;
        int orientation = 1;
    };
    static std::optional<Preview> preview(const QString& path);

private:
    RawDeveloper() = default;
    QString path_;
    QSize nativeSize_;
    int orientation_ = 1;
    double scale_ = 1;
};
