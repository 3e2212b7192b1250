#include "JpegMarkers.h"

#include <QList>

#include <algorithm>
#include <cstdint>

namespace {

bool isFrameMarker(uint8_t m) {
    // SOF0..SOF15 except DHT (C4), JPG (C8) and DAC (CC).
    return m >= 0xC0 && m <= 0xCF && m != 0xC4 && m != 0xC8 && m != 0xCC;
}

} // namespace

JpegMarkers JpegMarkers::parse(QByteArrayView head) {
    const auto needMore = [](qsizetype bytes) {
        JpegMarkers more;
        more.status = Status::needMore;
        more.needed = bytes;
        return more;
    };
    JpegMarkers result;
    if (head.size() < 2)
        return needMore(2);
    if (uint8_t(head[0]) != 0xFF || uint8_t(head[1]) != 0xD8)
        return result;

    struct Chunk {
        int sequence;
        QByteArrayView data;
    };
    QList<Chunk> iccChunks;

    qsizetype at = 2;
    for (;;) {
        // Fill bytes (0xFF) may precede a marker.
        while (at < head.size() && uint8_t(head[at]) == 0xFF && at + 1 < head.size() &&
               uint8_t(head[at + 1]) == 0xFF)
            ++at;
        if (at + 4 > head.size())
            return needMore(at + 4);
        if (uint8_t(head[at]) != 0xFF)
            return result;
        const uint8_t marker = uint8_t(head[at + 1]);
        if (marker == 0xD9 || marker == 0xDA) // end of image or scan before any frame
            return result;
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {
            at += 2;
            continue;
        }
        const qsizetype length = (uint8_t(head[at + 2]) << 8) | uint8_t(head[at + 3]);
        if (length < 2)
            return result;
        const qsizetype end = at + 2 + length;
        if (isFrameMarker(marker)) {
            if (at + 10 > head.size())
                return needMore(at + 10);
            result.height = (uint8_t(head[at + 5]) << 8) | uint8_t(head[at + 6]);
            result.width = (uint8_t(head[at + 7]) << 8) | uint8_t(head[at + 8]);
            result.components = uint8_t(head[at + 9]);
            if (result.width == 0 || result.height == 0 || result.components == 0)
                return result;
            std::sort(iccChunks.begin(), iccChunks.end(),
                      [](const Chunk& a, const Chunk& b) { return a.sequence < b.sequence; });
            for (const Chunk& chunk : iccChunks)
                result.icc.append(chunk.data.data(), chunk.data.size());
            result.status = Status::complete;
            return result;
        }
        const bool wanted = marker == 0xE1 || marker == 0xE2;
        if (wanted && end > head.size())
            return needMore(end);
        if (marker == 0xE1 && result.exif.isEmpty()) {
            const QByteArrayView payload = head.sliced(at + 4, length - 2);
            if (payload.size() > 6 && payload.first(6) == QByteArrayView("Exif\0\0", 6))
                result.exif = payload.sliced(6).toByteArray();
        } else if (marker == 0xE2) {
            const QByteArrayView payload = head.sliced(at + 4, length - 2);
            if (payload.size() > 14 && payload.first(12) == QByteArrayView("ICC_PROFILE\0", 12))
                iccChunks.append({uint8_t(payload[12]), payload.sliced(14)});
        }
        at = end;
    }
}
