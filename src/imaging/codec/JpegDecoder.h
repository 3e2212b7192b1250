#pragma once

#include "ImagingError.h"

#include <QByteArray>
#include <QSize>
#include <QString>

#include <expected>
#include <functional>
#include <memory>
#include <optional>

// One JPEG decompression with libjpeg-turbo: reads the header (size, EXIF,
// ICC profile) on opening, then decodes once at a DCT scale of 1/1, 1/2, 1/4
// or 1/8 into 4-byte RGBX rows the caller provides (or into its YCbCr planes), telling the caller how
// many rows are done as it goes (so other threads can work on them). Files are
// read through a small buffer with read(2), never mapped: a card pulled out
// mid-read is an error, not a crash. A damaged or truncated file fails with
// libjpeg's message or yields what could be decoded. One thread at a time.
class JpegDecoder {
public:
    ~JpegDecoder();
    JpegDecoder(const JpegDecoder&) = delete;
    JpegDecoder& operator=(const JpegDecoder&) = delete;

    static std::expected<std::unique_ptr<JpegDecoder>, ImagingError> openFile(const QString& path);
    static std::expected<std::unique_ptr<JpegDecoder>, ImagingError> openBytes(QByteArray bytes);

    QSize size() const;
    QByteArray iccProfile() const;
    // The TIFF structure of the APP1 "Exif" segment, or empty.
    QByteArray exif() const;
    // EXIF orientation of the image, 1..8.
    int orientation() const;

    // The size at 1/denominator (1, 2, 4 or 8).
    QSize scaledSize(int denominator) const;
    // The largest denominator whose scaled longest side is still at least
    // `longSide` (1 when even the full size is smaller).
    int denominatorFor(int longSide) const;

    // Decodes at 1/denominator into rows `stride` bytes apart, which must
    // hold scaledSize(denominator). `progress` gets the number of finished rows.
    std::expected<void, ImagingError> decode(int denominator, unsigned char* pixels, qsizetype stride,
                                             const std::function<void(int)>& progress = {});

    // The stored planes of a YCbCr image at 1/denominator: luma, then the two
    // chroma planes, which are `chromaDivisor` times smaller across and down
    // (1 or 2 each; at reduced scale libjpeg often rebuilds chroma at full
    // size). Buffers for them must be `bufferSize` (whole DCT blocks).
    struct Planes {
        QSize size[3];
        QSize bufferSize[3];
        QSize chromaDivisor;
    };
    // Nothing for images whose planes are not laid out that way (grey, CMYK,
    // RGB, unusual sampling): those decode to RGBX only.
    std::optional<Planes> planes(int denominator) const;
    // Decodes the planes as stored, without libjpeg's chroma upsampling and
    // colour conversion, into buffers with rows `strides[i]` bytes apart.
    // `progress` gets the number of finished luma rows.
    std::expected<void, ImagingError> decodePlanes(int denominator, unsigned char* const buffers[3],
                                                   const qsizetype strides[3],
                                                   const std::function<void(int)>& progress = {});

    // Warnings met so far (damaged or truncated data).
    int warnings() const;

private:
    struct Private;
    explicit JpegDecoder(std::unique_ptr<Private> d);
    std::unique_ptr<Private> d;
};
