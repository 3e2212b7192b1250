#include "RawDeveloper.h"

#include "ColorChain.h"
#include "ColorKernel.h"
#include "ColorMath.h"
#include "LanczosResampler.h"
#include "ParallelRunner.h"

#include <QColorSpace>
#include <QFile>

#include <libraw.h>

#include <algorithm>
#include <cmath>
#include <memory>

namespace {

// One LibRaw processor, quiet about damaged data (the result codes say it).
struct Processor {
    std::unique_ptr<LibRaw> raw = std::make_unique<LibRaw>(LIBRAW_OPTIONS_NONE);
    Processor() {
        raw->set_dataerror_handler([](void*, const char*, const int) {}, nullptr);
    }
    ~Processor() { raw->recycle(); }
};

ImagingError error(int code) {
    return ImagingError{QStringLiteral("RAW: ") + QString::fromLatin1(libraw_strerror(code))};
}

// LibRaw's `flip` (0, 3, 5, 6) as an EXIF orientation.
int orientationOf(int flip) {
    switch (flip) {
    case 3:
        return 3;
    case 5:
        return 8;
    case 6:
        return 6;
    default:
        return 1;
    }
}

std::expected<void, ImagingError> openFile(Processor& p, const QString& path) {
    if (!QFile::exists(path))
        return std::unexpected(ImagingError{QStringLiteral("No such file")});
    const int code = p.raw->open_file(QFile::encodeName(path).constData());
    if (code != LIBRAW_SUCCESS)
        return std::unexpected(error(code));
    return {};
}

// LibRaw's ProPhoto output is its sRGB-to-ProPhoto matrix (white kept) applied
// to linear sRGB; undoing it and going on to Display P3 keeps every colour.
Matrix3 proPhotoToDisplayP3() {
    const Matrix3 srgbToProPhoto{
        {0.529317, 0.330092, 0.140588, 0.098368, 0.873465, 0.028169, 0.016879, 0.117663, 0.865457}};
    return ColorMath::srgbToDisplayP3() * srgbToProPhoto.inverted();
}

QSize scaled(QSize size, double scale) {
    return QSize(std::max(1, int(std::lround(size.width() * scale))),
                 std::max(1, int(std::lround(size.height() * scale))));
}

} // namespace

std::expected<RawDeveloper, ImagingError> RawDeveloper::open(const QString& path) {
    Processor p;
    if (auto opened = openFile(p, path); !opened)
        return std::unexpected(opened.error());
    const libraw_image_sizes_t& s = p.raw->imgdata.sizes;
    if (s.width == 0 || s.height == 0)
        return std::unexpected(ImagingError{QStringLiteral("RAW without pixels")});
    RawDeveloper developer;
    developer.path_ = path;
    developer.orientation_ = orientationOf(s.flip);
    const QSize stored(s.width, s.height);
    developer.nativeSize_ = (s.flip & 4) ? stored.transposed() : stored;
    return developer;
}

void RawDeveloper::setScale(double scale) {
    scale_ = std::clamp(scale, 1e-6, 1.0);
}

QSize RawDeveloper::outputSize() const {
    return scaled(nativeSize_, scale_);
}

Image RawDeveloper::outputImage() const {
    return Image::fromRaw(path_, outputSize(), scale_);
}

