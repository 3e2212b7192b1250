#include "ImageMetadata.h"

#include "RegularFile.h"

#include <exiv2/exiv2.hpp>

#include <mutex>
#include <utility>
#include <vector>

namespace {

// Exiv2 is used from several threads: its XMP toolkit needs a lock and a
// one-time start, and its warnings would go to stderr.
void initialiseExiv2() {
    static std::once_flag once;
    std::call_once(once, [] {
        static std::mutex xmpMutex;
        Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
        Exiv2::XmpParser::initialize(
            [](void* data, bool lock) {
                auto* m = static_cast<std::mutex*>(data);
                if (lock)
                    m->lock();
                else
                    m->unlock();
            },
            &xmpMutex);
    });
}

bool isDngTag(uint16_t tag) {
    // DNG 1.0 to 1.6 tags: 0xC612 (DNGVersion) to 0xC7FF, and 0xCD00 on.
    return (tag >= 0xC612 && tag <= 0xC7FF) || (tag >= 0xCD00 && tag <= 0xCDFF);
}

bool describesStoredPixels(uint16_t tag) {
    switch (tag) {
    case 0x00FE: // NewSubfileType
    case 0x00FF: // SubfileType
    case 0x0102: // BitsPerSample
    case 0x0103: // Compression
    case 0x0106: // PhotometricInterpretation
    case 0x0111: // StripOffsets
    case 0x0115: // SamplesPerPixel
    case 0x0116: // RowsPerStrip
    case 0x0117: // StripByteCounts
    case 0x011C: // PlanarConfiguration
    case 0x0142: // TileWidth
    case 0x0143: // TileLength
    case 0x0144: // TileOffsets
    case 0x0145: // TileByteCounts
    case 0x014A: // SubIFDs
    case 0x0201: // JPEGInterchangeFormat
    case 0x0202: // JPEGInterchangeFormatLength
    case 0x828D: // CFARepeatPatternDim
    case 0x828E: // CFAPattern
        return true;
    default:
        return false;
    }
}

template <typename Container, typename Predicate>
void eraseIf(Container& c, Predicate p) {
    for (auto it = c.begin(); it != c.end();) {
        if (p(*it))
            it = c.erase(it);
        else
            ++it;
    }
}

QByteArray withHeader(const char* header, size_t headerSize, const void* data, size_t size) {
    QByteArray bytes(header, qsizetype(headerSize));
    bytes.append(static_cast<const char*>(data), qsizetype(size));
    return bytes;
}

} // namespace

struct ImageMetadata::Data {
    Exiv2::ExifData exif;
    Exiv2::IptcData iptc;
    Exiv2::XmpData xmp;
};

ImageMetadata::ImageMetadata()
    : d(std::make_shared<Data>()) {}
ImageMetadata::~ImageMetadata() = default;
ImageMetadata::ImageMetadata(const ImageMetadata&) = default;
ImageMetadata& ImageMetadata::operator=(const ImageMetadata&) = default;

ImageMetadata::Data& ImageMetadata::mutableData() {
    if (d.use_count() > 1)
        d = std::make_shared<Data>(*d);
    return *d;
}

std::expected<ImageMetadata, ImagingError> ImageMetadata::read(const QString& path) {
    initialiseExiv2();
    // Exiv2 opens a path of its own; the one of an already checked
    // descriptor cannot lead it to a FIFO that would block it.
    auto file = RegularFile::open(path);
    if (!file)
        return std::unexpected(file.error());
    try {
        auto image = Exiv2::ImageFactory::open(file->descriptorPath().toStdString(), false);
        if (!image.get())
            return std::unexpected(ImagingError{QStringLiteral("Unknown file type")});
        image->readMetadata();
        ImageMetadata metadata;
        Data& data = metadata.mutableData();
        data.exif = image->exifData();
        data.iptc = image->iptcData();
        data.xmp = image->xmpData();
        return metadata;
    } catch (const std::exception& e) {
        return std::unexpected(ImagingError{QString::fromLocal8Bit(e.what())});
    }
}

bool ImageMetadata::isEmpty() const {
    return d->exif.empty() && d->iptc.empty() && d->xmp.empty();
}

