#include "ScreenColor.h"

#include "ColorChain.h"
#include "ColorKernel.h"

ScreenColor::ScreenColor(const QColorSpace& screen)
    : screen_(screen.isValid() ? screen : QColorSpace(QColorSpace::SRgb))
    , runner_(0) {}

QImage ScreenColor::convert(const QImage& bitmap) const {
    if (bitmap.isNull())
        return {};
    QImage source = bitmap;
    ColorKernel::Format format = ColorKernel::Format::rgba8;
    switch (source.format()) {
    case QImage::Format_RGBA8888:
    case QImage::Format_RGBX8888:
        break;
    case QImage::Format_ARGB32:
    case QImage::Format_RGB32:
        format = ColorKernel::Format::bgra8;
        break;
    default:
        source = source.convertToFormat(source.hasAlphaChannel() ? QImage::Format_RGBA8888
                                                                 : QImage::Format_RGBX8888);
        break;
    }
    const bool opaque = !source.hasAlphaChannel();
    const ColorConverter::Source from = colors_.source(source.colorSpace());
    const ColorConverter::Target to = colors_.target(screen_);

    if (from.transform) {
        source = source.convertToFormat(QImage::Format_RGBA8888);
        ColorConverter::applyTransform(from.transform, source.bits(), source.width(), source.height(),
                                       source.bytesPerLine(), &runner_);
        format = ColorKernel::Format::rgba8;
    }
    ColorChain chain;
    if (!from.transform)
        chain.appendAffine(ColorChain::Domain::linear, from.toDisplayP3);
    chain.appendAffine(ColorChain::Domain::linear, to.fromDisplayP3);
    const ColorKernel::Plan plan{from.transform ? ColorKernel::srgbDecode() : from.decode, chain.steps(),
                                 to.encode, opaque};

    QImage out(source.size(), to.transform ? QImage::Format_RGBA8888
                                           : (opaque ? QImage::Format_RGB32 : QImage::Format_ARGB32));
    if (out.isNull())
        return {};
    ColorKernel::apply(plan, {source.constBits(), 4, source.bytesPerLine(), format},
                       {out.bits(), 4, out.bytesPerLine(),
                        to.transform ? ColorKernel::Format::rgba8 : ColorKernel::Format::bgra8},
                       out.width(), out.height(), &runner_);
    if (to.transform) {
        ColorConverter::applyTransform(to.transform, out.bits(), out.width(), out.height(),
                                       out.bytesPerLine(), &runner_);
        out = out.convertToFormat(opaque ? QImage::Format_RGB32 : QImage::Format_ARGB32_Premultiplied);
    } else if (!opaque) {
        out = out.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    }
    out.setColorSpace(screen_);
    return out;
}
