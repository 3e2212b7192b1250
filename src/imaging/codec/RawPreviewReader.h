#pragma once

#include <QByteArray>
#include <QImage>

#include <optional>

class RegularFile;

// The largest preview a DNG or RW2 file embeds, found by walking its TIFF
// directories ourselves: RW2's preview JPEG (JpgFromRaw), a DNG's
// reduced-resolution images stored as one JPEG strip or as 8-bit RGB strips,
// and any directory's JPEGInterchangeFormat. These directories are
// untrusted: LibRaw's thumbnail unpacking believes their counts and sizes,
// so it is never used. Only bytes that lie within the file are read, with
// fixed bounds on directories, entries, strips and preview size, and a JPEG
// preview is left to the JPEG decoder and its own limits. Any thread.
class RawPreviewReader {
public:
    // JPEG bytes, or an 8-bit RGB bitmap (Format_RGB888), as stored.
    struct Preview {
        QByteArray jpeg;
        QImage bitmap;
    };

    static std::optional<Preview> read(const RegularFile& file);
};
