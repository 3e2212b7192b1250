#include "ScreenColor.h"

#include "ColorChain.h"
#include "ColorKernel.h"

namespace {

// One screen image (2560 x 1707 x 4 bytes, in whole huge pages): the stage
// holds the one it shows, and the one it showed before comes back here for
// the next step to write into.
constexpr size_t kRetainedBytes = size_t(20) << 20;

// The same pixels under another format, without a copy; the view keeps `image` alive.
QImage reformatted(const QImage& image, QImage::Format format) {
    // constBits: bits() would copy the pixels, as `owner` shares them.
    auto* owner = new QImage(image);
    return QImage(
        const_cast<uchar*>(owner->constBits()), image.width(), image.height(), image.bytesPerLine(), format,
        [](void* info) { delete static_cast<QImage*>(info); }, owner);
}

// In place, over 4-byte pixels: red and blue swapped, and colour multiplied by alpha.
void finishRows(uchar* pixels, qsizetype stride, int width, int height, bool swap, bool premultiply,
                const ParallelRunner& runner) {
    runner.run(height, std::max(1, 65536 / std::max(1, width)), [&](int begin, int end) {
        for (int y = begin; y < end; ++y) {
            auto* row = reinterpret_cast<QRgb*>(pixels + y * stride);
            for (int x = 0; x < width; ++x) {
                QRgb p = row[x];
                if (swap)
                    p = (p & 0xff00ff00u) | ((p >> 16) & 0xffu) | ((p & 0xffu) << 16);
                row[x] = premultiply ? qPremultiply(p) : p;
            }
        }
    });
}

} // namespace

ScreenColor::ScreenColor(const QColorSpace& screen)
    : screen_(screen.isValid() ? screen : QColorSpace(QColorSpace::SRgb))
    , runner_(0)
    , resources_{&runner_, BufferPool::create(kRetainedBytes), &colors_} {}

QImage ScreenColor::convert(const QImage& bitmap) const {
    if (bitmap.isNull())
        return {};
    QImage source = bitmap;
    ColorKernel::Format format = ColorKernel::readableLayout(source);
    if (source.isNull())
        return {};
    const int width = source.width(), height = source.height();
    const bool opaque = !source.hasAlphaChannel();
    const ColorConverter::Source from = colors_.source(source.colorSpace());
    const ColorConverter::Target to = colors_.target(screen_);

    if (from.transform) {
        // A profile with lookup tables: its lcms2 transform on an RGBA copy first.
        QImage copy = resources_.newImage(width, height, QImage::Format_RGBA8888);
        if (copy.isNull())
            return {};
        ColorKernel::Plan plain;
        plain.opaque = opaque;
        ColorKernel::apply(plain, {source.constBits(), 4, source.bytesPerLine(), format},
                           {copy.bits(), 4, copy.bytesPerLine(), ColorKernel::Format::rgba8}, width, height,
                           &runner_);
        ColorConverter::applyTransform(from.transform, copy.bits(), width, height, copy.bytesPerLine(),
                                       &runner_);
        source = copy;
        format = ColorKernel::Format::rgba8;
    }
    ColorChain chain;
    if (!from.transform)
        chain.appendAffine(ColorChain::Domain::linear, from.toDisplayP3);
    chain.appendAffine(ColorChain::Domain::linear, to.fromDisplayP3);
    const ColorKernel::Plan plan{from.transform ? ColorKernel::srgbDecode() : from.decode, chain.steps(),
                                 to.encode, opaque};

    // Written in the screen's byte order (blue first) unless an lcms2
    // transform follows, which reads red first.
    const QImage::Format screenFormat = opaque ? QImage::Format_RGB32 : QImage::Format_ARGB32_Premultiplied;
    QImage out = resources_.newImage(width, height, to.transform ? QImage::Format_RGBA8888 : screenFormat);
    if (out.isNull())
        return {};
    ColorKernel::apply(plan, {source.constBits(), 4, source.bytesPerLine(), format},
                       {out.bits(), 4, out.bytesPerLine(),
                        to.transform ? ColorKernel::Format::rgba8 : ColorKernel::Format::bgra8},
                       width, height, &runner_);
    if (to.transform)
        ColorConverter::applyTransform(to.transform, out.bits(), width, height, out.bytesPerLine(), &runner_);
    if (to.transform || !opaque)
        finishRows(out.bits(), out.bytesPerLine(), width, height, bool(to.transform), !opaque, runner_);
    if (out.format() != screenFormat)
        out = reformatted(out, screenFormat);
    out.setColorSpace(screen_);
    return out;
}
