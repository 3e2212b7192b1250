#include "RenderContext.h"

#include "imaging/codec/JpegReader.h"
#include "imaging/codec/RawDeveloper.h"
#include "imaging/color/ColorKernel.h"
#include "imaging/pixels/LanczosResampler.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// Blocks of scratch go back to the pool for reuse up to this many bytes:
// enough for two screen-size decodes at once (a 24 MB half-scale decode and
// its 17.5 MB screen image each), the most stepping and prefetch run together.
constexpr size_t kRetainedBytes = size_t(96) << 20;

ImagingError outOfMemory() {
    return ImagingError{QStringLiteral("Out of memory")};
}

} // namespace

// Whole pixels in image coordinates: [x0, x1) x [y0, y1), y upwards.
struct RenderContext::Region {
    long x0 = 0, y0 = 0, x1 = 0, y1 = 0;

    long width() const { return x1 - x0; }
    long height() const { return y1 - y0; }
    bool isEmpty() const { return x1 <= x0 || y1 <= y0; }

    static Region of(const ImageRect& r) {
        const ImageRect o = r.roundedOut();
        return {long(o.minX()), long(o.minY()), long(o.maxX()), long(o.maxY())};
    }
    Region intersected(const Region& o) const {
        Region r{std::max(x0, o.x0), std::max(y0, o.y0), std::min(x1, o.x1), std::min(y1, o.y1)};
        if (r.isEmpty())
            return {};
        return r;
    }
    Region shifted(long dx, long dy) const { return {x0 + dx, y0 + dy, x1 + dx, y1 + dy}; }
    bool operator==(const Region&) const = default;
};

// Pixels of a region, perhaps still owed some colour work: the view reads
// them top row first through any steps (turned, cropped), they are in
// `color`, and `pending` is still to be applied.
struct RenderContext::Pixels {
    QImage owner; // keeps the memory alive
    const unsigned char* origin = nullptr;
    ptrdiff_t xStep = 4;
    ptrdiff_t yStep = 0;
    ColorKernel::Format format = ColorKernel::Format::rgba8;
    ColorConverter::Source color;
    ColorChain pending;
    bool opaque = true;
    bool writable = false; // ours alone: may be overwritten in place
    Region region;

    bool contiguous() const { return format == ColorKernel::Format::rgba8 && xStep == 4 && yStep > 0; }
};

RenderContext::RenderContext(int threads)
    : runner_(threads)
    , resources_{&runner_, BufferPool::create(kRetainedBytes), &colors_} {}

namespace {

ColorChain fullChain(const ColorConverter::Source& source, const ColorChain& pending,
                     const ColorConverter::Target& target) {
    ColorChain chain;
    chain.appendAffine(ColorChain::Domain::linear, source.toDisplayP3);
    chain.append(pending);
    chain.appendAffine(ColorChain::Domain::linear, target.fromDisplayP3);
    return chain;
}

// A read-only image over another's memory: a crop of a bitmap costs nothing.
QImage viewOf(const QImage& owner, const unsigned char* origin, int width, int height, qsizetype stride,
              QImage::Format format) {
    return QImage(
        origin, width, height, stride, format, [](void* info) { delete static_cast<QImage*>(info); },
        new QImage(owner));
}

} // namespace

