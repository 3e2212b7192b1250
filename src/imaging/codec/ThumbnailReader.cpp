#include "ThumbnailReader.h"

#include "imaging/color/ColorConverter.h"
#include "imaging/color/ColorKernel.h"

#include "ExifBlock.h"
#include "JpegDecoder.h"
#include "JpegMarkers.h"
#include "JpegReader.h"
#include "RawDeveloper.h"
#include "RegularFile.h"
#include "imaging/pixels/LanczosResampler.h"
#include "imaging/pixels/Orientation.h"

#include <QColorSpace>

#include <algorithm>
#include <cmath>

namespace {

constexpr qsizetype kMaxHeader = 1 << 20;

bool isJpeg(const QByteArray& head) {
    return head.size() >= 2 && uchar(head[0]) == 0xFF && uchar(head[1]) == 0xD8;
}

// Cameras fit a 3:2 picture into a 4:3 thumbnail with black bars; cut them
// off when they are there, so the thumbnail shows the picture's shape.
QImage withoutBars(const QImage& thumbnail, QSize picture) {
    if (picture.isEmpty() || thumbnail.isNull())
        return thumbnail;
    const double want = double(picture.width()) / picture.height();
    const double have = double(thumbnail.width()) / thumbnail.height();
    if (std::fabs(want / have - 1) < 0.02)
        return thumbnail;
    QRect keep(QPoint(0, 0), thumbnail.size());
    if (want > have)
        keep.setHeight(std::max(1, int(std::lround(thumbnail.width() / want))));
    else
        keep.setWidth(std::max(1, int(std::lround(thumbnail.height() * want))));
    keep.moveCenter(QRect(QPoint(0, 0), thumbnail.size()).center());
    // Only when what would be cut is (nearly) black.
    long sum = 0, count = 0;
    for (int y = 0; y < thumbnail.height(); ++y) {
        const uchar* row = thumbnail.constScanLine(y);
        for (int x = 0; x < thumbnail.width(); ++x) {
            if (keep.contains(x, y))
                continue;
            sum += row[x * 4] + row[x * 4 + 1] + row[x * 4 + 2];
            count += 3;
        }
    }
    if (count == 0 || sum > 12 * count)
        return thumbnail;
    QImage cut = thumbnail.copy(keep);
    cut.setColorSpace(thumbnail.colorSpace());
    return cut;
}

} // namespace

std::expected<QImage, ImagingError> ThumbnailReader::read(const QString& path, int maxPixel,
                                                          EmbeddedPreview preview) const {
    // Anything but a regular file is refused here, before a decoder opens it.
    auto file = RegularFile::open(path);
    if (!file)
        return std::unexpected(file.error());
    // One read serves both the kind of file and, for a JPEG, its header.
    auto first = file->read(96 * 1024);
    if (!first)
        return std::unexpected(first.error());
    const bool jpeg = isJpeg(*first);
    if (preview == EmbeddedPreview::allowed) {
        auto thumbnail =
            jpeg ? fromExifThumbnail(*file, *std::move(first), maxPixel) : fromRawPreview(path, maxPixel);
        if (thumbnail)
            return thumbnail;
    }
    if (jpeg)
        return JpegReader(resources_).readScaled(path, maxPixel);
    auto raw = RawDeveloper::open(path);
    if (!raw)
        return std::unexpected(raw.error());
    const QSize native = raw->nativeSize();
    return RawDeveloper::develop(
        path, std::min(1.0, double(maxPixel) / std::max(native.width(), native.height())), resources_);
}

std::expected<QImage, ImagingError> ThumbnailReader::fromExifThumbnail(RegularFile& file, QByteArray head,
                                                                       int maxPixel) const {
    JpegMarkers markers = JpegMarkers::parse(head);
    while (markers.status == JpegMarkers::Status::needMore && markers.needed <= kMaxHeader &&
           head.size() < file.size()) {
        const auto more = file.read(std::max(markers.needed - head.size(), qsizetype(64 * 1024)));
        if (!more || more->isEmpty())
            break;
        head += *more;
        markers = JpegMarkers::parse(head);
    }
    if (markers.status != JpegMarkers::Status::complete)
        return std::unexpected(ImagingError{QStringLiteral("Damaged JPEG header")});
    const ExifBlock exif = ExifBlock::parse(markers.exif);
    if (!exif.thumbnail)
        return std::unexpected(ImagingError{QStringLiteral("No EXIF thumbnail")});
    auto decoder = JpegDecoder::openBytes(markers.exif.mid(exif.thumbnail->offset, exif.thumbnail->length));
    if (!decoder)
        return std::unexpected(decoder.error());
    auto image = JpegReader(resources_).readScaled(**decoder, maxPixel, exif.orientation);
    if (!image)
        return image;
    const QSize picture = Orientation::uprightSize(QSize(markers.width, markers.height), exif.orientation);
    return withoutBars(*image, picture);
}

std::expected<QImage, ImagingError> ThumbnailReader::fromRawPreview(const QString& path, int maxPixel) const {
    const auto preview = RawDeveloper::preview(path);
    if (!preview)
        return std::unexpected(ImagingError{QStringLiteral("No embedded preview")});
    if (!preview->jpeg.isEmpty()) {
        auto decoder = JpegDecoder::openBytes(preview->jpeg);
        if (!decoder)
            return std::unexpected(decoder.error());
        return JpegReader(resources_).readScaled(**decoder, maxPixel, preview->orientation);
    }
    // An uncompressed RGB preview (DNG): small already; scale and turn it.
    QImage bitmap = preview->bitmap.convertToFormat(QImage::Format_RGBX8888);
    const int longSide = std::max(bitmap.width(), bitmap.height());
    if (longSide > maxPixel) {
        const double s = double(maxPixel) / longSide;
        const int w = std::max(1, int(std::lround(bitmap.width() * s)));
        const int h = std::max(1, int(std::lround(bitmap.height() * s)));
        QImage scaled(w, h, QImage::Format_RGBX8888);
        LanczosResampler(bitmap.width(), bitmap.height(), w, h)
            .resample(bitmap.constBits(), bitmap.bytesPerLine(), scaled.bits(), scaled.bytesPerLine(),
                      nullptr);
        bitmap = scaled;
    }
    const QSize upright = Orientation::uprightSize(bitmap.size(), preview->orientation);
    QImage out(upright, QImage::Format_RGBX8888);
    const Orientation::Steps place =
        Orientation::placement(preview->orientation, bitmap.width(), bitmap.height(), out.bytesPerLine(), 4);
    ColorChain chain;
    ColorKernel::Plan plan;
    // Previews are sRGB.
    chain.appendAffine(ColorChain::Domain::linear, resources_.colors->source(QByteArray()).toDisplayP3);
    plan.steps = chain.steps();
    ColorKernel::apply(plan, {bitmap.constBits(), 4, bitmap.bytesPerLine(), ColorKernel::Format::rgba8},
                       {out.bits() + place.offset, place.xStep, place.yStep, ColorKernel::Format::rgba8},
                       bitmap.width(), bitmap.height(), nullptr);
    out.setColorSpace(QColorSpace(QColorSpace::DisplayP3));
    return out;
}
