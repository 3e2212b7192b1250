#include "ImageProperties.h"

#include "ExifBlock.h"
#include "JpegMarkers.h"
#include "Orientation.h"
#include "RawDeveloper.h"

#include <QFile>

namespace {

// JPEG headers end within the first few hundred kilobytes; past this the
// file is taken to be damaged.
constexpr qsizetype kMaxHeader = 16 << 20;

} // namespace

QSize ImageProperties::uprightSize() const {
    return Orientation::uprightSize(pixelSize, orientation);
}

std::expected<ImageProperties, ImagingError> ImageProperties::readHeader(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::unexpected(ImagingError{file.errorString()});
    QByteArray head = file.read(64 * 1024);
    if (head.size() >= 2 && uchar(head[0]) == 0xFF && uchar(head[1]) == 0xD8) {
        for (;;) {
            const JpegMarkers markers = JpegMarkers::parse(head);
            if (markers.status == JpegMarkers::Status::complete) {
                ImageProperties properties;
                properties.pixelSize = QSize(markers.width, markers.height);
                properties.orientation = ExifBlock::parse(markers.exif).orientation;
                return properties;
            }
            if (markers.status == JpegMarkers::Status::invalid || markers.needed > kMaxHeader ||
                head.size() >= file.size())
                return std::unexpected(ImagingError{QStringLiteral("Damaged JPEG header")});
            head += file.read(std::max(markers.needed - head.size(), qsizetype(64 * 1024)));
        }
    }
    file.close();
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
