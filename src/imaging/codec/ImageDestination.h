#pragma once

#include "ImageMetadata.h"
#include "ImagingError.h"

#include <QImage>

#include <expected>

class ParallelRunner;

// A JPEG file for one bitmap and its metadata: add the image, then finalise,
// which encodes it with the bitmap's colour profile embedded and the
// metadata (EXIF, GPS, IPTC, XMP) as segments, and writes it to the file
// descriptor. The caller owns the descriptor (and decides the file's name).
// With helper threads, a large image is encoded in strips at once.
class ImageDestination {
public:
    explicit ImageDestination(int fd, const ParallelRunner* runner = nullptr)
        : fd_(fd)
        , runner_(runner) {}

    void addImage(const QImage& bitmap, const ImageMetadata& metadata, double quality);
    std::expected<void, ImagingError> finalize();

private:
    int fd_ = -1;
    const ParallelRunner* runner_ = nullptr;
    QImage bitmap_;
    ImageMetadata metadata_;
    double quality_ = 0.92;
};