bool ImageMetadata::hasGroup(Group group) const {
    switch (group) {
    case Group::tiff:
        return std::any_of(d->exif.begin(), d->exif.end(),
                           [](const auto& m) { return m.groupName() == "Image"; });
    case Group::exif:
        return std::any_of(d->exif.begin(), d->exif.end(),
                           [](const auto& m) { return m.groupName() == "Photo"; });
    case Group::gps:
        return std::any_of(d->exif.begin(), d->exif.end(),
                           [](const auto& m) { return m.groupName() == "GPSInfo"; });
    case Group::dng:
        return std::any_of(d->exif.begin(), d->exif.end(),
                           [](const auto& m) { return m.groupName() == "Image" && isDngTag(m.tag()); });
    case Group::iptc:
        return !d->iptc.empty();
    case Group::xmp:
        return !d->xmp.empty();
    }
    return false;
}

int ImageMetadata::orientation() const {
    const auto it = d->exif.findKey(Exiv2::ExifKey("Exif.Image.Orientation"));
    if (it == d->exif.end() || it->count() == 0)
        return 1;
    const long v = it->toLong();
    return v >= 1 && v <= 8 ? int(v) : 1;
}

std::optional<QString> ImageMetadata::value(const QString& key) const {
    try {
        const std::string k = key.toStdString();
        if (key.startsWith(QStringLiteral("Exif."))) {
            const auto it = d->exif.findKey(Exiv2::ExifKey(k));
            if (it != d->exif.end())
                return QString::fromStdString(it->toString());
        } else if (key.startsWith(QStringLiteral("Iptc."))) {
            const auto it = d->iptc.findKey(Exiv2::IptcKey(k));
            if (it != d->iptc.end())
                return QString::fromStdString(it->toString());
        } else if (key.startsWith(QStringLiteral("Xmp."))) {
            const auto it = d->xmp.findKey(Exiv2::XmpKey(k));
            if (it != d->xmp.end())
                return QString::fromStdString(it->toString());
        }
    } catch (const std::exception&) {
    }
    return std::nullopt;
}

QStringList ImageMetadata::keys() const {
    QStringList keys;
    for (const auto& m : d->exif)
        keys.append(QString::fromStdString(m.key()));
    for (const auto& m : d->iptc)
        keys.append(QString::fromStdString(m.key()));
    for (const auto& m : d->xmp)
        keys.append(QString::fromStdString(m.key()));
    return keys;
}

void ImageMetadata::setOrientation(int orientation) {
    Data& data = mutableData();
    data.exif["Exif.Image.Orientation"] = uint16_t(orientation);
    if (data.xmp.findKey(Exiv2::XmpKey("Xmp.tiff.Orientation")) != data.xmp.end())
        data.xmp["Xmp.tiff.Orientation"] = std::to_string(orientation);
}

void ImageMetadata::removeGroup(Group group) {
    Data& data = mutableData();
    switch (group) {
    case Group::tiff:
        eraseIf(data.exif, [](const Exiv2::Exifdatum& m) { return m.groupName() == "Image"; });
        break;
    case Group::exif:
        eraseIf(data.exif, [](const Exiv2::Exifdatum& m) { return m.groupName() == "Photo"; });
        break;
    case Group::gps:
        eraseIf(data.exif, [](const Exiv2::Exifdatum& m) { return m.groupName() == "GPSInfo"; });
        break;
    case Group::dng:
        eraseIf(data.exif,
                [](const Exiv2::Exifdatum& m) { return m.groupName() == "Image" && isDngTag(m.tag()); });
        break;
    case Group::iptc:
        data.iptc.clear();
        break;
    case Group::xmp:
        data.xmp.clear();
        break;
    }
}

void ImageMetadata::removePixelSize() {
    Data& data = mutableData();
    for (const char* key : {"Exif.Image.ImageWidth", "Exif.Image.ImageLength", "Exif.Photo.PixelXDimension",
                            "Exif.Photo.PixelYDimension"}) {
        const auto it = data.exif.findKey(Exiv2::ExifKey(key));
        if (it != data.exif.end())
            data.exif.erase(it);
    }
    for (const char* key : {"Xmp.tiff.ImageWidth", "Xmp.tiff.ImageLength", "Xmp.exif.PixelXDimension",
                            "Xmp.exif.PixelYDimension"}) {
        const auto it = data.xmp.findKey(Exiv2::XmpKey(key));
        if (it != data.xmp.end())
            data.xmp.erase(it);
    }
}

void ImageMetadata::setPixelSize(QSize size) {
    Data& data = mutableData();
    data.exif["Exif.Photo.PixelXDimension"] = uint32_t(size.width());
    data.exif["Exif.Photo.PixelYDimension"] = uint32_t(size.height());
}

