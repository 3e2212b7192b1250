#include "ImageProperties.h"

#include "ExifBlock.h"
#include "JpegMarkers.h"
#include "RawDeveloper.h"
#include "RegularFile.h"
#include "imaging/pixels/Orientation.h"

#include <algorithm>

namespace {

// JPEG headers end within the first few hundred kilobytes; past this the
// file is taken to be damaged.
constexpr qsizetype kMaxHeader = 16 << 20;

} // namespace

QSize ImageProperties::uprightSize() const {
    return Orientation::uprightSize(pixelSize, orientation);
}

std::expected<ImageProperties, ImagingError> ImageProperties::readHeader(const QString& path) {
    auto file = RegularFile::open(path);
    if (!file)
        return std::unexpected(file.error());
    auto first = file->read(64 * 1024);
    if (!first)
        return std::unexpected(first.error());
    QByteArray head = *std::move(first);
    if (head.size() >= 2 && uchar(head[0]) == 0xFF && uchar(head[1]) == 0xD8) {
        for (;;) {
            const JpegMarkers markers = JpegMarkers::parse(head);
            if (markers.status == JpegMarkers::Status::complete) {
                ImageProperties properties;
                properties.pixelSize = QSize(markers.width, markers.height);
                properties.orientation = ExifBlock::parse(markers.exif).orientation;
                return properties;
            }
            const ImagingError damaged{QStringLiteral("Damaged JPEG header")};
            if (markers.status == JpegMarkers::Status::invalid || markers.needed > kMaxHeader)
                return std::unexpected(damaged);
            const auto more = file->read(std::max(markers.needed - head.size(), qsizetype(64 * 1024)));
            if (!more || more->isEmpty())
                return std::unexpected(damaged);
            head += *more;
        }
    }
    auto raw = RawDeveloper::open(path);
    if (!raw)
        return std::unexpected(raw.error());
    ImageProperties properties;
    properties.orientation = raw->orientation();
    properties.pixelSize = Orientation::uprightSize(raw->nativeSize(), raw->orientation());
    return properties;
}

std::expected<ImageProperties, ImagingError> ImageProperties::read(const QString& path) {
    auto properties = readHeader(path);
    if (!properties)
        return properties;
    auto metadata = ImageMetadata::read(path);
    if (metadata)
        properties->metadata = *metadata;
    return properties;
}
