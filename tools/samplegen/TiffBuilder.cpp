#include "TiffBuilder.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <numeric>
#include <sys/mman.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

void putU16(char* at, quint16 value) {
    at[0] = char(value & 0xff);
    at[1] = char(value >> 8);
}

void putU32(char* at, quint32 value) {
    for (int i = 0; i < 4; ++i)
        at[i] = char((value >> (8 * i)) & 0xff);
}

void appendU16(QByteArray& out, quint16 value) {
    char bytes[2];
    putU16(bytes, value);
    out.append(bytes, 2);
}

void appendU32(QByteArray& out, quint32 value) {
    char bytes[4];
    putU32(bytes, value);
    out.append(bytes, 4);
}

quint64 align(quint64 value, quint64 to) {
    return (value + to - 1) / to * to;
}

// Large files are written once into fresh memory; huge pages spare most of the
// page faults that would otherwise cost more than filling the pixels.
void adviseHugePages(char* data, qsizetype size) {
    constexpr qsizetype kHugePage = 2 * 1024 * 1024;
    if (size < 4 * kHugePage)
        return;
    const auto start = align(reinterpret_cast<quintptr>(data), kHugePage);
    const auto end = reinterpret_cast<quintptr>(data) + quintptr(size);
    if (end > start + kHugePage)
        ::madvise(reinterpret_cast<void*>(start), (end - start) / kHugePage * kHugePage, MADV_HUGEPAGE);
}

struct Node {
    const TiffBuilder::Ifd* ifd = nullptr;
    quint64 offset = 0;
    std::vector<quint64> valueOffsets; // per entry, for values over 4 bytes
    std::vector<int> childNodes;       // per child
    std::vector<int> blockIndices;     // per block, into the file's block list
    quint64 next = 0;
};

} // namespace

void TiffBuilder::Ifd::add(quint16 tag, Type type, quint32 count, QByteArray value) {
    entries_.push_back(Entry{tag, type, count, std::move(value)});
}

void TiffBuilder::Ifd::ascii(quint16 tag, const QByteArray& text) {
    QByteArray value = text;
    value.append('\0');
    add(tag, Type::ascii, quint32(value.size()), value);
}

void TiffBuilder::Ifd::bytes(quint16 tag, const QByteArray& values) {
    add(tag, Type::byte, quint32(values.size()), values);
}

void TiffBuilder::Ifd::undefined(quint16 tag, const QByteArray& values) {
    add(tag, Type::undefined, quint32(values.size()), values);
}

void TiffBuilder::Ifd::shorts(quint16 tag, const std::vector<quint16>& values) {
    QByteArray value;
    for (quint16 v : values)
        appendU16(value, v);
    add(tag, Type::shortType, quint32(values.size()), value);
}

void TiffBuilder::Ifd::longs(quint16 tag, const std::vector<quint32>& values) {
    QByteArray value;
    for (quint32 v : values)
        appendU32(value, v);
    add(tag, Type::longType, quint32(values.size()), value);
}

void TiffBuilder::Ifd::rationals(quint16 tag, const std::vector<std::pair<quint32, quint32>>& values) {
    QByteArray value;
    for (const auto& [numerator, denominator] : values) {
        appendU32(value, numerator);
        appendU32(value, denominator);
    }
    add(tag, Type::rational, quint32(values.size()), value);
}

void TiffBuilder::Ifd::srationals(quint16 tag, const std::vector<std::pair<qint32, qint32>>& values) {
    QByteArray value;
    for (const auto& [numerator, denominator] : values) {
        appendU32(value, quint32(numerator));
        appendU32(value, quint32(denominator));
    }
    add(tag, Type::srational, quint32(values.size()), value);
}

void TiffBuilder::Ifd::subIfd(quint16 tag, Ifd child) {
    children_.push_back(std::move(child));
    add(tag, Type::longType, 1, QByteArray(4, '\0'));
    entries_.back().child = int(children_.size() - 1);
}

void TiffBuilder::Ifd::block(const std::vector<quint16>& offsetTags, quint16 sizeTag, qsizetype size,
                             Fill fill) {
    blocks_.push_back(Block{size, std::move(fill)});
    for (quint16 tag : offsetTags) {
        add(tag, Type::longType, 1, QByteArray(4, '\0'));
        entries_.back().block = int(blocks_.size() - 1);
    }
    if (sizeTag != 0)
        longs(sizeTag, {quint32(size)});
}

