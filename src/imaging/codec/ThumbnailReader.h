#pragma once

#include "ImagingError.h"
#include "imaging/pixels/PixelResources.h"

#include <QImage>
#include <QString>

#include <expected>

// Small upright Display P3 images of a file, for the filmstrip and the
// screen. With the embedded preview allowed, the largest preview the camera
// stored is used (the EXIF thumbnail of a JPEG, read from the first
// kilobytes of the file; the preview JPEG of a RAW, decoded at a reduced DCT
// scale when large): a thousand times cheaper than decoding the photo. A
// file without a preview, or with previews ignored, is decoded (JPEGs at the
// smallest DCT scale that keeps the size) or developed. Any thread.
class RegularFile;

class ThumbnailReader {
public:
    enum class EmbeddedPreview { allowed, ignored };

    explicit ThumbnailReader(PixelResources resources)
        : resources_(std::move(resources)) {}

    // At most maxPixel on the longer side (never enlarged).
    std::expected<QImage, ImagingError> read(const QString& path, int maxPixel,
                                             EmbeddedPreview preview) const;

private:
    // From the file already opened by read(), whose first bytes are `head`.
    std::expected<QImage, ImagingError> fromExifThumbnail(RegularFile& file, QByteArray head,
                                                          int maxPixel) const;
    std::expected<QImage, ImagingError> fromRawPreview(const QString& path, int maxPixel) const;

    PixelResources resources_;
};