std::expected<RenderContext::Pixels, ImagingError>
RenderContext::fromBitmap(const QImage& bitmap, const Region& want, bool writable) const {
    QImage b = bitmap;
    const qint64 original = b.cacheKey();
    const ColorKernel::Format format = ColorKernel::readableLayout(b);
    if (b.isNull())
        return std::unexpected(outOfMemory());
    // A converted copy is ours to write into.
    writable = writable || b.cacheKey() != original;
    Pixels p;
    p.format = format;
    p.opaque = !b.hasAlphaChannel();
    p.region = want;
    p.yStep = b.bytesPerLine();
    p.color = colors_.source(b.colorSpace());
    const long top = b.height() - want.y1;
    p.origin = b.constBits() + top * p.yStep + want.x0 * 4;
    p.owner = b;
    p.writable = writable;
    if (p.color.transform) {
        // A profile with lookup tables: convert a copy of the region first.
        QImage copy = resources_.newImage(int(want.width()), int(want.height()),
                                          p.opaque ? QImage::Format_RGBX8888 : QImage::Format_RGBA8888);
        if (copy.isNull())
            return std::unexpected(outOfMemory());
        ColorKernel::Plan plain;
        plain.opaque = p.opaque;
        ColorKernel::apply(plain, {p.origin, 4, p.yStep, p.format},
                           {copy.bits(), 4, copy.bytesPerLine(), ColorKernel::Format::rgba8},
                           int(want.width()), int(want.height()), &runner_);
        ColorConverter::applyTransform(p.color.transform, copy.bits(), copy.width(), copy.height(),
                                       copy.bytesPerLine(), &runner_);
        p.owner = copy;
        p.origin = copy.constBits();
        p.yStep = copy.bytesPerLine();
        p.format = ColorKernel::Format::rgba8;
        p.color = ColorConverter::displayP3Source();
        p.writable = true;
    }
    return p;
}

std::expected<RenderContext::Pixels, ImagingError> RenderContext::materialise(const Image::Node* node,
                                                                              const Region& want) const {
    using Kind = Image::Node::Kind;
    switch (node->kind) {
    case Kind::bitmap:
        return fromBitmap(node->bitmap, want, false);

    case Kind::jpegFile: {
        // Read in Display P3, ready for the scale that asked for it.
        auto read = readJpeg(node, want, {}, ColorConverter::displayP3Target());
        if (!read)
            return std::unexpected(read.error());
        return pixelsOf(*std::move(read), want);
    }

    case Kind::raw: {
        auto developed = RawDeveloper::develop(node->path, node->rawScale, resources_);
        if (!developed)
            return std::unexpected(developed.error());
        if (Region{0, 0, developed->width(), developed->height()} != Region::of(node->extent))
            return std::unexpected(ImagingError{QStringLiteral("RAW developed to an unexpected size")});
        return fromBitmap(*developed, want, true);
    }

    case Kind::color: {
        auto p = materialise(node->input.get(), want);
        if (p)
            p->pending.append(node->chain);
        return p;
    }

    case Kind::crop:
        return materialise(node->input.get(), want);

    case Kind::translate: {
        const long dx = std::lround(node->dx), dy = std::lround(node->dy);
        auto p = materialise(node->input.get(), want.shifted(-dx, -dy));
        if (p)
            p->region = want;
        return p;
    }

    case Kind::scale: {
        const double sx = node->scaleX, sy = node->scaleY;
        const Region available = Region::of(node->input->extent);
        const double supportX = 3 / std::min(sx, 1.0) + 1, supportY = 3 / std::min(sy, 1.0) + 1;
        const Region needed = Region{long(std::floor((want.x0 + 0.5) / sx - supportX)),
                                     long(std::floor((want.y0 + 0.5) / sy - supportY)),
                                     long(std::ceil((want.x1 - 0.5) / sx + supportX)),
                                     long(std::ceil((want.y1 - 0.5) / sy + supportY))}
                                  .intersected(available);
        if (needed.isEmpty())
            return std::unexpected(ImagingError{QStringLiteral("Nothing to scale")});
        auto input = materialise(node->input.get(), needed);
        if (!input)
            return input;
        auto plain = resolve(std::move(*input), ColorConverter::displayP3Target());
        if (!plain)
            return plain;
        QImage out = resources_.newImage(int(want.width()), int(want.height()),
                                         plain->opaque ? QImage::Format_RGBX8888 : QImage::Format_RGBA8888);
        if (out.isNull())
            return std::unexpected(outOfMemory());
        // Output pixel centres map to input centres by the scale, from the
        // origin of image coordinates; rows run from the top.
        const LanczosResampler resampler(int(needed.width()), int(needed.height()), int(want.width()),
                                         int(want.height()), sx, sy, want.x0 / sx - needed.x0,
                                         needed.y1 - want.y1 / sy);
        resampler.resample(plain->origin, plain->yStep, out.bits(), out.bytesPerLine(), &runner_);
        Pixels p;
        p.owner = out;
        p.origin = out.constBits();
        p.yStep = out.bytesPerLine();
        p.color = ColorConverter::displayP3Source();
        p.opaque = plain->opaque;
        p.writable = true;
        p.region = want;
        return p;
    }
    }
    return std::unexpected(ImagingError{QStringLiteral("Unknown image operation")});
}