bool ImageMetadata::setValue(const QString& key, const QString& text) {
    Data& data = mutableData();
    const std::string k = key.toStdString();
    const std::string v = text.toStdString();
    try {
        if (key.startsWith(QStringLiteral("Exif.")))
            return data.exif[k].setValue(v) == 0;
        if (key.startsWith(QStringLiteral("Iptc.")))
            return data.iptc[k].setValue(v) == 0;
        if (key.startsWith(QStringLiteral("Xmp.")))
            return data.xmp[k].setValue(v) == 0;
    } catch (const std::exception&) {
    }
    return false;
}

void ImageMetadata::removeImageStructure() {
    Data& data = mutableData();
    eraseIf(data.exif, [](const Exiv2::Exifdatum& m) {
        const std::string group = m.groupName();
        if (group == "Image")
            return describesStoredPixels(m.tag());
        // Sub-images, further main-chain images, the thumbnail and a RAW
        // format's sensor directory describe pixels the JPEG does not hold.
        const bool furtherImage = group.size() > 5 && group.rfind("Image", 0) == 0; // Image2, Image3, ...
        return furtherImage || group.rfind("SubImage", 0) == 0 || group == "Thumbnail" ||
               group == "PanasonicRaw";
    });
}

void ImageMetadata::adoptRawCameraTags() {
    Data& data = mutableData();
    std::vector<std::pair<Exiv2::ExifKey, Exiv2::Value::AutoPtr>> adopted;
    const auto adopt = [&](const Exiv2::ExifKey& key, const Exiv2::Exifdatum& from) {
        if (data.exif.findKey(key) == data.exif.end())
            adopted.emplace_back(key, from.getValue());
    };
    for (const Exiv2::Exifdatum& m : data.exif) {
        if (m.groupName() != "PanasonicRaw" || m.count() == 0)
            continue;
        switch (m.tag()) {
        case 0x010e: // ImageDescription
        case 0x010f: // Make
        case 0x0110: // Model
        case 0x0131: // Software
        case 0x0132: // DateTime
        case 0x013b: // Artist
        case 0x8298: // Copyright
            adopt(Exiv2::ExifKey(m.tag(), "Image"), m);
            if (m.tag() == 0x0132)
                adopt(Exiv2::ExifKey("Exif.Photo.DateTimeOriginal"), m);
            break;
        case 0x0017: // ISO
            adopt(Exiv2::ExifKey("Exif.Photo.ISOSpeedRatings"), m);
            break;
        default:
            break;
        }
    }
    for (auto& [key, value] : adopted) {
        if (key.key() == "Exif.Photo.ISOSpeedRatings")
            data.exif[key.key()] = uint16_t(value->toLong());
        else if (data.exif.findKey(key) == data.exif.end())
            data.exif.add(key, value.get());
    }
}

ImageMetadata::JpegSegments ImageMetadata::jpegSegments() const {
    initialiseExiv2();
    JpegSegments segments;
    try {
        if (!d->exif.empty()) {
            static const char header[] = "Exif\0\0";
            Exiv2::ExifData exif = d->exif;
            const auto encode = [&] {
                Exiv2::Blob blob;
                Exiv2::ExifParser::encode(blob, Exiv2::littleEndian, exif);
                return withHeader(header, 6, blob.data(), blob.size());
            };
            QByteArray bytes = encode();
            if (bytes.size() > 65533) {
                eraseIf(exif, [](const Exiv2::Exifdatum& m) {
                    return m.key() == "Exif.Photo.MakerNote" || Exiv2::ExifTags::isMakerGroup(m.groupName());
                });
                bytes = encode();
            }
            if (bytes.size() > 65533) {
                eraseIf(exif, [](const Exiv2::Exifdatum& m) { return m.groupName() == "Thumbnail"; });
                bytes = encode();
            }
            if (bytes.size() <= 65533)
                segments.exif = bytes;
        }
        if (!d->xmp.empty()) {
            static const char header[] = "http://ns.adobe.com/xap/1.0/";
            std::string packet;
            if (Exiv2::XmpParser::encode(packet, d->xmp, Exiv2::XmpParser::useCompactFormat) == 0) {
                const QByteArray bytes = withHeader(header, sizeof header, packet.data(), packet.size());
                if (bytes.size() <= 65533)
                    segments.xmp = bytes;
            }
        }
        if (!d->iptc.empty()) {
            static const char header[] = "Photoshop 3.0";
            const Exiv2::DataBuf irb = Exiv2::Photoshop::setIptcIrb(nullptr, 0, d->iptc);
            if (irb.size_ > 0) {
                const QByteArray bytes = withHeader(header, sizeof header, irb.pData_, size_t(irb.size_));
                if (bytes.size() <= 65533)
                    segments.iptc = bytes;
            }
        }
    } catch (const std::exception&) {
    }
    return segments;
}
