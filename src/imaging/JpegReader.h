#pragma once

#include "ColorConverter.h"
#include "ImagingError.h"
#include "PixelResources.h"

#include <QImage>
#include <QString>

#include <expected>
#include <memory>

class JpegDecoder;

// Camera JPEGs to upright Display P3 bitmaps (Format_RGBX8888).
//
// A scaled read decodes at the smallest DCT scale that is not below the
// target, and while libjpeg decodes rows on the calling thread, helpers
// already resample the finished ones (Lanczos-3), convert their colour and
// write them at their upright place; so the whole read costs little more than
// the decode itself. A full read hands back the stored pixels with their
// orientation and colour, for the rendering context to fuse into its pass.
// Any thread; several at once.
class JpegReader {
public:
    explicit JpegReader(PixelResources resources)
        : resources_(std::move(resources)) {}

    // At most maxPixel on the longer side (never enlarged), upright.
    std::expected<QImage, ImagingError> readScaled(const QString& path, int maxPixel) const;
    // The same from an opened decoder, turned by `orientation` (1..8).
    std::expected<QImage, ImagingError> readScaled(JpegDecoder& decoder, int maxPixel, int orientation) const;

    struct Stored {
        QImage pixels; // as stored (not upright), RGBX, in `color`
        int orientation = 1;
        ColorConverter::Source color;
    };
    std::expected<Stored, ImagingError> readFull(const QString& path) const;

private:
    PixelResources resources_;
};