std::expected<QImage, ImagingError> RenderContext::readJpeg(const Image::Node* node, const Region& want,
                                                            const ColorChain& pending,
                                                            const ColorConverter::Target& target) const {
    const long top = Region::of(node->extent).y1 - want.y1;
    const QRect rect(int(want.x0), int(top), int(want.width()), int(want.height()));
    auto read = JpegReader(resources_).readFull(node->path, rect, [&](const ColorConverter::Source& source) {
        return ColorKernel::Plan{source.decode, fullChain(source, pending, target).steps(), target.encode,
                                 true};
    });
    if (read && target.transform)
        ColorConverter::applyTransform(target.transform, read->bits(), read->width(), read->height(),
                                       read->bytesPerLine(), &runner_);
    return read;
}

RenderContext::Pixels RenderContext::pixelsOf(QImage image, const Region& region) {
    Pixels p;
    p.origin = image.constBits();
    p.yStep = image.bytesPerLine();
    p.owner = std::move(image);
    p.color = ColorConverter::displayP3Source();
    p.writable = true;
    p.region = region;
    return p;
}

std::optional<std::expected<RenderContext::Pixels, ImagingError>>
RenderContext::streamed(const Image::Node* node, Region want, const ColorConverter::Target& target) const {
    using Kind = Image::Node::Kind;
    std::vector<const ColorChain*> chains; // outermost first
    for (;; node = node->input.get()) {
        if (node->kind == Kind::color)
            chains.push_back(&node->chain);
        else if (node->kind == Kind::translate)
            want = want.shifted(-std::lround(node->dx), -std::lround(node->dy));
        else if (node->kind == Kind::jpegFile)
            break;
        else if (node->kind != Kind::crop)
            return std::nullopt;
    }
    ColorChain pending;
    for (auto chain = chains.rbegin(); chain != chains.rend(); ++chain)
        pending.append(**chain);
    auto read = readJpeg(node, want, pending, target);
    if (!read)
        return std::unexpected(read.error());
    return pixelsOf(*std::move(read), want);
}

std::expected<RenderContext::Pixels, ImagingError>
RenderContext::resolve(Pixels p, const ColorConverter::Target& target) const {
    const int width = int(p.region.width()), height = int(p.region.height());
    const ColorKernel::Plan plan{p.color.decode, fullChain(p.color, p.pending, target).steps(), target.encode,
                                 p.opaque};
    if (ColorKernel::isIdentity(plan) && p.contiguous() && !target.transform) {
        p.pending = {};
        return p;
    }
    const bool inPlace = p.writable && p.contiguous() && p.yStep >= qsizetype(width) * 4;
    QImage owner = p.owner;
    unsigned char* out = nullptr;
    qsizetype stride = 0;
    if (inPlace) {
        out = const_cast<unsigned char*>(p.origin);
        stride = p.yStep;
    } else {
        owner =
            resources_.newImage(width, height, p.opaque ? QImage::Format_RGBX8888 : QImage::Format_RGBA8888);
        if (owner.isNull())
            return std::unexpected(outOfMemory());
        out = owner.bits();
        stride = owner.bytesPerLine();
    }
    ColorKernel::apply(plan, {p.origin, p.xStep, p.yStep, p.format},
                       {out, 4, stride, ColorKernel::Format::rgba8}, width, height, &runner_);
    if (target.transform)
        ColorConverter::applyTransform(target.transform, out, width, height, stride, &runner_);
    Pixels r;
    r.owner = owner;
    r.origin = out;
    r.yStep = stride;
    r.color = ColorConverter::displayP3Source();
    r.opaque = p.opaque;
    r.writable = true;
    r.region = p.region;
    return r;
}

