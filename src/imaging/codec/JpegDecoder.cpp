#include "JpegDecoder.h"

#include "ExifBlock.h"
#include "JpegErrorManager.h"
#include "RegularFile.h"

#include <jerror.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace {

constexpr size_t kReadBuffer = 64 * 1024;

// Limits checked before any pixel memory is taken, so that a small file
// cannot claim gigabytes or minutes: no picture larger than this, nor, for a
// file of several scans (whose every coefficient libjpeg keeps until the last
// scan, at two bytes each), a larger coefficient buffer; and no more scans
// (each one a pass over the whole image, however little data it has).
constexpr quint64 kMaxPixels = 200'000'000;
constexpr unsigned int kMaxSide = 65500;
constexpr quint64 kMaxCoefficients = 200'000'000;
constexpr int kMaxScans = 1000;

// Called by libjpeg as it goes; ends a decompression with too many scans.
void checkScans(j_common_ptr info) {
    if (reinterpret_cast<j_decompress_ptr>(info)->input_scan_number > kMaxScans)
        reinterpret_cast<JpegErrorManager*>(info->err)->fail("JPEG with too many scans");
}

// The coefficients libjpeg keeps for a file of several scans: whole blocks
// of each component, rounded up to its sampling factors.
quint64 bufferedCoefficients(const jpeg_decompress_struct& info) {
    quint64 total = 0;
    for (int i = 0; i < info.num_components; ++i) {
        const jpeg_component_info& c = info.comp_info[i];
        const auto roundUp = [](quint64 v, int factor) {
            return (v + quint64(factor) - 1) / quint64(factor) * quint64(factor);
        };
        total += roundUp(c.width_in_blocks, c.h_samp_factor) * roundUp(c.height_in_blocks, c.v_samp_factor) *
                 DCTSIZE2;
    }
    return total;
}

// Reads the file in 64 KiB pieces; a read error is fatal, the end of the
// data before the end of the image a warning (libjpeg then fills in grey).
struct FileSource {
    jpeg_source_mgr manager{}; // first member: libjpeg passes it as the source
    int fd = -1;
    JOCTET buffer[kReadBuffer];
};

void initSource(j_decompress_ptr) {}

boolean fillInput(j_decompress_ptr info) {
    auto* source = reinterpret_cast<FileSource*>(info->src);
    ssize_t n = 0;
    do {
        n = ::read(source->fd, source->buffer, kReadBuffer);
    } while (n < 0 && errno == EINTR);
    if (n < 0)
        ERREXIT(info, JERR_FILE_READ);
    if (n == 0) {
        WARNMS(info, JWRN_JPEG_EOF);
        source->buffer[0] = 0xFF;
        source->buffer[1] = JPEG_EOI;
        n = 2;
    }
    source->manager.next_input_byte = source->buffer;
    source->manager.bytes_in_buffer = size_t(n);
    return TRUE;
}

void skipInput(j_decompress_ptr info, long count) {
    if (count <= 0)
        return;
    auto* source = reinterpret_cast<FileSource*>(info->src);
    const auto skip = size_t(count);
    if (skip <= source->manager.bytes_in_buffer) {
        source->manager.next_input_byte += skip;
        source->manager.bytes_in_buffer -= skip;
        return;
    }
    // Past the buffer: seek over the rest (a seek beyond the end reads as the end).
    ::lseek(source->fd, off_t(skip - source->manager.bytes_in_buffer), SEEK_CUR);
    source->manager.bytes_in_buffer = 0;
    source->manager.next_input_byte = source->buffer;
}

void termSource(j_decompress_ptr) {}

// Adobe's CMYK JPEGs store inverted values; others store plain ones.
void cmykToRgbx(unsigned char* row, int width, bool inverted) {
    for (int x = 0; x < width; ++x, row += 4) {
        int c = row[0], m = row[1], y = row[2], k = row[3];
        if (!inverted) {
            c = 255 - c, m = 255 - m, y = 255 - y, k = 255 - k;
        }
        row[0] = static_cast<unsigned char>(c * k / 255);
        row[1] = static_cast<unsigned char>(m * k / 255);
        row[2] = static_cast<unsigned char>(y * k / 255);
        row[3] = 255;
    }
}

} // namespace

