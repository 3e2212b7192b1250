#pragma once

#include "PixelResources.h"

#include <QImage>
#include <QSize>

#include <cstddef>
#include <memory>

// An image as a cache keeps it. An opaque 8-bit RGB image (RGBX or RGB888) is
// held as YCbCr with the chroma at half resolution across and down, as a
// camera's JPEG holds it: 12 bits a pixel instead of 32 or 24, so the sixteen
// screen images cached for stepping take 105 MB rather than 280. Getting the
// image back costs a conversion of a few milliseconds, not a decode. Any other
// image is kept as it is. Immutable; copies share the pixels; any thread.
class CompactImage {
public:
    CompactImage() = default;

    // Splits the conversion across `resources.runner` when there is one.
    static CompactImage from(const QImage& image, const PixelResources& resources = {});

    // The image again, in its first format and colour space; large ones in a
    // block of `resources.pool`. Null on lack of memory.
    QImage image(const PixelResources& resources = {}) const;

    bool isNull() const { return !data_ && plain_.isNull(); }
    QSize size() const;
    size_t bytes() const;
    // Differs between images made separately, whatever their pixels.
    qint64 key() const;

    // The planes and what they came from (defined with the conversion).
    struct Data;

private:
    std::shared_ptr<const Data> data_;
    QImage plain_;
};
