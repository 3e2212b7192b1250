#include "RawDeveloper.h"

#include "RawPreviewReader.h"
#include "RegularFile.h"
#include "imaging/color/ColorChain.h"
#include "imaging/color/ColorKernel.h"
#include "imaging/color/ColorMath.h"
#include "imaging/pixels/LanczosResampler.h"
#include "imaging/pixels/ParallelRunner.h"

#include <QColorSpace>
#include <QFile>

#include <libraw.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <unistd.h>

namespace {

// LibRaw's input over a descriptor already known to be a regular file, read
// through stdio's buffer as LibRaw's own file input is.
class DescriptorStream : public LibRaw_abstract_datastream {
public:
    DescriptorStream(RegularFile file, QByteArray name)
        : size_(file.size())
        , name_(std::move(name)) {
        const int fd = file.release();
        file_ = ::fdopen(fd, "rb");
        if (!file_)
            ::close(fd);
    }
    ~DescriptorStream() override {
        if (file_)
            std::fclose(file_);
    }
    DescriptorStream(const DescriptorStream&) = delete;
    DescriptorStream& operator=(const DescriptorStream&) = delete;

    int valid() override { return file_ != nullptr; }
    int read(void* data, size_t size, size_t count) override {
        return int(std::fread(data, size, count, file_));
    }
    int seek(INT64 offset, int whence) override { return ::fseeko(file_, off_t(offset), whence); }
    INT64 tell() override { return INT64(::ftello(file_)); }
    INT64 size() override { return INT64(size_); }
    int get_char() override { return getc_unlocked(file_); }
    char* gets(char* text, int size) override { return std::fgets(text, size, file_); }
    int scanf_one(const char* format, void* value) override { return std::fscanf(file_, format, value); }
    int eof() override { return std::feof(file_); }
    void* make_jas_stream() override { return nullptr; }
    const char* fname() override { return name_.constData(); }

private:
    std::FILE* file_ = nullptr;
    qint64 size_ = 0;
    QByteArray name_;
};

// One LibRaw processor, quiet about damaged data (the result codes say it).
// The input outlives the processor that reads it.
struct Processor {
    std::unique_ptr<DescriptorStream> input;
    std::unique_ptr<LibRaw> raw = std::make_unique<LibRaw>(LIBRAW_OPTIONS_NONE);
    Processor() {
        raw->set_dataerror_handler([](void*, const char*, const int) {}, nullptr);
    }
    ~Processor() { raw->recycle(); }
};

ImagingError error(int code) {
    return ImagingError{QStringLiteral("RAW: ") + QString::fromLatin1(libraw_strerror(code))};
}

// LibRaw's `flip` as an EXIF orientation (the inverse of the table LibRaw
// reads EXIF orientations with).
int orientationOf(int flip) {
    static constexpr int exif[8] = {1, 2, 4, 3, 5, 8, 6, 7};
    return flip >= 0 && flip < 8 ? exif[flip] : 1;
}

// A sensor larger than this is refused before anything is unpacked: a small
// file declaring a huge sensor would otherwise cost gigabytes and seconds
// (LibRaw's own allocation limit is far higher).
constexpr quint64 kMaxPixels = 200'000'000;

// Every photosite costs at least one bit in the formats a camera writes
// (uncompressed, lossless JPEG, packed blocks), so a file too small for its
// declared sensor is damaged: LibRaw would read past its end and develop
// seconds' worth of zeros.
constexpr quint64 kMinBitsPerPhotosite = 1;

std::expected<void, ImagingError> openFile(Processor& p, const QString& path) {
    auto file = RegularFile::open(path);
    if (!file)
        return std::unexpected(file.error());
    p.input = std::make_unique<DescriptorStream>(*std::move(file), QFile::encodeName(path));
    if (!p.input->valid())
        return std::unexpected(ImagingError{QStringLiteral("Out of memory")});
    const int code = p.raw->open_datastream(p.input.get());
    if (code != LIBRAW_SUCCESS)
        return std::unexpected(error(code));
    const libraw_image_sizes_t& s = p.raw->imgdata.sizes;
    if (quint64(s.raw_width) * s.raw_height > kMaxPixels || quint64(s.width) * s.height > kMaxPixels)
        return std::unexpected(
            ImagingError{QStringLiteral("RAW too large: %1 x %2").arg(s.raw_width).arg(s.raw_height)});
    if (quint64(s.raw_width) * s.raw_height * kMinBitsPerPhotosite / 8 > quint64(p.input->size()))
        return std::unexpected(ImagingError{QStringLiteral("RAW data cut short: %1 x %2 in %3 bytes")
                                                .arg(s.raw_width)
                                                .arg(s.raw_height)
                                                .arg(p.input->size())});
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
    o.output_bps = 16;
    o.gamm[0] = 1; // linear output; the kernel encodes
    o.gamm[1] = 1;
    // The sensor's white level is white. LibRaw's automatic brightening
    // would stretch each picture by its own histogram, and a RAW would look
    // brighter than the camera's JPEG of the same shot.
    o.no_auto_bright = 1;
    // Nor does the brightest pixel of a dim picture become the white level:
    // the file's own white level stands.
    o.adjust_maximum_thr = 0;
    o.half_size = scale <= 0.5 ? 1 : 0;
    int code = p.raw->unpack();
    // With a colour matrix (the file's own, as in a DNG, or LibRaw's for a
    // camera it knows) LibRaw renders into the space asked for: ProPhoto
    // holds every colour of Display P3. Without one it hands back the
    // camera's white-balanced RGB whatever is asked, which it means as sRGB.
    const bool colourManaged = p.raw->imgdata.rawdata.ioparams.raw_color == 0;
    o.output_color = colourManaged ? 4 : 1;
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
    // Copies upright, the white level scaled to 16 bits.
    code = p.raw->copy_mem_image(developed->data(), int(stride), 0);
    if (code != LIBRAW_SUCCESS)
        return std::unexpected(error(code));
    p.raw->recycle();

    // The size asked for, from the native size (half-size development rounds up).
    const QSize target = scaled(native, scale).boundedTo(QSize(width, height));

    ColorChain chain;
    chain.appendAffine(ColorChain::Domain::linear,
                       colourManaged ? proPhotoToDisplayP3() : ColorMath::srgbToDisplayP3());
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
    // LibRaw for the orientation the development applies; the preview itself
    // is found by our own bounded reader.
    Processor p;
    if (!openFile(p, path))
        return std::nullopt;
    const auto file = RegularFile::open(path);
    if (!file)
        return std::nullopt;
    auto found = RawPreviewReader::read(*file);
    if (!found)
        return std::nullopt;
    Preview preview;
    preview.orientation = orientationOf(p.raw->imgdata.sizes.flip);
    preview.jpeg = std::move(found->jpeg);
    preview.bitmap = std::move(found->bitmap);
    return preview;
}
