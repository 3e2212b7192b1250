#pragma once

#include "Image.h"
#include "imaging/codec/ImagingError.h"
#include "imaging/codec/JpegCompressor.h"
#include "imaging/color/ColorConverter.h"
#include "imaging/edit/ImageRect.h"
#include "imaging/pixels/ParallelRunner.h"
#include "imaging/pixels/PixelResources.h"

#include <QByteArray>
#include <QColorSpace>
#include <QImage>

#include <expected>
#include <optional>

// Renders lazy images into bitmaps. Walks an image's description from its
// source: consecutive colour filters, the source's own colour conversion, the
// destination's, crops, translations and the turn of the file are fused into
// one pass over the pixels, split across the cores; only a Lanczos scale
// makes an intermediate bitmap. A JPEG file under nothing but colour, crops
// and shifts is finished row by row as libjpeg decodes it. Caches nothing
// between renders. Owns the helper threads, the buffer pool and the colour
// converter; safe to use from several threads at once.
class RenderContext {
public:
    // `threads` counts the calling thread; 0 means one per core.
    explicit RenderContext(int threads = 0);

    // `rect` (rounded outwards to whole pixels) of the image, in RGBA8:
    // Format_RGBX8888 when every pixel is opaque, else Format_RGBA8888
    // (outside the image's extent pixels are transparent), tagged `space`.
    std::expected<QImage, ImagingError> render(const Image& image, const ImageRect& rect,
                                               const QColorSpace& space) const;
    std::expected<QImage, ImagingError> render(const Image& image, const QColorSpace& space) const {
        return render(image, image.extent(), space);
    }

    // The image over its extent as a JPEG in `space`, quality 0..1.
    std::expected<QByteArray, ImagingError> jpegData(const Image& image, const QColorSpace& space,
                                                     double quality) const;

    const PixelResources& resources() const { return resources_; }

private:
    struct Pixels;
    struct Region;
    std::expected<Pixels, ImagingError> materialise(const Image::Node* node, const Region& want) const;
    std::expected<Pixels, ImagingError> fromBitmap(const QImage& bitmap, const Region& want,
                                                   bool writable) const;
    // The part `want` of a JPEG file node, through `pending` into `target`.
    std::expected<QImage, ImagingError> readJpeg(const Image::Node* node, const Region& want,
                                                 const ColorChain& pending,
                                                 const ColorConverter::Target& target) const;
    static Pixels pixelsOf(QImage image, const Region& region);
    // Colour, crops and shifts over a JPEG file, made in one streamed read;
    // nothing for other images.
    std::optional<std::expected<Pixels, ImagingError>> streamed(const Image::Node* node, Region want,
                                                                const ColorConverter::Target& target) const;
    std::expected<Pixels, ImagingError> resolve(Pixels pixels, const ColorConverter::Target& target) const;

    ParallelRunner runner_;
    mutable ColorConverter colors_;
    PixelResources resources_;
};
