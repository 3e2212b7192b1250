#include "JpegCompressor.h"

#include "JpegErrorManager.h"

#include <jerror.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

constexpr size_t kWriteBuffer = 256 * 1024;

struct SinkDestination {
    jpeg_destination_mgr manager{}; // first member: libjpeg passes it as the destination
    const JpegCompressor::Sink* sink = nullptr;
    std::vector<JOCTET> buffer;
};

void initDestination(j_compress_ptr info) {
    auto* dest = reinterpret_cast<SinkDestination*>(info->dest);
    dest->manager.next_output_byte = dest->buffer.data();
    dest->manager.free_in_buffer = dest->buffer.size();
}

boolean emptyBuffer(j_compress_ptr info) {
    auto* dest = reinterpret_cast<SinkDestination*>(info->dest);
    if (!(*dest->sink)(dest->buffer.data(), dest->buffer.size()))
        ERREXIT(info, JERR_FILE_WRITE);
    dest->manager.next_output_byte = dest->buffer.data();
    dest->manager.free_in_buffer = dest->buffer.size();
    return TRUE;
}

void termDestination(j_compress_ptr info) {
    auto* dest = reinterpret_cast<SinkDestination*>(info->dest);
    const size_t used = dest->buffer.size() - dest->manager.free_in_buffer;
    if (used > 0 && !(*dest->sink)(dest->buffer.data(), used))
        ERREXIT(info, JERR_FILE_WRITE);
}

J_COLOR_SPACE inputSpace(ColorKernel::Format format) {
    switch (format) {
    case ColorKernel::Format::rgba8:
        return JCS_EXT_RGBX;
    case ColorKernel::Format::bgra8:
        return JCS_EXT_BGRX;
    case ColorKernel::Format::rgb8:
        return JCS_RGB;
    case ColorKernel::Format::rgb16:
        break;
    }
    return JCS_UNKNOWN;
}

// Owns the compressor so that it is destroyed however encoding ends.
struct Compressor {
    jpeg_compress_struct info{};
    JpegErrorManager errors;
    bool created = false;
    ~Compressor() {
        if (created)
            jpeg_destroy_compress(&info);
    }
};

} // namespace

int JpegCompressor::qualityPercent(double quality) {
    return std::clamp(int(std::lround(quality * 100)), 1, 100);
}

std::expected<void, ImagingError> JpegCompressor::encode(const unsigned char* pixels, int width, int height,
                                                         qsizetype stride, ColorKernel::Format format,
                                                         const Options& options, const Sink& sink) {
    const J_COLOR_SPACE space = inputSpace(format);
    if (space == JCS_UNKNOWN || width <= 0 || height <= 0 || width > 65500 || height > 65500)
        return std::unexpected(ImagingError{QStringLiteral("Cannot encode this image as JPEG")});
    for (const QByteArray& segment : options.app1) {
        if (segment.size() > kMaxSegment)
            return std::unexpected(ImagingError{QStringLiteral("Metadata segment too large for JPEG")});
    }
    if (options.app13.size() > kMaxSegment)
        return std::unexpected(ImagingError{QStringLiteral("Metadata segment too large for JPEG")});

    Compressor c;
    SinkDestination destination;
    destination.sink = &sink;
    destination.buffer.resize(kWriteBuffer);
    destination.manager.init_destination = initDestination;
    destination.manager.empty_output_buffer = emptyBuffer;
    destination.manager.term_destination = termDestination;
    c.errors.install(reinterpret_cast<j_common_ptr>(&c.info));
    const bool ok = c.errors.guarded([&] {
        jpeg_create_compress(&c.info);
        c.created = true;
        c.info.dest = &destination.manager;
        c.info.image_width = JDIMENSION(width);
        c.info.image_height = JDIMENSION(height);
        c.info.input_components = format == ColorKernel::Format::rgb8 ? 3 : 4;
        c.info.in_color_space = space;
        jpeg_set_defaults(&c.info);
        jpeg_set_quality(&c.info, options.quality, TRUE);
        c.info.dct_method = JDCT_ISLOW;
        // EXIF files carry no JFIF header.
        c.info.write_JFIF_header = options.app1.isEmpty() ? TRUE : FALSE;
        jpeg_start_compress(&c.info, TRUE);
        for (const QByteArray& segment : options.app1)
            jpeg_write_marker(&c.info, JPEG_APP0 + 1, reinterpret_cast<const JOCTET*>(segment.constData()),
                              unsigned(segment.size()));
        if (!options.iccProfile.isEmpty())
            jpeg_write_icc_profile(&c.info, reinterpret_cast<const JOCTET*>(options.iccProfile.constData()),
                                   unsigned(options.iccProfile.size()));
        if (!options.app13.isEmpty())
            jpeg_write_marker(&c.info, JPEG_APP0 + 13,
                              reinterpret_cast<const JOCTET*>(options.app13.constData()),
                              unsigned(options.app13.size()));
        while (c.info.next_scanline < c.info.image_height) {
            JSAMPROW rows[16];
            const JDIMENSION first = c.info.next_scanline;
            const JDIMENSION count = std::min<JDIMENSION>(16, c.info.image_height - first);
            for (JDIMENSION i = 0; i < count; ++i)
                rows[i] = const_cast<JSAMPROW>(pixels + qsizetype(first + i) * stride);
            jpeg_write_scanlines(&c.info, rows, count);
        }
        jpeg_finish_compress(&c.info);
    });
    if (!ok)
        return std::unexpected(
            ImagingError{QStringLiteral("JPEG encoding failed: ") + QString::fromLatin1(c.errors.message)});
    return {};
}

std::expected<QByteArray, ImagingError> JpegCompressor::encode(const unsigned char* pixels, int width,
                                                               int height, qsizetype stride,
                                                               ColorKernel::Format format,
                                                               const Options& options) {
    QByteArray bytes;
    // A guess that saves most regrowth: about a byte per pixel at high quality.
    bytes.reserve(qsizetype(width) * height / 2);
    const auto appended = encode(pixels, width, height, stride, format, options,
                                 [&bytes](const unsigned char* data, size_t size) {
                                     bytes.append(reinterpret_cast<const char*>(data), qsizetype(size));
                                     return true;
                                 });
    if (!appended)
        return std::unexpected(appended.error());
    return bytes;
}
