#pragma once

#include "ImageMetadata.h"
#include "ImagingError.h"

#include <QImage>

#include <expected>

// A JPEG file for one bitmap and its metadata: add the image, then finalise,
// which encodes it with the bitmap's colour profile embedded and the
// metadata (EXIF, GPS, IPTC, XMP) as segments, and writes it to the file
// descriptor. The caller owns the descriptor (and decides the file's name).
class ImageDestination {
public:
    explicit ImageDestination(int fd)
        : fd_(fd) {}

    void addImage(const QImage& bitmap, const ImageMetadata& metadata, double quality);
    std::expected<void, ImagingError> finalize();

private:
    int fd_ = -1;
    QImage bitmap_;
    ImageMetadata metadata_;
    double quality_ = 0.92;
};
