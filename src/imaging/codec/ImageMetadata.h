#pragma once

#include "ImagingError.h"

#include <QByteArray>
#include <QSize>
#include <QString>
#include <QStringList>

#include <expected>
#include <memory>
#include <optional>

// The metadata of a photo (EXIF with its TIFF, GPS and DNG groups, IPTC,
// XMP), read and written with Exiv2, which no other class touches. A value:
// copies share their data until one changes. Edits are the few a copy of an
// edited photo needs; everything else passes through unchanged.
class ImageMetadata {
public:
    enum class Group {
        tiff, // the main image directory (Exif.Image)
        exif, // Exif.Photo
        gps,
        dng, // the DNG tags of the main directory (DNGVersion, ColorMatrix1, ...)
        iptc,
        xmp,
    };

    ImageMetadata();
    ~ImageMetadata();
    ImageMetadata(const ImageMetadata&);
    ImageMetadata& operator=(const ImageMetadata&);

    // Everything Exiv2 reads from the file.
    static std::expected<ImageMetadata, ImagingError> read(const QString& path);

    bool isEmpty() const;
    bool hasGroup(Group group) const;
    // 1..8; 1 when absent or out of range.
    int orientation() const;
    // The text of one entry by its Exiv2 key ("Exif.Photo.FNumber",
    // "Iptc.Application2.City", "Xmp.dc.title"); nothing when absent.
    std::optional<QString> value(const QString& key) const;
    QStringList keys() const;

    // Orientation in the main directory and in XMP (tiff:Orientation) alike.
    void setOrientation(int orientation);
    void removeGroup(Group group);
    // Drops every statement of the image's size (main directory, EXIF, XMP).
    void removePixelSize();
    // The size of the pixels a file really holds (EXIF PixelX/YDimension).
    void setPixelSize(QSize size);
    // Sets one entry from text, by its Exiv2 key; false for an unknown key.
    bool setValue(const QString& key, const QString& text);
    // Drops what describes the stored pixels of a RAW or TIFF file (strips,
    // CFA layout, sub-images, thumbnails, sensor tags): none of it is true of
    // a JPEG made from the picture.
    void removeImageStructure();
    // A RAW format with a main directory of its own (Panasonic's RW2) keeps
    // the camera's make, model, date and ISO there; copies them to the
    // standard entries a JPEG carries, where those are missing.
    void adoptRawCameraTags();

    // APP segment payloads for a JPEG: EXIF (with "Exif\0\0"), XMP (with its
    // namespace header) and IPTC (Photoshop APP13). Empty when there is
    // nothing. An EXIF block too large for a segment loses its maker note,
    // then its thumbnail; one still too large is left out.
    struct JpegSegments {
        QByteArray exif;
        QByteArray xmp;
        QByteArray iptc;
    };
    JpegSegments jpegSegments() const;

private:
    struct Data;
    Data& mutableData();
    std::shared_ptr<Data> d;
};
