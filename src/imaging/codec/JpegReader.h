#pragma once

// Imaging, codec part: reading and writing image files. JPEG decoding (with
// DCT scaling, planar and streamed reads), encoding and markers, RAW
// development, thumbnails, EXIF and the rest of a file's metadata, and the
// new files an export writes. Files are opened without blocking and refused
// unless they are regular files. Uses the pixels and color parts; knows
// nothing of edits or of rendering.

#include "ImagingError.h"
#include "imaging/color/ColorConverter.h"
#include "imaging/color/ColorKernel.h"
#include "imaging/pixels/PixelResources.h"

#include <QImage>
#include <QRect>
#include <QString>

#include <expected>
#include <functional>
#include <memory>

class JpegDecoder;

// Camera JPEGs to upright Display P3 bitmaps (Format_RGBX8888).
//
// A scaled read decodes at the smallest DCT scale that is not below the
// target, and while libjpeg decodes rows on the calling thread, helpers
// already resample the finished ones (Lanczos-3), convert their colour and
// write them at their upright place; so the whole read costs little more than
// the decode itself. A full read hands back the stored pixels with their
// the same way, with the caller's whole colour work, at full size.
// Any thread; several at once.
class JpegReader {
public:
    explicit JpegReader(PixelResources resources)
        : resources_(std::move(resources)) {}

    // At most maxPixel on the longer side (never enlarged), upright.
    std::expected<QImage, ImagingError> readScaled(const QString& path, int maxPixel) const;
    // The same from an opened decoder, turned by `orientation` (1..8).
    std::expected<QImage, ImagingError> readScaled(JpegDecoder& decoder, int maxPixel, int orientation) const;

    // The full-size pixels of `rect` (upright, rows from the top) through a
    // colour plan made for the file's own colour by `planFor`, in a new
    // Format_RGBX8888 image of the rect's size. Helpers run the plan on rows
    // as soon as libjpeg has decoded them, so an edited full-size picture
    // costs little more than its decode.
    using PlanFor = std::function<ColorKernel::Plan(const ColorConverter::Source&)>;
    std::expected<QImage, ImagingError> readFull(const QString& path, const QRect& rect,
                                                 const PlanFor& planFor) const;

private:
    PixelResources resources_;
};
