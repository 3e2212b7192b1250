#include "CameraJpegWriter.h"

#include "OutputFile.h"

#include <QPainter>

#include <cmath>
#include <exiv2/exiv2.hpp>

using namespace Qt::StringLiterals;

namespace {

constexpr int kThumbnailQuality = 85;

std::string text(const QString& value) {
    return value.toStdString();
}

std::string rational(double value, int denominator) {
    return std::to_string(std::lround(std::abs(value) * denominator)) + '/' + std::to_string(denominator);
}

std::string degreesMinutesSeconds(double value) {
    const double magnitude = std::abs(value);
    const long degrees = long(magnitude);
    const double minutesExact = (magnitude - double(degrees)) * 60.0;
    const long minutes = long(minutesExact);
    return std::to_string(degrees) + "/1 " + std::to_string(minutes) + "/1 " +
           rational((minutesExact - double(minutes)) * 60.0, 100);
}

void setValue(Exiv2::ExifData& exif, const char* key, Exiv2::TypeId type, const std::string& value) {
    Exiv2::Value::AutoPtr v = Exiv2::Value::create(type);
    v->read(value);
    exif.add(Exiv2::ExifKey(key), v.get());
}

Exiv2::ExifData exifFor(const QImage& image, const CaptureInfo& info) {
    Exiv2::ExifData exif;
    const std::string date = text(info.exifDateTime());
    exif["Exif.Image.Make"] = text(info.make);
    exif["Exif.Image.Model"] = text(info.model);
    exif["Exif.Image.Orientation"] = uint16_t(info.orientation);
    exif["Exif.Image.XResolution"] = Exiv2::URational(72, 1);
    exif["Exif.Image.YResolution"] = Exiv2::URational(72, 1);
    exif["Exif.Image.ResolutionUnit"] = uint16_t(2);
    exif["Exif.Image.Software"] = std::string("Ver.1.0");
    exif["Exif.Image.DateTime"] = date;
    exif["Exif.Image.YCbCrPositioning"] = uint16_t(2);
    exif["Exif.Photo.ExposureTime"] = Exiv2::URational(1, uint32_t(info.exposureDenominator));
    exif["Exif.Photo.FNumber"] = Exiv2::URational(uint32_t(std::lround(info.fNumber * 10)), 10);
    exif["Exif.Photo.ISOSpeedRatings"] = uint16_t(info.iso);
    setValue(exif, "Exif.Photo.ExifVersion", Exiv2::undefined, "48 50 51 49");
    exif["Exif.Photo.DateTimeOriginal"] = date;
    exif["Exif.Photo.DateTimeDigitized"] = date;
    exif["Exif.Photo.ColorSpace"] = uint16_t(1);
    exif["Exif.Photo.PixelXDimension"] = uint32_t(image.width());
    exif["Exif.Photo.PixelYDimension"] = uint32_t(image.height());
    if (info.gps) {
        const CaptureInfo::Gps& gps = *info.gps;
        setValue(exif, "Exif.GPSInfo.GPSVersionID", Exiv2::unsignedByte, "2 3 0 0");
        exif["Exif.GPSInfo.GPSLatitudeRef"] = std::string(gps.latitude >= 0 ? "N" : "S");
        setValue(exif, "Exif.GPSInfo.GPSLatitude", Exiv2::unsignedRational,
                 degreesMinutesSeconds(gps.latitude));
        exif["Exif.GPSInfo.GPSLongitudeRef"] = std::string(gps.longitude >= 0 ? "E" : "W");
        setValue(exif, "Exif.GPSInfo.GPSLongitude", Exiv2::unsignedRational,
                 degreesMinutesSeconds(gps.longitude));
        setValue(exif, "Exif.GPSInfo.GPSAltitudeRef", Exiv2::unsignedByte, gps.altitude >= 0 ? "0" : "1");
        setValue(exif, "Exif.GPSInfo.GPSAltitude", Exiv2::unsignedRational, rational(gps.altitude, 10));
    }
    return exif;
}

// Exiv2 reports failures by exception; none leaves this function.
std::expected<QByteArray, QString> withExif(const QByteArray& jpeg, const QImage& image,
                                            const CaptureInfo& info, const QByteArray& thumbnail) {
    try {
        auto file = Exiv2::ImageFactory::open(reinterpret_cast<const Exiv2::byte*>(jpeg.constData()),
                                              long(jpeg.size()));
        Exiv2::ExifData exif = exifFor(image, info);
        if (!thumbnail.isEmpty()) {
            Exiv2::ExifThumb thumb(exif);
            thumb.setJpegThumbnail(reinterpret_cast<const Exiv2::byte*>(thumbnail.constData()),
                                   long(thumbnail.size()), Exiv2::URational(72, 1), Exiv2::URational(72, 1),
                                   2);
        }
        file->setExifData(exif);
        file->writeMetadata();
        Exiv2::BasicIo& io = file->io();
        if (io.open() != 0)
            return std::unexpected(u"Can't read back the JPEG with its EXIF."_s);
        const long size = long(io.size());
        Exiv2::DataBuf bytes = io.read(size);
        io.close();
        if (bytes.size_ != size)
            return std::unexpected(u"Can't read back the JPEG with its EXIF."_s);
        return QByteArray(reinterpret_cast<const char*>(bytes.pData_), qsizetype(bytes.size_));
    } catch (const Exiv2::AnyError& error) {
        return std::unexpected(u"Can't write the EXIF: %1"_s.arg(QString::fromStdString(error.what())));
    } catch (const std::exception& error) {
        return std::unexpected(u"Can't write the EXIF: %1"_s.arg(QString::fromLocal8Bit(error.what())));
    }
}

} // namespace

QImage CameraJpegWriter::thumbnail(const QImage& image) {
    QImage thumb(kThumbnailSize, QImage::Format_RGB888);
    thumb.fill(Qt::black);
    const QImage fitted = image.scaled(kThumbnailSize, Qt::KeepAspectRatio, Qt::SmoothTransformation)
                              .convertToFormat(thumb.format());
    QPainter painter(&thumb);
    painter.drawImage((thumb.width() - fitted.width()) / 2, (thumb.height() - fitted.height()) / 2, fitted);
    return thumb;
}

std::expected<QByteArray, QString> CameraJpegWriter::encode(const QImage& image, const CaptureInfo& info,
                                                            const Options& options) {
    if (info.orientation < 1 || info.orientation > 8)
        return std::unexpected(
            u"Orientation %1 is not an EXIF orientation (1 to 8)."_s.arg(info.orientation));
    if (!info.captured.isValid())
        return std::unexpected(u"The capture time is missing."_s);
    auto main = JpegEncoder::encode(image, options.quality, options.subsampling);
    if (!main)
        return main;
    QByteArray thumbnailBytes;
    if (options.thumbnail) {
        auto encoded = JpegEncoder::encode(thumbnail(image), kThumbnailQuality);
        if (!encoded)
            return encoded;
        thumbnailBytes = *encoded;
    }
    return withExif(*main, image, info, thumbnailBytes);
}

std::expected<void, QString> CameraJpegWriter::write(const QString& path, const QImage& image,
                                                     const CaptureInfo& info, const Options& options) {
    auto bytes = encode(image, info, options);
    if (!bytes)
        return std::unexpected(bytes.error());
    return OutputFile::write(path, *bytes);
}
