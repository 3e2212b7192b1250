#pragma once

#include "ImageMetadata.h"
#include "ImagingError.h"

#include <QSize>
#include <QString>

#include <expected>

// The properties of image 0 of a file: its stored pixel size (from a JPEG's
// frame header, or from LibRaw for RAW files), its orientation, and its
// metadata (Exiv2).
struct ImageProperties {
    QSize pixelSize; // as stored
    int orientation = 1;
    ImageMetadata metadata;

    // Orientations 5..8 turn the picture by a quarter: width and height swap.
    QSize uprightSize() const;

    // Everything, metadata included.
    static std::expected<ImageProperties, ImagingError> read(const QString& path);
    // Size and orientation from the header alone: a few small reads, quick
    // enough for the main thread.
    static std::expected<ImageProperties, ImagingError> readHeader(const QString& path);
};
