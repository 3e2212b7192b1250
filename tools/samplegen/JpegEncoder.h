#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

#include <expected>

// Baseline JPEG encoding with libjpeg-turbo, the encoder cameras' files are
// made with here. Stateless; any thread.
class JpegEncoder {
public:
    enum class Subsampling { s444, s422, s420 };

    static std::expected<QByteArray, QString> encode(const QImage& image, int quality,
                                                     Subsampling subsampling = Subsampling::s420);
};
