#include "RawPreviewReader.h"

#include "JpegMarkers.h"
#include "RegularFile.h"

#include <QList>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kMaxDirectories = 32;
constexpr int kMaxEntries = 1000;
constexpr int kMaxSubDirectories = 16;
constexpr quint32 kMaxStrips = 4096;
// Cameras store previews of a few megabytes.
constexpr qint64 kMaxPreviewBytes = 64 << 20;
constexpr qint64 kMaxJpegHeader = 1 << 20;

enum Tag : quint16 {
    jpgFromRaw = 0x002e, // RW2
    newSubfileType = 0x00fe,
    imageWidth = 0x0100,
    imageLength = 0x0101,
    bitsPerSample = 0x0102,
    compression = 0x0103,
    photometric = 0x0106,
    stripOffsets = 0x0111,
    samplesPerPixel = 0x0115,
    stripByteCounts = 0x0117,
    planarConfiguration = 0x011c,
    subIfds = 0x014a,
    jpegInterchangeFormat = 0x0201,
    jpegInterchangeFormatLength = 0x0202,
};

int typeSize(quint16 type) {
    switch (type) {
    case 1: // BYTE
    case 2: // ASCII
    case 6: // SBYTE
    case 7: // UNDEFINED
        return 1;
    case 3: // SHORT
    case 8: // SSHORT
        return 2;
    case 4:  // LONG
    case 9:  // SLONG
    case 11: // FLOAT
    case 13: // IFD
        return 4;
    case 5:  // RATIONAL
    case 10: // SRATIONAL
    case 12: // DOUBLE
        return 8;
    default:
        return 0;
    }
}

// One directory entry: where its values are in the file.
struct Entry {
    quint16 type = 0;
    quint32 count = 0;
    qint64 valuesAt = 0;
};

// The file as TIFF: bytes only from within it, numbers in its byte order.
class TiffFile {
public:
    explicit TiffFile(const RegularFile& file)
        : fd_(file.fd())
        , size_(file.size()) {}

    qint64 size() const { return size_; }

