#pragma once

// Reads generated files back with libraries independent of the writers:
// LibRaw develops RAW files and extracts their embedded previews, Exiv2 reads
// metadata and lists previews. Errors come back as text, never as exceptions.

#include <QImage>
#include <QList>
#include <QMap>
#include <QString>

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

struct Preview {
    QString mimeType;
    QSize size;
};

// Develops `path` to 8-bit sRGB with the camera's white balance and no
// automatic brightening, so the output can be compared with the scene.
inline std::expected<QImage, QString> developRaw(const QString& path) {
    auto raw = std::make_unique<LibRaw>();
    auto& params = raw->imgdata.params;
    params.use_camera_wb = 1;
    params.no_auto_bright = 1;
    params.output_color = 1;
    params.output_bps = 8;
    params.gamm[0] = 1 / 2.4;
    params.gamm[1] = 12.92;
    params.user_qual = 3; // AHD
    if (int e = raw->open_file(path.toLocal8Bit().constData()); e != LIBRAW_SUCCESS)
        return std::unexpected(QString::fromLatin1(libraw_strerror(e)));
    if (int e = raw->unpack(); e != LIBRAW_SUCCESS)
        return std::unexpected(QString::fromLatin1(libraw_strerror(e)));
    if (int e = raw->dcraw_process(); e != LIBRAW_SUCCESS)
        return std::unexpected(QString::fromLatin1(libraw_strerror(e)));
    int error = 0;
    std::unique_ptr<libraw_processed_image_t, void (*)(libraw_processed_image_t*)> image(
        raw->dcraw_make_mem_image(&error), LibRaw::dcraw_clear_mem);
    if (!image || image->colors != 3 || image->bits != 8)
        return std::unexpected(QStringLiteral("no 8-bit RGB image"));
    return QImage(image->data, image->width, image->height, image->width * 3, QImage::Format_RGB888).copy();
}

// The embedded preview as LibRaw finds it, decoded.
inline std::expected<QImage, QString> rawPreview(const QString& path) {
    auto raw = std::make_unique<LibRaw>();
    if (int e = raw->open_file(path.toLocal8Bit().constData()); e != LIBRAW_SUCCESS)
        return std::unexpected(QString::fromLatin1(libraw_strerror(e)));
    if (int e = raw->unpack_thumb(); e != LIBRAW_SUCCESS)
        return std::unexpected(QString::fromLatin1(libraw_strerror(e)));
    const libraw_thumbnail_t& thumb = raw->imgdata.thumbnail;
    if (thumb.tformat == LIBRAW_THUMBNAIL_JPEG)
        return QImage::fromData(reinterpret_cast<const uchar*>(thumb.thumb), int(thumb.tlength), "JPEG");
    if (thumb.tformat == LIBRAW_THUMBNAIL_BITMAP && thumb.tcolors == 3)
        return QImage(reinterpret_cast<const uchar*>(thumb.thumb), thumb.twidth, thumb.theight,
                      thumb.twidth * 3, QImage::Format_RGB888)
            .copy();
    return std::unexpected(QStringLiteral("unknown preview format"));
}

// Every EXIF value Exiv2 reads, by key, as text.
inline std::expected<QMap<QString, QString>, QString> exif(const QString& path) {
    try {
        auto image = Exiv2::ImageFactory::open(path.toStdString());
        image->readMetadata();
        QMap<QString, QString> values;
        for (const Exiv2::Exifdatum& datum : image->exifData())
            values.insert(QString::fromStdString(datum.key()),
                          QString::fromStdString(datum.value().toString()));
        return values;
    } catch (const Exiv2::AnyError& error) {
        return std::unexpected(QString::fromStdString(error.what()));
    }
}

// The previews Exiv2 finds, smallest first.
inline std::expected<QList<Preview>, QString> exivPreviews(const QString& path) {
    try {
        auto image = Exiv2::ImageFactory::open(path.toStdString());
        image->readMetadata();
        Exiv2::PreviewManager manager(*image);
        QList<Preview> previews;
        for (const Exiv2::PreviewProperties& p : manager.getPreviewProperties())
            previews.append({QString::fromStdString(p.mimeType_), QSize(int(p.width_), int(p.height_))});
        return previews;
    } catch (const Exiv2::AnyError& error) {
        return std::unexpected(QString::fromStdString(error.what()));
    }
}

// The JPEG thumbnail in IFD1, decoded.
inline std::expected<QImage, QString> exifThumbnail(const QString& path) {
    try {
        auto image = Exiv2::ImageFactory::open(path.toStdString());
        image->readMetadata();
        Exiv2::ExifThumbC thumb(image->exifData());
        const Exiv2::DataBuf data = thumb.copy();
        if (data.size_ == 0)
            return std::unexpected(QStringLiteral("no thumbnail"));
        return QImage::fromData(data.pData_, int(data.size_), "JPEG");
    } catch (const Exiv2::AnyError& error) {
        return std::unexpected(QString::fromStdString(error.what()));
    }
}

// The largest difference of one channel between two colours.
inline int colourDistance(QRgb a, QRgb b) {
    return std::max(
        {std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)), std::abs(qBlue(a) - qBlue(b))});
}

} // namespace inspection

namespace inspection {

// Compares `developed` with the `expected` picture at a 4 x 4 grid of points,
// each well inside one region of the test pattern whatever the orientation.
// Returns a description of the first point that differs by more than
// `tolerance` levels, or an empty string.
inline QString gridMismatch(const QImage& developed, const QImage& expected, int tolerance) {
    if (developed.size() != expected.size())
        return QStringLiteral("size %1 x %2, expected %3 x %4")
            .arg(developed.width())
            .arg(developed.height())
            .arg(expected.width())
            .arg(expected.height());
    for (int j = 0; j < 4; ++j) {
        for (int i = 0; i < 4; ++i) {
            const int x = int((0.125 + 0.25 * i) * expected.width());
            const int y = int((0.125 + 0.25 * j) * expected.height());
            const QRgb got = developed.pixel(x, y);
            const QRgb want = expected.pixel(x, y);
            if (colourDistance(got, want) > tolerance)
                return QStringLiteral("at (%1, %2): (%3, %4, %5), expected (%6, %7, %8)")
                    .arg(x)
                    .arg(y)
                    .arg(qRed(got))
                    .arg(qGreen(got))
                    .arg(qBlue(got))
                    .arg(qRed(want))
                    .arg(qGreen(want))
                    .arg(qBlue(want));
        }
    }
    return {};
}

} // namespace inspection
