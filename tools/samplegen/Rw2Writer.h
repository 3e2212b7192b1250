#pragma once

#include "CaptureInfo.h"

#include <QByteArray>
#include <QImage>
#include <QString>

#include <array>
#include <expected>

// Writes a Panasonic-style RW2 file: the "IIU" TIFF variant with the maker's
// raw tags (sensor size and borders, black levels, white balance, raw format 4
// at 12 bits per sample), the photosites packed 14 to 16 bytes the way that
// format codes them, and an embedded JPEG preview carrying the camera's EXIF.
// The sensor sees colour through the filters of a camera model that LibRaw
// knows, so a developer that applies that model's matrix reproduces the
// scene. Stateless; any thread.
class Rw2Writer {
public:
    struct Options {
        // The black level a RAW developer subtracts, in 12-bit units.
        int blackLevel = 128;
        // Sensor sensitivity per channel (red, green, blue), at most 1; the
        // recorded white balance undoes it.
        std::array<double, 3> sensitivity{0.5, 1.0, 0.625};
        // Longer side of the embedded preview JPEG; 0 writes none.
        int previewLongSide = 320;
        int previewQuality = 85;
    };

    // LibRaw only lays out this format's sensor data for the maker that
    // defined it, so the RAW's own make is always this one; the embedded
    // preview keeps the camera's make.
    static constexpr const char* kRawMake = "Panasonic";
    // A model of that maker LibRaw has a colour matrix for (XYZ to camera,
    // in ten-thousandths, as LibRaw lists it), so that developers render the
    // sensor's colours as the camera saw them; the sensor's filters follow
    // this matrix.
    static constexpr const char* kRawModel = "DC-G9";
    static constexpr std::array<int, 9> kCameraFromXyz{7685, -2375, -634, -3687, 11700,
                                                       2249, -748,  1546, 5111};

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
