#pragma once

#include <QByteArrayView>

#include <optional>

// The few EXIF facts the decoders need, read from the TIFF structure of an
// APP1 "Exif" segment (the bytes after "Exif\0\0"): the orientation of image
// 0 and where the thumbnail JPEG of IFD1 lies. A pure parser; every offset is
// checked against the block, so a damaged block yields defaults, never a read
// outside it.
struct ExifBlock {
    struct Range {
        qsizetype offset = 0; // from the start of the TIFF header
        qsizetype length = 0;
    };

    int orientation = 1; // 1..8; anything else reads as 1
    std::optional<Range> thumbnail;

    static ExifBlock parse(QByteArrayView tiff);
};
