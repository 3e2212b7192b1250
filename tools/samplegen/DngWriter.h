#pragma once

#include "CaptureInfo.h"

#include <QByteArray>
#include <QImage>
#include <QString>

#include <expected>

// Writes a DNG file as a camera with an RGGB Bayer sensor would: the scene,
// taken as sRGB, becomes 16-bit linear photosite values between a black and a
// white level, with a colour matrix that makes the camera's colour space
// linear sRGB, so a RAW developer reproduces the scene's colours. A reduced
// 8-bit RGB copy is the embedded preview. Stateless; any thread.
class DngWriter {
public:
    struct Options {
        int blackLevel = 64;
        int whiteLevel = 4095;
        // Longer side of the embedded preview; 0 writes none.
        int previewLongSide = 256;
    };

    static std::expected<QByteArray, QString> encode(const QImage& scene, const CaptureInfo& info,
                                                     const Options& options);
    static std::expected<void, QString> write(const QString& path, const QImage& scene,
                                              const CaptureInfo& info, const Options& options);
    static std::expected<QByteArray, QString> encode(const QImage& scene, const CaptureInfo& info) {
        return encode(scene, info, Options{});
    }
    static std::expected<void, QString> write(const QString& path, const QImage& scene,
                                              const CaptureInfo& info) {
        return write(path, scene, info, Options{});
    }
};
