#pragma once

#include "CaptureInfo.h"
#include "JpegEncoder.h"

#include <QByteArray>
#include <QImage>
#include <QString>

#include <expected>

// Writes a JPEG the way a camera does: the pixels as the sensor saw them
// (turned upright only through the EXIF orientation), then EXIF written with
// Exiv2: make, model, dates, exposure, optional GPS, and a 160 x 120 JPEG
// thumbnail in IFD1. Stateless; any thread.
class CameraJpegWriter {
public:
    struct Options {
        int quality = 92;
        JpegEncoder::Subsampling subsampling = JpegEncoder::Subsampling::s420;
        bool thumbnail = true;
    };

    static constexpr QSize kThumbnailSize{160, 120};

    static std::expected<QByteArray, QString> encode(const QImage& image, const CaptureInfo& info,
                                                     const Options& options);
    static std::expected<void, QString> write(const QString& path, const QImage& image,
                                              const CaptureInfo& info, const Options& options);
    static std::expected<QByteArray, QString> encode(const QImage& image, const CaptureInfo& info) {
        return encode(image, info, Options{});
    }
    static std::expected<void, QString> write(const QString& path, const QImage& image,
                                              const CaptureInfo& info) {
        return write(path, image, info, Options{});
    }

    // The image fitted into 160 x 120 with black bars, as cameras make the EXIF
    // thumbnail of a 3:2 picture.
    static QImage thumbnail(const QImage& image);
};