struct JpegDecoder::Private {
    jpeg_decompress_struct info{};
    JpegErrorManager errors;
    jpeg_progress_mgr progress{};
    bool created = false;
    bool decoded = false;
    QByteArray bytes;
    std::unique_ptr<FileSource> file;
    QByteArray icc;
    QByteArray exif;
    int orientation = 1;

    ~Private() {
        if (created)
            jpeg_destroy_decompress(&info);
        if (file && file->fd >= 0)
            ::close(file->fd);
    }

    ImagingError error(const char* what) const {
        return ImagingError{QString::fromLatin1(what) + QStringLiteral(": ") +
                            QString::fromLatin1(errors.message)};
    }

    // How a decode ended: libjpeg gave up, or the scaled size was not the one
    // asked for, or the data ended before the first row of blocks was
    // complete (a file cut at or just after its scan header): libjpeg would
    // hand back a uniform grey picture, which is not the photo.
    std::expected<void, ImagingError> outcome(bool ok, bool sizeMismatch) const {
        if (!ok)
            return std::unexpected(error("JPEG data is damaged"));
        if (sizeMismatch)
            return std::unexpected(ImagingError{QStringLiteral("JPEG scaled to an unexpected size")});
        if (errors.dataEnd && errors.dataEnd->scan <= 1 && errors.dataEnd->iMcuRow == 0)
            return std::unexpected(ImagingError{QStringLiteral("JPEG without image data")});
        return {};
    }

    std::expected<void, ImagingError> readHeader() {
        errors.install(reinterpret_cast<j_common_ptr>(&info));
        JOCTET* profile = nullptr;
        unsigned int profileLength = 0;
        bool multipleScans = false;
        const bool ok = errors.guarded([&] {
            jpeg_create_decompress(&info);
            created = true;
            if (file) {
                info.src = &file->manager;
                file->manager.init_source = initSource;
                file->manager.fill_input_buffer = fillInput;
                file->manager.skip_input_data = skipInput;
                file->manager.resync_to_restart = jpeg_resync_to_restart;
                file->manager.term_source = termSource;
            } else {
                jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(bytes.constData()),
                             static_cast<unsigned long>(bytes.size()));
            }
            jpeg_save_markers(&info, JPEG_APP0 + 1, 0xFFFF);
            jpeg_save_markers(&info, JPEG_APP0 + 2, 0xFFFF);
            jpeg_read_header(&info, TRUE);
            jpeg_read_icc_profile(&info, &profile, &profileLength);
            multipleScans = jpeg_has_multiple_scans(&info);
            progress.progress_monitor = checkScans;
            info.progress = &progress;
        });
        if (!ok)
            return std::unexpected(error("Not a readable JPEG"));
        if (profile) {
            icc = QByteArray(reinterpret_cast<const char*>(profile), qsizetype(profileLength));
            std::free(profile);
        }
        for (jpeg_saved_marker_ptr m = info.marker_list; m; m = m->next) {
            if (m->marker == JPEG_APP0 + 1 && m->data_length > 6 &&
                std::memcmp(m->data, "Exif\0\0", 6) == 0) {
                exif = QByteArray(reinterpret_cast<const char*>(m->data) + 6, qsizetype(m->data_length) - 6);
                break;
            }
        }
        orientation = ExifBlock::parse(exif).orientation;
        if (info.image_width == 0 || info.image_height == 0)
            return std::unexpected(ImagingError{QStringLiteral("JPEG without pixels")});
        if (info.image_width > kMaxSide || info.image_height > kMaxSide ||
            quint64(info.image_width) * info.image_height > kMaxPixels ||
            (multipleScans && bufferedCoefficients(info) > kMaxCoefficients))
            return std::unexpected(ImagingError{
                QStringLiteral("JPEG too large: %1 x %2").arg(info.image_width).arg(info.image_height)});
        if (info.num_components != 1 && info.num_components != 3 && info.num_components != 4)
            return std::unexpected(ImagingError{QStringLiteral("JPEG with an unsupported colour model")});
        return {};
    }
};

JpegDecoder::JpegDecoder(std::unique_ptr<Private> p)
    : d(std::move(p)) {}

