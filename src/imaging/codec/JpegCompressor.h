#pragma once

#include "ImagingError.h"
#include "imaging/color/ColorKernel.h"

#include <QByteArray>
#include <QList>

#include <expected>
#include <functional>

class ParallelRunner;

// JPEG compression with libjpeg-turbo, 4:2:0, streamed to a sink in 256 KiB
// pieces (a file descriptor, or bytes in memory). Metadata segments are
// written right after the start of the image: APP1 segments (EXIF, XMP), the
// ICC profile (APP2, split as the ICC rules say) and an APP13 segment (IPTC).
//
// Given helper threads, a large image is encoded as horizontal strips at
// once, joined by restart markers into one baseline JPEG: every MCU row ends
// in a restart, so each strip's coded data stands alone, and strips are a
// multiple of eight MCU rows high, so the markers inside each strip already
// carry the numbers they have in the whole. Stateless; any thread.
class JpegCompressor {
public:
    struct Options {
        int quality = 92; // 1..100
        QByteArray iccProfile;
        QList<QByteArray> app1; // whole segment payloads, each at most 65533 bytes
        QByteArray app13;
        const ParallelRunner* runner = nullptr; // helpers for large images
    };
    // Takes bytes; false when they could not be stored (the encoding then fails).
    using Sink = std::function<bool(const unsigned char* data, size_t size)>;

    // Rows of rgba8 (alpha ignored), bgra8 or rgb8 pixels.
    static std::expected<void, ImagingError> encode(const unsigned char* pixels, int width, int height,
                                                    qsizetype stride, ColorKernel::Format format,
                                                    const Options& options, const Sink& sink);
    static std::expected<QByteArray, ImagingError> encode(const unsigned char* pixels, int width, int height,
                                                          qsizetype stride, ColorKernel::Format format,
                                                          const Options& options);

    // Quality 0..1 (as callers give it) to libjpeg's 1..100.
    static int qualityPercent(double quality);

    static constexpr qsizetype kMaxSegment = 65533;
};
