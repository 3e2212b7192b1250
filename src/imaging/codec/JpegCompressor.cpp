#include "JpegCompressor.h"

#include "JpegErrorManager.h"
#include "imaging/pixels/ParallelRunner.h"

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

namespace {

// One JPEG of rows [first, first + height) with the options' settings.
// `withMarkers` writes the metadata segments; `restarts` ends every MCU row
// with a restart marker.
bool compress(const unsigned char* pixels, int width, int height, qsizetype stride,
              ColorKernel::Format format, const JpegCompressor::Options& options, bool withMarkers,
              bool restarts, const JpegCompressor::Sink& sink, QByteArray* error) {
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
        c.info.in_color_space = inputSpace(format);
        jpeg_set_defaults(&c.info);
        jpeg_set_quality(&c.info, options.quality, TRUE);
        c.info.dct_method = JDCT_ISLOW;
        if (restarts)
            c.info.restart_in_rows = 1;
        // EXIF files carry no JFIF header.
        c.info.write_JFIF_header = options.app1.isEmpty() ? TRUE : FALSE;
        jpeg_start_compress(&c.info, TRUE);
        if (withMarkers) {
            for (const QByteArray& segment : options.app1)
                jpeg_write_marker(&c.info, JPEG_APP0 + 1,
                                  reinterpret_cast<const JOCTET*>(segment.constData()),
                                  unsigned(segment.size()));
            if (!options.iccProfile.isEmpty())
                jpeg_write_icc_profile(&c.info,
                                       reinterpret_cast<const JOCTET*>(options.iccProfile.constData()),
                                       unsigned(options.iccProfile.size()));
            if (!options.app13.isEmpty())
                jpeg_write_marker(&c.info, JPEG_APP0 + 13,
                                  reinterpret_cast<const JOCTET*>(options.app13.constData()),
                                  unsigned(options.app13.size()));
        }
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
    if (!ok && error)
        *error = QByteArray(c.errors.message);
    return ok;
}

// Where the coded data of a whole JPEG in memory begins (after the start of
// scan header), and the offset of its frame header's height; -1 when the
// markers are not as libjpeg writes them.
struct Layout {
    qsizetype scanData = -1;
    qsizetype frameHeight = -1;
};

Layout layoutOf(const QByteArray& jpeg) {
    Layout layout;
    const auto byte = [&jpeg](qsizetype i) { return uint8_t(jpeg[i]); };
    qsizetype at = 2; // after the start of image
    while (at + 4 <= jpeg.size() && byte(at) == 0xFF) {
        const uint8_t marker = byte(at + 1);
        const qsizetype length = (qsizetype(byte(at + 2)) << 8) | byte(at + 3);
        if (marker == 0xC0 && at + 9 <= jpeg.size())
            layout.frameHeight = at + 5;
        if (marker == 0xDA) {
            layout.scanData = at + 2 + length;
            break;
        }
        at += 2 + length;
    }
    if (layout.scanData > jpeg.size() - 2)
        layout.scanData = -1;
    return layout;
}

// The strips' rows: a multiple of eight 16-row MCU rows, about two strips per thread.
int stripRowsFor(int height, int threads) {
    constexpr int unit = 8 * 16;
    const int wanted = (height + 2 * threads - 1) / (2 * threads);
    return std::max(unit, (wanted + unit - 1) / unit * unit);
}

} // namespace

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
    const auto failed = [](const QByteArray& message) {
        return std::unexpected(
            ImagingError{QStringLiteral("JPEG encoding failed: ") + QString::fromLatin1(message)});
    };

    const int threads = options.runner ? options.runner->threadCount() : 1;
    const int stripRows = stripRowsFor(height, threads);
    const int strips = (height + stripRows - 1) / stripRows;
    if (threads < 2 || strips < 2 || qint64(width) * height < (qint64(1) << 20)) {
        QByteArray message;
        if (!compress(pixels, width, height, stride, format, options, true, false, sink, &message))
            return failed(message);
        return {};
    }

    std::vector<QByteArray> coded(static_cast<size_t>(strips));
    std::vector<QByteArray> errors(static_cast<size_t>(strips));
    options.runner->run(strips, 1, [&](int begin, int end) {
        for (int s = begin; s < end; ++s) {
            const int first = s * stripRows;
            const int rows = std::min(stripRows, height - first);
            QByteArray& out = coded[size_t(s)];
            out.reserve(qsizetype(width) * rows / 2);
            const bool ok = compress(
                pixels + qsizetype(first) * stride, width, rows, stride, format, options, s == 0, true,
                [&out](const unsigned char* data, size_t size) {
                    out.append(reinterpret_cast<const char*>(data), qsizetype(size));
                    return true;
                },
                &errors[size_t(s)]);
            if (!ok)
                out.clear();
        }
    });
    for (int s = 0; s < strips; ++s) {
        if (coded[size_t(s)].isEmpty())
            return failed(errors[size_t(s)]);
    }

    // The first strip's headers, its frame made as high as the whole image;
    // then each strip's coded data, each joined to the next by the restart
    // marker that ends its last MCU row.
    QByteArray& head = coded.front();
    const Layout first = layoutOf(head);
    if (first.frameHeight < 0 || first.scanData < 0)
        return failed(QByteArrayLiteral("unexpected marker layout"));
    head[first.frameHeight] = char(height >> 8);
    head[first.frameHeight + 1] = char(height & 0xFF);
    const auto put = [&sink](const char* data, qsizetype size) {
        return sink(reinterpret_cast<const unsigned char*>(data), size_t(size));
    };
    const int mcuRowsPerStrip = stripRows / 16;
    for (int s = 0; s < strips; ++s) {
        const QByteArray& strip = coded[size_t(s)];
        const qsizetype begin = s == 0 ? 0 : layoutOf(strip).scanData;
        if (begin < 0)
            return failed(QByteArrayLiteral("unexpected marker layout"));
        const bool last = s == strips - 1;
        // Each strip ends with the end-of-image marker: kept only for the last.
        if (!put(strip.constData() + begin, strip.size() - begin - (last ? 0 : 2)))
            return failed(QByteArrayLiteral("cannot write"));
        if (!last) {
            const char restart[2] = {char(0xFF), char(0xD0 + ((s + 1) * mcuRowsPerStrip - 1) % 8)};
            if (!put(restart, 2))
                return failed(QByteArrayLiteral("cannot write"));
        }
    }
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