JpegDecoder::~JpegDecoder() = default;

std::expected<std::unique_ptr<JpegDecoder>, ImagingError> JpegDecoder::openFile(const QString& path) {
    auto opened = RegularFile::open(path);
    if (!opened)
        return std::unexpected(opened.error());
    auto p = std::make_unique<Private>();
    p->file = std::make_unique<FileSource>();
    p->file->fd = opened->release();
    if (auto header = p->readHeader(); !header)
        return std::unexpected(header.error());
    return std::unique_ptr<JpegDecoder>(new JpegDecoder(std::move(p)));
}

std::expected<std::unique_ptr<JpegDecoder>, ImagingError> JpegDecoder::openBytes(QByteArray bytes) {
    auto p = std::make_unique<Private>();
    p->bytes = std::move(bytes);
    if (auto header = p->readHeader(); !header)
        return std::unexpected(header.error());
    return std::unique_ptr<JpegDecoder>(new JpegDecoder(std::move(p)));
}

QSize JpegDecoder::size() const {
    return QSize(int(d->info.image_width), int(d->info.image_height));
}

QByteArray JpegDecoder::iccProfile() const {
    return d->icc;
}

QByteArray JpegDecoder::exif() const {
    return d->exif;
}

int JpegDecoder::orientation() const {
    return d->orientation;
}

int JpegDecoder::warnings() const {
    return d->errors.warnings;
}

QSize JpegDecoder::scaledSize(int denominator) const {
    const auto up = [denominator](unsigned int v) {
        return int((v + unsigned(denominator) - 1) / unsigned(denominator));
    };
    return QSize(up(d->info.image_width), up(d->info.image_height));
}

int JpegDecoder::denominatorFor(int longSide) const {
    for (int denominator : {8, 4, 2}) {
        const QSize s = scaledSize(denominator);
        if (std::max(s.width(), s.height()) >= longSide)
            return denominator;
    }
    return 1;
}

std::expected<void, ImagingError> JpegDecoder::decode(int denominator, unsigned char* pixels,
                                                      qsizetype stride,
                                                      const std::function<void(int)>& progress) {
    if (d->decoded)
        return std::unexpected(ImagingError{QStringLiteral("JPEG decoded twice")});
    d->decoded = true;
    jpeg_decompress_struct& info = d->info;
    info.scale_num = 1;
    info.scale_denom = unsigned(denominator);
    info.dct_method = JDCT_ISLOW;
    const bool cmyk = info.num_components == 4;
    info.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_RGBX;
    info.raw_data_out = FALSE;
    const bool adobeInverted = cmyk && info.saw_Adobe_marker;
    const QSize expected = scaledSize(denominator);
    bool sizeMismatch = false;
    const bool ok = d->errors.guarded([&] {
        jpeg_start_decompress(&info);
        // The caller's rows were sized for scaledSize(); never write past them.
        if (int(info.output_width) != expected.width() || int(info.output_height) != expected.height()) {
            sizeMismatch = true;
            jpeg_abort_decompress(&info);
            return;
        }
        while (info.output_scanline < info.output_height) {
            JSAMPROW rows[16];
            const JDIMENSION first = info.output_scanline;
            const JDIMENSION count = std::min<JDIMENSION>(16, info.output_height - first);
            for (JDIMENSION i = 0; i < count; ++i)
                rows[i] = pixels + qsizetype(first + i) * stride;
            const JDIMENSION got = jpeg_read_scanlines(&info, rows, count);
            if (cmyk) {
                for (JDIMENSION i = 0; i < got; ++i)
                    cmykToRgbx(rows[i], int(info.output_width), adobeInverted);
            }
            if (progress)
                progress(int(info.output_scanline));
        }
        jpeg_finish_decompress(&info);
    });
    return d->outcome(ok, sizeMismatch);
}

