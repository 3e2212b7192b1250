#include "DngWriter.h"

#include "ExifTags.h"
#include "OutputFile.h"
#include "SensorMosaic.h"
#include "TiffBuilder.h"

#include <cmath>
#include <cstring>

using namespace Qt::StringLiterals;

namespace {

// XYZ (D65) to linear sRGB: as the camera's colour matrix it declares the
// camera's own colour space to be linear sRGB.
constexpr double kXyzToSrgb[9] = {3.2404542, -1.5371385, -0.4985314, -0.9692660, 1.8760108,
                                  0.0415560, 0.0556434,  -0.2040259, 1.0572252};

std::expected<void, QString> checkInput(const QImage& scene, const CaptureInfo& info,
                                        const DngWriter::Options& options) {
    if (scene.isNull())
        return std::unexpected(u"There is no image to write."_s);
    if (scene.width() < 16 || scene.height() < 16 || scene.width() > 65535 || scene.height() > 65535)
        return std::unexpected(
            u"A DNG image must be 16 to 65535 pixels on each side, not %1 x %2."_s.arg(scene.width())
                .arg(scene.height()));
    if (options.blackLevel < 0 || options.whiteLevel > 65535 || options.blackLevel >= options.whiteLevel)
        return std::unexpected(u"The black level (%1) must lie below the white level (%2), within 16 bits."_s
                                   .arg(options.blackLevel)
                                   .arg(options.whiteLevel));
    if (info.orientation < 1 || info.orientation > 8)
        return std::unexpected(
            u"Orientation %1 is not an EXIF orientation (1 to 8)."_s.arg(info.orientation));
    if (!info.captured.isValid())
        return std::unexpected(u"The capture time is missing."_s);
    return {};
}

TiffBuilder::Ifd previewIfd(const QImage& scene, int longSide) {
    const QImage preview = scene.scaled(longSide, longSide, Qt::KeepAspectRatio, Qt::SmoothTransformation)
                               .convertToFormat(QImage::Format_RGB888);
    TiffBuilder::Ifd ifd;
    ifd.longs(0x00fe, {1}); // a reduced-resolution copy of the main image
    ifd.longs(0x0100, {quint32(preview.width())});
    ifd.longs(0x0101, {quint32(preview.height())});
    ifd.shorts(0x0102, {8, 8, 8});
    ifd.shorts(0x0103, {1});
    ifd.shorts(0x0106, {2}); // RGB
    ifd.shorts(0x0115, {3});
    ifd.longs(0x0116, {quint32(preview.height())});
    ifd.shorts(0x011c, {1});
    const qsizetype rowBytes = qsizetype(preview.width()) * 3;
    ifd.block({0x0111}, 0x0117, rowBytes * preview.height(), [preview, rowBytes](char* out) {
        for (int y = 0; y < preview.height(); ++y)
            std::memcpy(out + y * rowBytes, preview.constScanLine(y), size_t(rowBytes));
    });
    return ifd;
}

} // namespace

std::expected<QByteArray, QString> DngWriter::encode(const QImage& scene, const CaptureInfo& info,
                                                     const Options& options) {
    if (auto valid = checkInput(scene, info, options); !valid)
        return std::unexpected(valid.error());

    const int width = scene.width();
    const int height = scene.height();
    TiffBuilder::Ifd raw;
    raw.longs(0x00fe, {0}); // the main image
    raw.longs(0x0100, {quint32(width)});
    raw.longs(0x0101, {quint32(height)});
    raw.shorts(0x0102, {16});
    raw.shorts(0x0103, {1});
    raw.shorts(0x0106, {32803}); // colour filter array
    raw.shorts(0x0115, {1});
    raw.longs(0x0116, {quint32(height)});
    raw.shorts(0x011c, {1});
    ExifTags::addCameraTags(raw, info);
    raw.shorts(0x828d, {2, 2});
    raw.bytes(0x828e, QByteArray("\x00\x01\x01\x02", 4)); // RGGB
    raw.bytes(0xc612, QByteArray("\x01\x04\x00\x00", 4)); // DNGVersion
    raw.bytes(0xc613, QByteArray("\x01\x01\x00\x00", 4)); // DNGBackwardVersion
    raw.ascii(0xc614, (info.make + u' ' + info.model).toUtf8());
    raw.bytes(0xc616, QByteArray("\x00\x01\x02", 3)); // CFAPlaneColor
    raw.shorts(0xc617, {1});                          // CFALayout: rectangular
    raw.longs(0xc61a, {quint32(options.blackLevel)});
    raw.longs(0xc61d, {quint32(options.whiteLevel)});
    std::vector<std::pair<qint32, qint32>> matrix;
    for (double value : kXyzToSrgb)
        matrix.emplace_back(qint32(std::lround(value * 10000)), 10000);
    raw.srationals(0xc621, matrix);                  // ColorMatrix1
    raw.rationals(0xc628, {{1, 1}, {1, 1}, {1, 1}}); // AsShotNeutral
    raw.shorts(0xc65a, {21});                        // CalibrationIlluminant1: D65

    const SensorMosaic::Levels levels{options.blackLevel, options.whiteLevel, {1.0, 1.0, 1.0}};
    const qsizetype rawBytes = qsizetype(width) * height * 2;
    raw.block({0x0111}, 0x0117, rawBytes, [&scene, levels, width](char* out) {
        // Little-endian 16-bit samples, as the file's byte order says.
        static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN);
        SensorMosaic::fill(scene, levels, reinterpret_cast<quint16*>(out), width);
    });

    TiffBuilder builder;
    builder.append(std::move(raw));
    if (options.previewLongSide > 0)
        builder.append(previewIfd(scene, options.previewLongSide));
    return builder.build();
}

std::expected<void, QString> DngWriter::write(const QString& path, const QImage& scene,
                                              const CaptureInfo& info, const Options& options) {
    auto bytes = encode(scene, info, options);
    if (!bytes)
        return std::unexpected(bytes.error());
    return OutputFile::write(path, *bytes);
}
