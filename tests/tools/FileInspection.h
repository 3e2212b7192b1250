#pragma once

// Reads generated files back with libraries independent of the writers:
// LibRaw develops RAW files and extracts their embedded previews, Exiv2 reads
// metadata, previews and the EXIF thumbnail. Errors come back as text, never
// as exceptions.

#include <QColor>
#include <QDebug>
#include <QImage>
#include <QList>
#include <QMap>
#include <QStringList>

#include <exiv2/exiv2.hpp>
#include <libraw/libraw.h>

#include <expected>
#include <memory>

namespace inspection {

// The error of a failed result, or nothing: test messages are built before
// the check, so they must not read the error of a success.
template <typename Expected>
QString failure(const Expected& result) {
    return result ? QString() : QString(result.error());
}

// Opens `path` with LibRaw and returns its embedded preview or, if `develop`,
// the sensor data developed to 8-bit sRGB with the camera's white balance and
// no automatic brightening, so the output can be compared with the scene.
inline std::expected<QImage, QString> libRaw(const QString& path, bool develop) {
    auto raw = std::make_unique<LibRaw>();
    auto& params = raw->imgdata.params;
    params.use_camera_wb = 1;
    params.no_auto_bright = 1;
    params.adjust_maximum_thr = 0; // the file's white level, whatever the picture's brightest pixel
    params.output_bps = 8;
    params.gamm[0] = 1 / 2.4;
    params.gamm[1] = 12.92;
    params.user_qual = 3; // AHD
    int e = raw->open_file(path.toLocal8Bit().constData());
    if (e == LIBRAW_SUCCESS)
        e = develop ? raw->unpack() : raw->unpack_thumb();
    if (e == LIBRAW_SUCCESS && develop)
        e = raw->dcraw_process();
    if (e != LIBRAW_SUCCESS)
        return std::unexpected(QString::fromLatin1(libraw_strerror(e)));
    const libraw_thumbnail_t& thumb = raw->imgdata.thumbnail;
    if (!develop && thumb.tformat == LIBRAW_THUMBNAIL_JPEG)
        return QImage::fromData(reinterpret_cast<const uchar*>(thumb.thumb), int(thumb.tlength), "JPEG");
    if (!develop && thumb.tformat == LIBRAW_THUMBNAIL_BITMAP && thumb.tcolors == 3)
        return QImage(reinterpret_cast<const uchar*>(thumb.thumb), thumb.twidth, thumb.theight,
                      thumb.twidth * 3, QImage::Format_RGB888)
            .copy();
    std::unique_ptr<libraw_processed_image_t, void (*)(libraw_processed_image_t*)> image(
        develop ? raw->dcraw_make_mem_image(&e) : nullptr, LibRaw::dcraw_clear_mem);
    if (!image || image->colors != 3 || image->bits != 8)
        return std::unexpected(QStringLiteral("no 8-bit RGB image"));
    return QImage(image->data, image->width, image->height, image->width * 3, QImage::Format_RGB888).copy();
}

// EXIF values by key, as text.
using Tags = QMap<QString, QString>;

struct Metadata {
    Tags tags;
    QList<QPair<QString, QSize>> previews; // MIME type and size, smallest first
    QImage thumbnail;                      // the JPEG thumbnail in IFD1, decoded
};

inline std::expected<Metadata, QString> metadata(const QString& path) {
    try {
        auto image = Exiv2::ImageFactory::open(path.toStdString());
        image->readMetadata();
        Metadata m;
        for (const Exiv2::Exifdatum& datum : image->exifData())
            m.tags.insert(QString::fromStdString(datum.key()),
                          QString::fromStdString(datum.value().toString()));
        for (const Exiv2::PreviewProperties& p : Exiv2::PreviewManager(*image).getPreviewProperties())
            m.previews.append({QString::fromStdString(p.mimeType_), QSize(int(p.width_), int(p.height_))});
        const Exiv2::DataBuf thumb = Exiv2::ExifThumbC(image->exifData()).copy();
        m.thumbnail = QImage::fromData(thumb.pData_, int(thumb.size_), "JPEG");
        return m;
    } catch (const Exiv2::AnyError& error) {
        return std::unexpected(QString::fromStdString(error.what()));
    }
}

// The first of `expected` ("Group.Tag=value", under "Exif.") that `tags`
// lacks or holds another value for, or an empty string.
inline QString tagMismatch(const Tags& tags, const QStringList& expected) {
    for (const QString& entry : expected) {
        const QString key = QStringLiteral("Exif.") + entry.section(u'=', 0, 0),
                      value = entry.section(u'=', 1);
        if (tags.value(key) != value)
            return QStringLiteral("%1 is \"%2\", expected \"%3\"").arg(key, tags.value(key), value);
    }
    return {};
}

// The largest difference of one channel between two colours.
inline int colourDistance(QRgb a, QRgb b) {
    return std::max(
        {std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)), std::abs(qBlue(a) - qBlue(b))});
}

// Compares `image` with the `expected` picture at a 4 x 4 grid of points,
// each well inside one region of the test pattern whatever the orientation.
// Returns a description of the first point that differs by more than
// `tolerance` levels, or an empty string.
inline QString gridMismatch(const QImage& image, const QImage& expected, int tolerance) {
    if (image.size() != expected.size())
        return QStringLiteral("size %1, expected %2")
            .arg(QDebug::toString(image.size()), QDebug::toString(expected.size()));
    for (int j = 0; j < 4; ++j) {
        for (int i = 0; i < 4; ++i) {
            const QPoint at(int((0.125 + 0.25 * i) * expected.width()),
                            int((0.125 + 0.25 * j) * expected.height()));
            if (colourDistance(image.pixel(at), expected.pixel(at)) > tolerance)
                return QStringLiteral("at %1: %2, expected %3")
                    .arg(QDebug::toString(at), QColor(image.pixel(at)).name(),
                         QColor(expected.pixel(at)).name());
        }
    }
    return {};
}

} // namespace inspection
