#include "ExifBlock.h"

#include <cstdint>

namespace {

class TiffReader {
public:
    explicit TiffReader(QByteArrayView data)
        : data_(data) {}

    bool valid() const { return data_.size() >= 8 && (littleEndian() || bigEndian()) && u16(2) == 42; }
    bool littleEndian() const { return data_[0] == 'I' && data_[1] == 'I'; }
    bool bigEndian() const { return data_[0] == 'M' && data_[1] == 'M'; }

    std::optional<uint32_t> u32at(qsizetype at) const {
        if (at < 0 || at + 4 > data_.size())
            return std::nullopt;
        return u32(at);
    }
    std::optional<uint16_t> u16at(qsizetype at) const {
        if (at < 0 || at + 2 > data_.size())
            return std::nullopt;
        return u16(at);
    }

    // The first value of `tag` in the directory at `ifd`, of any integer
    // type (BYTE, SHORT, LONG and their signed forms), as Exiv2 reads it.
    std::optional<int64_t> value(qsizetype ifd, uint16_t tag) const {
        const auto count = u16at(ifd);
        if (!count)
            return std::nullopt;
        for (qsizetype i = 0; i < *count; ++i) {
            const qsizetype entry = ifd + 2 + i * 12;
            if (entry + 12 > data_.size())
                return std::nullopt;
            if (u16(entry) != tag)
                continue;
            if (u32(entry + 4) == 0)
                return std::nullopt;
            // Values of four bytes or less sit in the entry itself.
            switch (u16(entry + 2)) {
            case 1: // BYTE
                return uint8_t(data_[entry + 8]);
            case 6: // SBYTE
                return int8_t(data_[entry + 8]);
            case 3: // SHORT
                return u16(entry + 8);
            case 8: // SSHORT
                return int16_t(u16(entry + 8));
            case 4: // LONG
                return u32(entry + 8);
            case 9: // SLONG
                return int32_t(u32(entry + 8));
            default:
                return std::nullopt;
            }
        }
        return std::nullopt;
    }

    // Offset of the directory after the one at `ifd`, or nothing.
    std::optional<qsizetype> next(qsizetype ifd) const {
        const auto count = u16at(ifd);
        if (!count)
            return std::nullopt;
        const auto link = u32at(ifd + 2 + qsizetype(*count) * 12);
        if (!link || *link == 0 || qsizetype(*link) >= data_.size() || qsizetype(*link) == ifd)
            return std::nullopt;
        return qsizetype(*link);
    }

private:
    uint16_t u16(qsizetype at) const {
        const auto b0 = uint8_t(data_[at]), b1 = uint8_t(data_[at + 1]);
        return littleEndian() ? uint16_t(b0 | (b1 << 8)) : uint16_t((b0 << 8) | b1);
    }
    uint32_t u32(qsizetype at) const {
        const uint32_t b0 = uint8_t(data_[at]), b1 = uint8_t(data_[at + 1]), b2 = uint8_t(data_[at + 2]),
                       b3 = uint8_t(data_[at + 3]);
        return littleEndian() ? (b0 | (b1 << 8) | (b2 << 16) | (b3 << 24))
                              : ((b0 << 24) | (b1 << 16) | (b2 << 8) | b3);
    }

    QByteArrayView data_;
};

} // namespace

ExifBlock ExifBlock::parse(QByteArrayView tiff) {
    ExifBlock block;
    const TiffReader reader(tiff);
    if (!reader.valid())
        return block;
    const auto first = reader.u32at(4);
    if (!first || *first < 8 || qsizetype(*first) >= tiff.size())
        return block;
    const qsizetype ifd0 = qsizetype(*first);
    if (const auto orientation = reader.value(ifd0, 0x0112);
        orientation && *orientation >= 1 && *orientation <= 8)
        block.orientation = int(*orientation);

    const auto ifd1 = reader.next(ifd0);
    if (!ifd1)
        return block;
    const auto offset = reader.value(*ifd1, 0x0201);
    const auto length = reader.value(*ifd1, 0x0202);
    if (offset && length && *offset >= 0 && *length > 0 &&
        qsizetype(*offset) + qsizetype(*length) <= tiff.size())
        block.thumbnail = Range{qsizetype(*offset), qsizetype(*length)};
    return block;
}