    // Exactly `count` bytes at `offset`, or nothing when they are not all in the file.
    QByteArray at(qint64 offset, qint64 count) const {
        if (offset < 0 || count <= 0 || count > size_ || offset > size_ - count)
            return {};
        QByteArray bytes(qsizetype(count), Qt::Uninitialized);
        qint64 done = 0;
        while (done < count) {
            const ssize_t n = ::pread(fd_, bytes.data() + done, size_t(count - done), off_t(offset + done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return {};
            done += n;
        }
        return bytes;
    }

    bool readHeader() {
        const QByteArray header = at(0, 8);
        if (header.size() != 8)
            return false;
        if (header.startsWith("II"))
            bigEndian_ = false;
        else if (header.startsWith("MM"))
            bigEndian_ = true;
        else
            return false;
        const quint16 magic = u16(header.constData() + 2);
        // 42 for TIFF and DNG, 0x55 for RW2.
        if (magic != 42 && magic != 0x55)
            return false;
        first_ = u32(header.constData() + 4);
        return true;
    }
    quint32 firstDirectory() const { return first_; }

    quint16 u16(const char* p) const {
        const auto* b = reinterpret_cast<const uchar*>(p);
        return bigEndian_ ? quint16(b[0] << 8 | b[1]) : quint16(b[1] << 8 | b[0]);
    }
    quint32 u32(const char* p) const {
        const auto* b = reinterpret_cast<const uchar*>(p);
        return bigEndian_ ? quint32(b[0]) << 24 | quint32(b[1]) << 16 | quint32(b[2]) << 8 | b[3]
                          : quint32(b[3]) << 24 | quint32(b[2]) << 16 | quint32(b[1]) << 8 | b[0];
    }

    // Up to `max` unsigned integer values of an entry (BYTE, SHORT, LONG or
    // IFD); empty when they are of another type or not in the file.
    std::vector<quint32> values(const Entry& entry, quint32 max) const {
        const int size = typeSize(entry.type);
        const bool integer = entry.type == 1 || entry.type == 3 || entry.type == 4 || entry.type == 13;
        const quint32 count = std::min(entry.count, max);
        if (!integer || count == 0)
            return {};
        const QByteArray bytes = at(entry.valuesAt, qint64(count) * size);
        if (bytes.isEmpty())
            return {};
        std::vector<quint32> out(count);
        for (quint32 i = 0; i < count; ++i) {
            const char* p = bytes.constData() + qsizetype(i) * size;
            out[i] = size == 1 ? quint32(uchar(*p)) : size == 2 ? u16(p) : u32(p);
        }
        return out;
    }

private:
    int fd_ = -1;
    qint64 size_ = 0;
    bool bigEndian_ = false;
    quint32 first_ = 0;
};

struct Directory {
    QList<std::pair<quint16, Entry>> entries;
    quint32 next = 0;

    const Entry* find(quint16 tag) const {
        for (const auto& [t, entry] : entries) {
            if (t == tag)
                return &entry;
        }
        return nullptr;
    }
};

std::optional<Directory> readDirectory(const TiffFile& tiff, qint64 offset) {
    const QByteArray head = tiff.at(offset, 2);
    if (head.isEmpty())
        return std::nullopt;
    const int count = tiff.u16(head.constData());
    if (count == 0 || count > kMaxEntries)
        return std::nullopt;
    const QByteArray body = tiff.at(offset + 2, qint64(count) * 12);
    if (body.isEmpty())
        return std::nullopt;
    Directory directory;
    for (int i = 0; i < count; ++i) {
        const char* e = body.constData() + i * 12;
        Entry entry;
        entry.type = tiff.u16(e + 2);
        entry.count = tiff.u32(e + 4);
        const qint64 bytes = qint64(entry.count) * typeSize(entry.type);
        // Four bytes or fewer are kept in the entry itself.
        entry.valuesAt = bytes <= 4 ? offset + 2 + i * 12 + 8 : qint64(tiff.u32(e + 8));
        directory.entries.append({tiff.u16(e), entry});
    }
    const QByteArray next = tiff.at(offset + 2 + qint64(count) * 12, 4);
    if (!next.isEmpty())
        directory.next = tiff.u32(next.constData());
    return directory;
}

// A place the preview may be: JPEG bytes, or 8-bit RGB strips.
struct Candidate {
    qint64 offset = 0;
    qint64 length = 0; // JPEG
    QSize rgbSize;     // RGB strips
    std::vector<quint32> stripOffsets;
    std::vector<quint32> stripLengths;
    qint64 pixels = 0;
};

std::optional<quint32> single(const TiffFile& tiff, const Directory& directory, quint16 tag) {
    const Entry* entry = directory.find(tag);
    if (!entry)
        return std::nullopt;
    const std::vector<quint32> v = tiff.values(*entry, 1);
    return v.empty() ? std::nullopt : std::optional(v.front());
}

// The picture size a JPEG declares, from its header alone; nothing when
// there is no readable header within its first bytes.
std::optional<QSize> jpegSize(const TiffFile& tiff, qint64 offset, qint64 length) {
    const qint64 limit = std::min(length, kMaxJpegHeader);
    qint64 head = std::min<qint64>(limit, 64 * 1024);
    for (;;) {
        const QByteArray bytes = tiff.at(offset, head);
        if (bytes.isEmpty())
            return std::nullopt;
        const JpegMarkers markers = JpegMarkers::parse(bytes);
        if (markers.status == JpegMarkers::Status::complete)
            return QSize(markers.width, markers.height);
        if (markers.status != JpegMarkers::Status::needMore || markers.needed > limit || head == limit)
            return std::nullopt;
        head = std::max<qint64>(markers.needed, std::min(limit, head * 2));
    }
}

void addJpeg(const TiffFile& tiff, qint64 offset, qint64 length, std::vector<Candidate>& candidates) {
    if (length < 4 || length > kMaxPreviewBytes || offset < 0 || offset > tiff.size() - length)
        return;
    const std::optional<QSize> size = jpegSize(tiff, offset, length);
    if (!size)
        return;
    Candidate c;
    c.offset = offset;
    c.length = length;
    c.pixels = qint64(size->width()) * size->height();
    candidates.push_back(std::move(c));
}

void addCandidates(const TiffFile& tiff, const Directory& directory, std::vector<Candidate>& candidates) {
    if (const Entry* raw = directory.find(jpgFromRaw); raw && typeSize(raw->type) == 1)
        addJpeg(tiff, raw->valuesAt, raw->count, candidates);
    const auto interchange = single(tiff, directory, jpegInterchangeFormat);
    const auto interchangeLength = single(tiff, directory, jpegInterchangeFormatLength);
    if (interchange && interchangeLength)
        addJpeg(tiff, *interchange, *interchangeLength, candidates);

    // Strips of a reduced-resolution image: a DNG's previews.
    const auto subfile = single(tiff, directory, newSubfileType);
    if (!subfile || !(*subfile & 1))
        return;
    const Entry* offsets = directory.find(stripOffsets);
    const Entry* lengths = directory.find(stripByteCounts);
    if (!offsets || !lengths || offsets->count != lengths->count || offsets->count == 0 ||
        offsets->count > kMaxStrips)
        return;
    Candidate c;
    c.stripOffsets = tiff.values(*offsets, kMaxStrips);
    c.stripLengths = tiff.values(*lengths, kMaxStrips);
    if (c.stripOffsets.size() != offsets->count || c.stripLengths.size() != offsets->count)
        return;
    const auto method = single(tiff, directory, compression);
    const auto colour = single(tiff, directory, photometric);
    if (!method || !colour)
        return;
    // One JPEG strip, of grey, RGB or YCbCr (not the mosaic or linear raw data).
    if ((*method == 6 || *method == 7) && (*colour <= 2 || *colour == 6)) {
        if (c.stripOffsets.size() == 1)
            addJpeg(tiff, c.stripOffsets[0], c.stripLengths[0], candidates);
        return;
    }
    const auto width = single(tiff, directory, imageWidth);
    const auto height = single(tiff, directory, imageLength);
    const auto samples = single(tiff, directory, samplesPerPixel);
    const auto bits = single(tiff, directory, bitsPerSample);
    const auto planar = single(tiff, directory, planarConfiguration).value_or(1);
    if (*method != 1 || *colour != 2 || samples != 3u || bits != 8u || planar != 1 || !width || !height ||
        *width == 0 || *height == 0 || *width > 65535 || *height > 65535 ||
        qint64(*width) * *height * 3 > std::min(kMaxPreviewBytes, tiff.size()))
        return;
    c.rgbSize = QSize(int(*width), int(*height));
    c.pixels = qint64(*width) * *height;
    candidates.push_back(std::move(c));
}

std::optional<RawPreviewReader::Preview> materialise(const TiffFile& tiff, const Candidate& c) {
    RawPreviewReader::Preview preview;
    if (c.rgbSize.isEmpty()) {
        preview.jpeg = tiff.at(c.offset, c.length);
        if (preview.jpeg.size() < 2 || uchar(preview.jpeg[0]) != 0xFF || uchar(preview.jpeg[1]) != 0xD8)
            return std::nullopt;
        return preview;
    }
    const qsizetype rowBytes = qsizetype(c.rgbSize.width()) * 3;
    const qint64 needed = rowBytes * c.rgbSize.height();
    QByteArray pixels;
    pixels.reserve(qsizetype(needed));
    for (size_t i = 0; i < c.stripOffsets.size() && pixels.size() < needed; ++i) {
        const qint64 take = std::min<qint64>(c.stripLengths[i], needed - pixels.size());
        const QByteArray strip = tiff.at(c.stripOffsets[i], take);
        if (strip.isEmpty())
            return std::nullopt;
        pixels += strip;
    }
    if (pixels.size() != needed)
        return std::nullopt;
    QImage bitmap(c.rgbSize, QImage::Format_RGB888);
    if (bitmap.isNull())
        return std::nullopt;
    for (int y = 0; y < c.rgbSize.height(); ++y)
        std::memcpy(bitmap.scanLine(y), pixels.constData() + y * rowBytes, size_t(rowBytes));
    preview.bitmap = bitmap;
    return preview;
}

} // namespace

std::optional<RawPreviewReader::Preview> RawPreviewReader::read(const RegularFile& file) {
    TiffFile tiff(file);
    if (!tiff.readHeader())
        return std::nullopt;
    std::vector<Candidate> candidates;
    std::vector<qint64> pending{tiff.firstDirectory()};
    std::vector<qint64> seen;
    while (!pending.empty() && int(seen.size()) < kMaxDirectories) {
        const qint64 offset = pending.back();
        pending.pop_back();
        if (offset == 0 || std::find(seen.begin(), seen.end(), offset) != seen.end())
            continue;
        seen.push_back(offset);
        const std::optional<Directory> directory = readDirectory(tiff, offset);
        if (!directory)
            continue;
        addCandidates(tiff, *directory, candidates);
        if (directory->next)
            pending.push_back(directory->next);
        if (const Entry* children = directory->find(subIfds)) {
            for (quint32 child : tiff.values(*children, kMaxSubDirectories))
                pending.push_back(child);
        }
    }
    // The largest first; a preview that cannot be read gives way to the next.
    std::stable_sort(candidates.begin(), candidates.end(),
                     [](const Candidate& a, const Candidate& b) { return a.pixels > b.pixels; });
    for (const Candidate& c : candidates) {
        if (auto preview = materialise(tiff, c))
            return preview;
    }
    return std::nullopt;
}