namespace {

// Develops `path` at the scale `scaleFor` gives for its upright native size.
std::expected<RawDeveloper::Developed, ImagingError> developFile(const QString& path,
                                                                 const std::function<double(QSize)>& scaleFor,
                                                                 const PixelResources& resources) {
    Processor p;
    if (auto opened = openFile(p, path); !opened)
        return std::unexpected(opened.error());
    const libraw_image_sizes_t& sizes = p.raw->imgdata.sizes;
    const QSize native =
        (sizes.flip & 4) ? QSize(sizes.height, sizes.width) : QSize(sizes.width, sizes.height);
    if (native.isEmpty())
        return std::unexpected(ImagingError{QStringLiteral("RAW without pixels")});
    const double scale = std::clamp(scaleFor(native), 1e-6, 1.0);
    libraw_output_params_t& o = p.raw->imgdata.params;
    o.use_camera_wb = 1;
    o.output_color = 4; // ProPhoto: holds every colour of Display P3
    o.output_bps = 16;
    o.gamm[0] = 1; // linear output; the kernel encodes
    o.gamm[1] = 1;
    o.half_size = scale <= 0.5 ? 1 : 0;
    int code = p.raw->unpack();
    if (code == LIBRAW_SUCCESS)
        code = p.raw->dcraw_process();
    if (code != LIBRAW_SUCCESS)
        return std::unexpected(error(code));

    int width = 0, height = 0, colors = 0, bits = 0;
    p.raw->get_mem_image_format(&width, &height, &colors, &bits);
    if (width <= 0 || height <= 0 || colors != 3 || bits != 16)
        return std::unexpected(ImagingError{QStringLiteral("RAW developed to an unexpected format")});
    const qsizetype stride = qsizetype(width) * 6;
    const std::shared_ptr<PixelBuffer> developed = resources.pool->take(size_t(stride) * size_t(height));
    if (!developed)
        return std::unexpected(ImagingError{QStringLiteral("Out of memory")});
    // Copies upright, with LibRaw's brightness scaling.
    code = p.raw->copy_mem_image(developed->data(), int(stride), 0);
    if (code != LIBRAW_SUCCESS)
        return std::unexpected(error(code));
    p.raw->recycle();

    // The size asked for, from the native size (half-size development rounds up).
    const QSize target = scaled(native, scale).boundedTo(QSize(width, height));

    ColorChain chain;
    chain.appendAffine(ColorChain::Domain::linear, proPhotoToDisplayP3());
    const ColorKernel::Plan plan{nullptr, chain.steps(), ColorKernel::srgbEncode(), true};
    const bool resample = target != QSize(width, height);
    QImage converted = resources.newImage(width, height, QImage::Format_RGBX8888);
    if (converted.isNull())
        return std::unexpected(ImagingError{QStringLiteral("Out of memory")});
    ColorKernel::apply(plan, {developed->data(), 6, stride, ColorKernel::Format::rgb16},
                       {converted.bits(), 4, converted.bytesPerLine(), ColorKernel::Format::rgba8}, width,
                       height, resources.runner);
    if (resample) {
        QImage out = resources.newImage(target.width(), target.height(), QImage::Format_RGBX8888);
        if (out.isNull())
            return std::unexpected(ImagingError{QStringLiteral("Out of memory")});
        const LanczosResampler resampler(width, height, target.width(), target.height());
        resampler.resample(converted.constBits(), converted.bytesPerLine(), out.bits(), out.bytesPerLine(),
                           resources.runner);
        converted = out;
    }
    converted.setColorSpace(QColorSpace(QColorSpace::DisplayP3));
    return RawDeveloper::Developed{converted, native};
}

} // namespace

std::expected<QImage, ImagingError> RawDeveloper::develop(const QString& path, double scale,
                                                          const PixelResources& resources) {
    auto developed = developFile(
        path, [scale](QSize) { return scale; }, resources);
    if (!developed)
        return std::unexpected(developed.error());
    return developed->image;
}

std::expected<RawDeveloper::Developed, ImagingError>
RawDeveloper::developWithin(const QString& path, int maxPixel, const PixelResources& resources) {
    return developFile(
        path,
        [maxPixel](QSize native) {
            return std::min(double(maxPixel) / std::max(native.width(), native.height()), 1.0);
        },
        resources);
}

std::optional<RawDeveloper::Preview> RawDeveloper::preview(const QString& path) {
    Processor p;
    if (!openFile(p, path))
        return std::nullopt;
    if (p.raw->unpack_thumb() != LIBRAW_SUCCESS)
        return std::nullopt;
    const libraw_thumbnail_t& t = p.raw->imgdata.thumbnail;
    Preview preview;
    preview.orientation = orientationOf(p.raw->imgdata.sizes.flip);
    if (t.tformat == LIBRAW_THUMBNAIL_JPEG && t.thumb && t.tlength > 0) {
        preview.jpeg = QByteArray(t.thumb, qsizetype(t.tlength));
        return preview;
    }
    if (t.tformat == LIBRAW_THUMBNAIL_BITMAP && t.thumb && t.tcolors == 3 && t.twidth > 0 && t.theight > 0 &&
        qsizetype(t.tlength) >= qsizetype(t.twidth) * t.theight * 3) {
        QImage bitmap(reinterpret_cast<const uchar*>(t.thumb), t.twidth, t.theight, qsizetype(t.twidth) * 3,
                      QImage::Format_RGB888);
        preview.bitmap = bitmap.copy();
        return preview;
    }
    return std::nullopt;
}