std::optional<JpegDecoder::Planes> JpegDecoder::planes(int denominator) const {
    jpeg_decompress_struct& info = d->info;
    if (d->decoded || info.num_components != 3 || info.jpeg_color_space != JCS_YCbCr)
        return std::nullopt;
    info.scale_num = 1;
    info.scale_denom = unsigned(denominator);
    info.raw_data_out = TRUE;
    info.out_color_space = JCS_YCbCr;
    if (!d->errors.guarded([&] { jpeg_calc_output_dimensions(&info); }))
        return std::nullopt;
    const jpeg_component_info* c = info.comp_info;
    // Luma at full resolution, both chroma planes alike.
    if (c[0].h_samp_factor != info.max_h_samp_factor || c[0].v_samp_factor != info.max_v_samp_factor ||
        c[1].h_samp_factor != c[2].h_samp_factor || c[1].v_samp_factor != c[2].v_samp_factor ||
        c[1].DCT_scaled_size != c[2].DCT_scaled_size)
        return std::nullopt;
    const int lumaX = c[0].h_samp_factor * c[0].DCT_scaled_size,
              chromaX = c[1].h_samp_factor * c[1].DCT_scaled_size;
    const int lumaY = c[0].v_samp_factor * c[0].DCT_scaled_size,
              chromaY = c[1].v_samp_factor * c[1].DCT_scaled_size;
    if (lumaX % chromaX != 0 || lumaY % chromaY != 0 || lumaX / chromaX > 2 || lumaY / chromaY > 2)
        return std::nullopt;
    Planes planes;
    planes.chromaDivisor = QSize(lumaX / chromaX, lumaY / chromaY);
    for (int i = 0; i < 3; ++i) {
        const int blockRows = int((c[i].height_in_blocks + unsigned(c[i].v_samp_factor) - 1) /
                                  unsigned(c[i].v_samp_factor) * unsigned(c[i].v_samp_factor));
        planes.size[i] = QSize(int(c[i].downsampled_width), int(c[i].downsampled_height));
        planes.bufferSize[i] =
            QSize(int(c[i].width_in_blocks) * c[i].DCT_scaled_size, blockRows * c[i].DCT_scaled_size);
    }
    return planes;
}

std::expected<void, ImagingError> JpegDecoder::decodePlanes(int denominator, unsigned char* const buffers[3],
                                                            const qsizetype strides[3],
                                                            const std::function<void(int)>& progress) {
    const std::optional<Planes> layout = planes(denominator);
    if (d->decoded)
        return std::unexpected(ImagingError{QStringLiteral("JPEG decoded twice")});
    if (!layout)
        return std::unexpected(ImagingError{QStringLiteral("JPEG without YCbCr planes")});
    d->decoded = true;
    jpeg_decompress_struct& info = d->info;
    info.dct_method = JDCT_ISLOW;
    // Rows handed to libjpeg per call: one row of MCUs, at most 2 x 8 rows a plane.
    JSAMPROW rows[3][16];
    JSAMPARRAY arrays[3] = {rows[0], rows[1], rows[2]};
    bool sizeMismatch = false;
    const bool ok = d->errors.guarded([&] {
        jpeg_start_decompress(&info);
        const jpeg_component_info* c = info.comp_info;
        for (int i = 0; i < 3; ++i) {
            if (int(c[i].downsampled_width) != layout->size[i].width() ||
                int(c[i].downsampled_height) != layout->size[i].height() ||
                c[i].v_samp_factor * c[i].DCT_scaled_size > 16)
                sizeMismatch = true;
        }
        if (sizeMismatch) {
            jpeg_abort_decompress(&info);
            return;
        }
        const JDIMENSION perCall = JDIMENSION(info.max_v_samp_factor * info.min_DCT_scaled_size);
        while (info.output_scanline < info.output_height) {
            const int step = int(info.output_scanline / perCall);
            for (int i = 0; i < 3; ++i) {
                const int count = c[i].v_samp_factor * c[i].DCT_scaled_size;
                const int last = layout->bufferSize[i].height() - 1;
                for (int r = 0; r < count; ++r)
                    rows[i][r] = buffers[i] + qsizetype(std::min(step * count + r, last)) * strides[i];
            }
            if (jpeg_read_raw_data(&info, arrays, perCall) == 0)
                break;
            if (progress)
                progress(int(std::min(info.output_scanline, info.output_height)));
        }
        jpeg_finish_decompress(&info);
    });
    return d->outcome(ok, sizeMismatch);
}