std::expected<QImage, ImagingError> RenderContext::render(const Image& image, const ImageRect& rect,
                                                          const QColorSpace& space) const {
    if (image.isNull())
        return std::unexpected(ImagingError{QStringLiteral("No image")});
    const Region want = Region::of(rect);
    if (want.isEmpty() || want.width() > 65535 || want.height() > 65535)
        return std::unexpected(ImagingError{QStringLiteral("Nothing to render")});
    const ColorConverter::Target target = colors_.target(space);
    const QColorSpace tag = space.isValid() ? space : QColorSpace(QColorSpace::DisplayP3);
    const Region inner = want.intersected(Region::of(image.extent()));

    QImage result;
    if (inner.isEmpty()) {
        result = resources_.newImage(int(want.width()), int(want.height()), QImage::Format_RGBA8888);
        if (result.isNull())
            return std::unexpected(outOfMemory());
        result.fill(Qt::transparent);
    } else {
        // Colour, crops and shifts straight over a JPEG file are done as
        // libjpeg decodes; anything else is made, then finished.
        auto done = streamed(image.node(), inner, target);
        if (!done) {
            auto pixels = materialise(image.node(), inner);
            if (!pixels)
                return std::unexpected(pixels.error());
            done = resolve(std::move(*pixels), target);
        }
        if (!*done)
            return std::unexpected(done->error());
        const Pixels& p = **done;
        const int w = int(inner.width()), h = int(inner.height());
        if (inner == want) {
            const QImage::Format format = p.opaque ? QImage::Format_RGBX8888 : QImage::Format_RGBA8888;
            if (p.origin == p.owner.constBits() && p.owner.size() == QSize(w, h) &&
                p.owner.format() == format && p.owner.bytesPerLine() == qsizetype(w) * 4) {
                result = p.owner;
            } else if (p.yStep == qsizetype(w) * 4) {
                result = viewOf(p.owner, p.origin, w, h, p.yStep, format);
            } else {
                // Rows further apart than the width would trip Qt's own
                // conversions (Qt 6.4 copies whole source rows into the
                // narrower rows of the converted image), so a crop of wider
                // pixels is copied out.
                result = resources_.newImage(w, h, format);
                if (result.isNull())
                    return std::unexpected(outOfMemory());
                for (int y = 0; y < h; ++y)
                    std::memcpy(result.scanLine(y), p.origin + y * p.yStep, size_t(w) * 4);
            }
        } else {
            // Partly outside the image: transparent around it.
            result = resources_.newImage(int(want.width()), int(want.height()), QImage::Format_RGBA8888);
            if (result.isNull())
                return std::unexpected(outOfMemory());
            result.fill(Qt::transparent);
            const long left = inner.x0 - want.x0, top = want.y1 - inner.y1;
            for (int y = 0; y < h; ++y)
                std::memcpy(result.scanLine(int(top) + y) + left * 4, p.origin + y * p.yStep, size_t(w) * 4);
        }
    }
    if (result.colorSpace() != tag)
        result.setColorSpace(tag);
    return result;
}

std::expected<QByteArray, ImagingError> RenderContext::jpegData(const Image& image, const QColorSpace& space,
                                                                double quality) const {
    auto bitmap = render(image, space);
    if (!bitmap)
        return std::unexpected(bitmap.error());
    JpegCompressor::Options options;
    options.quality = JpegCompressor::qualityPercent(quality);
    options.runner = &runner_;
    return JpegCompressor::encode(bitmap->constBits(), bitmap->width(), bitmap->height(),
                                  bitmap->bytesPerLine(), ColorKernel::Format::rgba8, options);
}
