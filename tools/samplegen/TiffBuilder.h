#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <expected>
#include <functional>
#include <utility>
#include <vector>

// Lays out a little-endian TIFF-structured file in memory: a chain of image
// file directories, their sub-directories (EXIF, GPS), each directory's values
// right after it, and the large blocks (image data) at the end of the file,
// filled in place once their offsets are known, so a 48 MB raw image is
// written straight into the file's only buffer.
class TiffBuilder {
public:
    enum class Type : quint16 {
        byte = 1,
        ascii = 2,
        shortType = 3,
        longType = 4,
        rational = 5,
        undefined = 7,
        srational = 10
    };

    // Fills a block of the size it was declared with.
    using Fill = std::function<void(char* block)>;

    class Ifd {
    public:
        void ascii(quint16 tag, const QByteArray& text);
        void bytes(quint16 tag, const QByteArray& values);
        void undefined(quint16 tag, const QByteArray& values);
        void shorts(quint16 tag, const std::vector<quint16>& values);
        void longs(quint16 tag, const std::vector<quint32>& values);
        void rationals(quint16 tag, const std::vector<std::pair<quint32, quint32>>& values);
        void srationals(quint16 tag, const std::vector<std::pair<qint32, qint32>>& values);
        // A LONG entry holding the offset of `child` (EXIF, GPS and sub-IFDs).
        void subIfd(quint16 tag, Ifd child);
        // A block of `size` bytes at the end of the file; its offset goes into
        // every tag of `offsetTags` and, unless `sizeTag` is 0, its size into
        // `sizeTag`.
        void block(const std::vector<quint16>& offsetTags, quint16 sizeTag, qsizetype size, Fill fill);

        bool isEmpty() const { return entries_.empty(); }

    private:
        friend class TiffBuilder;
        struct Entry {
            quint16 tag = 0;
            Type type = Type::byte;
            quint32 count = 0;
            QByteArray value; // little-endian, as stored
            int child = -1;   // index into children_
            int block = -1;   // index into blocks_
        };
        struct Block {
            qsizetype size = 0;
            Fill fill;
        };
        void add(quint16 tag, Type type, quint32 count, QByteArray value);

        std::vector<Entry> entries_;
        std::vector<Ifd> children_;
        std::vector<Block> blocks_;
    };

    // `magic` is 42 for TIFF and DNG, 0x55 for RW2; `headerSize` leaves room
    // after the 8 header bytes, as some formats do.
    explicit TiffBuilder(quint16 magic = 42, quint32 headerSize = 8);

    // Appends a directory to the main chain (IFD0, IFD1, ...).
    void append(Ifd ifd);

    std::expected<QByteArray, QString> build() const;

private:
    quint16 magic_;
    quint32 headerSize_;
    std::vector<Ifd> chain_;
};