TiffBuilder::TiffBuilder(quint16 magic, quint32 headerSize)
    : magic_(magic)
    , headerSize_(std::max<quint32>(headerSize, 8)) {}

void TiffBuilder::append(Ifd ifd) {
    chain_.push_back(std::move(ifd));
}

std::expected<QByteArray, QString> TiffBuilder::build() const {
    if (chain_.empty())
        return std::unexpected(u"A TIFF file needs at least one image directory."_s);

    // First pass: where every directory, value and block goes.
    std::vector<Node> nodes;
    std::vector<std::pair<const Ifd::Block*, quint64>> blocks;
    quint64 position = headerSize_;
    auto place = [&](auto& self, const Ifd& ifd) -> int {
        const int index = int(nodes.size());
        Node node;
        node.ifd = &ifd;
        nodes.push_back(std::move(node));
        position = align(position, 2);
        nodes[size_t(index)].offset = position;
        position += 2 + 12 * ifd.entries_.size() + 4;
        std::vector<quint64> valueOffsets(ifd.entries_.size(), 0);
        for (size_t i = 0; i < ifd.entries_.size(); ++i) {
            if (ifd.entries_[i].value.size() > 4) {
                position = align(position, 2);
                valueOffsets[i] = position;
                position += quint64(ifd.entries_[i].value.size());
            }
        }
        nodes[size_t(index)].valueOffsets = std::move(valueOffsets);
        for (const Ifd& child : ifd.children_) {
            const int childNode = self(self, child);
            nodes[size_t(index)].childNodes.push_back(childNode);
        }
        for (const Ifd::Block& block : ifd.blocks_) {
            nodes[size_t(index)].blockIndices.push_back(int(blocks.size()));
            blocks.emplace_back(&block, 0);
        }
        return index;
    };
    std::vector<int> chainNodes;
    for (const Ifd& ifd : chain_)
        chainNodes.push_back(place(place, ifd));
    for (size_t i = 0; i + 1 < chainNodes.size(); ++i)
        nodes[size_t(chainNodes[i])].next = nodes[size_t(chainNodes[i + 1])].offset;
    const quint64 metadataEnd = position;
    for (auto& [block, offset] : blocks) {
        position = align(position, 16);
        offset = position;
        position += quint64(block->size);
    }
    if (position > std::numeric_limits<quint32>::max())
        return std::unexpected(u"The file would exceed the 4 GiB a TIFF offset can address."_s);

    // Second pass: the bytes.
    QByteArray file(qsizetype(position), Qt::Uninitialized);
    char* data = file.data();
    adviseHugePages(data, file.size());
    std::memset(data, 0, size_t(metadataEnd));
    data[0] = 'I';
    data[1] = 'I';
    putU16(data + 2, magic_);
    putU32(data + 4, quint32(nodes[size_t(chainNodes.front())].offset));

    for (const Node& node : nodes) {
        const auto& entries = node.ifd->entries_;
        std::vector<size_t> order(entries.size());
        std::iota(order.begin(), order.end(), 0);
        std::stable_sort(order.begin(), order.end(),
                         [&](size_t a, size_t b) { return entries[a].tag < entries[b].tag; });
        char* at = data + node.offset;
        putU16(at, quint16(entries.size()));
        at += 2;
        for (size_t i : order) {
            const Ifd::Entry& entry = entries[i];
            putU16(at, entry.tag);
            putU16(at + 2, quint16(entry.type));
            putU32(at + 4, entry.count);
            if (entry.child >= 0) {
                putU32(at + 8, quint32(nodes[size_t(node.childNodes[size_t(entry.child)])].offset));
            } else if (entry.block >= 0) {
                putU32(at + 8, quint32(blocks[size_t(node.blockIndices[size_t(entry.block)])].second));
            } else if (entry.value.size() > 4) {
                putU32(at + 8, quint32(node.valueOffsets[i]));
                std::memcpy(data + node.valueOffsets[i], entry.value.constData(), size_t(entry.value.size()));
            } else {
                std::memcpy(at + 8, entry.value.constData(), size_t(entry.value.size()));
            }
            at += 12;
        }
        putU32(at, quint32(node.next));
    }

    quint64 previousEnd = metadataEnd;
    for (const auto& [block, offset] : blocks) {
        std::memset(data + previousEnd, 0, size_t(offset - previousEnd));
        block->fill(data + offset);
        previousEnd = offset + quint64(block->size);
    }
    return file;
}
