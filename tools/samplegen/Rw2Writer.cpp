#include "Rw2Writer.h"

#include "CameraJpegWriter.h"
#include "ExifTags.h"
#include "OutputFile.h"
#include "SensorMosaic.h"
#include "TiffBuilder.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

constexpr int kWhiteLevel = 4095;
// Values below 16 have no code of their own at the start of a block.
constexpr int kLowestCode = 16;
constexpr int kBlockPixels = 14;
constexpr int kBlockBytes = 16;
// The decoder reads the data in chunks of 0x4000 bytes, each stored rotated by
// 0x2008 bytes.
constexpr qsizetype kChunk = 0x4000;
constexpr qsizetype kChunkSplit = 0x2008;

// One 16-byte block as a 128-bit little-endian number, filled from its top bit
// down, which is the order the decoder reads it in.
class BlockBits {
public:
    void put(int bits, unsigned value) {
        position_ -= bits;
        for (int i = 0; i < bits; ++i) {
            if (value & (1u << i)) {
                const int bit = position_ + i;
                bytes_[size_t(bit / 8)] |= uchar(1u << (bit % 8));
            }
        }
    }
    const std::array<uchar, kBlockBytes>& bytes() const { return bytes_; }

private:
    int position_ = kBlockBytes * 8;
    std::array<uchar, kBlockBytes> bytes_{};
};

// What the decoder makes of code `j` at shift `shift` after `previous`.
int decoded(int previous, int shift, int j) {
    if (j == 0)
        return previous;
    int base = previous - (0x80 << shift);
    if (base < 0 || shift == 4)
        base = int(unsigned(base) & ~(~0u << shift));
    return base + (j << shift);
}

struct Choice {
    int j = 0;
    int value = 0;
};

Choice closest(int previous, int shift, int target) {
    Choice best{0, previous};
    int base = previous - (0x80 << shift);
    if (base < 0 || shift == 4)
        base = int(unsigned(base) & ~(~0u << shift));
    const int step = 1 << shift;
    const int around = int(std::lround(double(target - base) / step));
    for (int j : {around - 1, around, around + 1}) {
        if (j < 1 || j > 255)
            continue;
        const int value = decoded(previous, shift, j);
        if (value > kWhiteLevel)
            continue;
        if (std::abs(value - target) < std::abs(best.value - target))
            best = {j, value};
    }
    return best;
}

// Codes 14 pixels in 16 bytes: the first pixel of each colour in full, then,
// per group of three pixels, a shared scale and an 8-bit step for each pixel
// from the previous one of its colour. The scale is chosen per group for the
// smallest error, which is zero wherever neighbours differ by less than 128.
std::array<uchar, kBlockBytes> packBlock(const quint16* pixels) {
    BlockBits bits;
    int previous[2];
    for (int i = 0; i < 2; ++i) {
        const int value = std::clamp<int>(pixels[i], kLowestCode, kWhiteLevel);
        bits.put(8, unsigned(value >> 4));
        bits.put(4, unsigned(value & 15));
        previous[i] = value;
    }
    constexpr int kShifts[4] = {0, 1, 2, 4};
    for (int group = 0; group < 4; ++group) {
        const int first = 2 + 3 * group;
        int bestCode = 0;
        long bestError = -1;
        std::array<int, 3> bestCodes{};
        for (int code = 0; code < 4; ++code) {
            int trial[2] = {previous[0], previous[1]};
            long error = 0;
            std::array<int, 3> codes{};
            for (int k = 0; k < 3; ++k) {
                const int i = first + k;
                const Choice choice = closest(trial[i & 1], kShifts[code], pixels[i]);
                codes[size_t(k)] = choice.j;
                trial[i & 1] = choice.value;
                error += std::abs(choice.value - int(pixels[i]));
            }
            if (bestError < 0 || error < bestError) {
                bestError = error;
                bestCode = code;
                bestCodes = codes;
            }
        }
        bits.put(2, unsigned(bestCode));
        for (int k = 0; k < 3; ++k) {
            const int i = first + k;
            bits.put(8, unsigned(bestCodes[size_t(k)]));
            previous[i & 1] = decoded(previous[i & 1], kShifts[bestCode], bestCodes[size_t(k)]);
        }
    }
    return bits.bytes();
}

// The packed sensor data in file order: blocks in reading order, then every
// 0x4000-byte chunk rotated as the decoder expects.
void packSensor(const std::vector<quint16>& mosaic, int rawWidth, int height, char* out, qsizetype size) {
    std::vector<uchar> stream(size_t(size), 0);
    size_t at = 0;
    for (int y = 0; y < height; ++y) {
        const quint16* row = mosaic.data() + size_t(y) * size_t(rawWidth);
        for (int x = 0; x < rawWidth; x += kBlockPixels) {
            const auto block = packBlock(row + x);
            std::memcpy(stream.data() + at, block.data(), block.size());
            at += block.size();
        }
    }
    for (qsizetype chunk = 0; chunk < size; chunk += kChunk) {
        const uchar* logical = stream.data() + chunk;
        char* stored = out + chunk;
        std::memcpy(stored, logical + kChunkSplit, size_t(kChunk - kChunkSplit));
        std::memcpy(stored + (kChunk - kChunkSplit), logical, size_t(kChunkSplit));
    }
}

// The filters of kRawModel as camera RGB from linear sRGB, each row scaled
// to sum to 1: the model's XYZ-to-camera matrix after sRGB-to-XYZ (D65, the
// values LibRaw uses), as LibRaw inverts it.
SensorMosaic::Matrix cameraFromSrgb() {
    constexpr double xyzFromSrgb[3][3] = {
        {0.412453, 0.357580, 0.180423}, {0.212671, 0.715160, 0.072169}, {0.019334, 0.119193, 0.950227}};
    SensorMosaic::Matrix camera{};
    for (size_t i = 0; i < 3; ++i) {
        double sum = 0;
        for (size_t j = 0; j < 3; ++j) {
            for (size_t k = 0; k < 3; ++k)
                camera[i][j] += Rw2Writer::kCameraFromXyz[i * 3 + k] / 10000.0 * xyzFromSrgb[k][j];
            sum += camera[i][j];
        }
        for (double& v : camera[i])
            v /= sum;
    }
    return camera;
}

std::expected<void, QString> checkInput(const QImage& scene, const CaptureInfo& info,
                                        const Rw2Writer::Options& options) {
    if (scene.isNull())
        return std::unexpected(u"There is no image to write."_s);
    if (scene.width() < 28 || scene.height() < 16 || scene.width() > 16000 || scene.height() > 16000)
        return std::unexpected(
            u"An RW2 image must be 28 to 16000 pixels wide and 16 to 16000 high, not %1 x %2."_s
                .arg(scene.width())
                .arg(scene.height()));
    if (options.blackLevel < 16 || options.blackLevel > 1024)
        return std::unexpected(u"The black level %1 is outside 16 to 1024."_s.arg(options.blackLevel));
    for (double s : options.sensitivity) {
        if (!(s >= 0.1 && s <= 1.0))
            return std::unexpected(u"A channel sensitivity of %1 is outside 0.1 to 1."_s.arg(s));
    }
    if (info.orientation < 1 || info.orientation > 8)
        return std::unexpected(
            u"Orientation %1 is not an EXIF orientation (1 to 8)."_s.arg(info.orientation));
    if (!info.captured.isValid())
        return std::unexpected(u"The capture time is missing."_s);
    return {};
}

} // namespace

std::expected<QByteArray, QString> Rw2Writer::encode(const QImage& scene, const CaptureInfo& info,
                                                     const Options& options) {
    if (auto valid = checkInput(scene, info, options); !valid)
        return std::unexpected(valid.error());

    const int width = scene.width();
    const int height = scene.height();
    // Blocks never straddle rows: the sensor is padded to whole blocks and
    // its borders say which part is image.
    const int rawWidth = (width + kBlockPixels - 1) / kBlockPixels * kBlockPixels;
    std::vector<quint16> mosaic(size_t(rawWidth) * size_t(height));
    const SensorMosaic::Levels levels{options.blackLevel, kWhiteLevel, options.sensitivity, cameraFromSrgb()};
    SensorMosaic::fill(scene, levels, mosaic.data(), rawWidth);
    for (int y = 0; y < height; ++y) {
        quint16* row = mosaic.data() + size_t(y) * size_t(rawWidth);
        for (int x = width; x < rawWidth; ++x)
            row[x] = row[x - 2];
    }
    const qsizetype packed = qsizetype(rawWidth) / kBlockPixels * kBlockBytes * height;
    const qsizetype stored = (packed + kChunk - 1) / kChunk * kChunk;

    TiffBuilder::Ifd ifd;
    ifd.undefined(0x0001, QByteArrayLiteral("0470")); // raw version
    ifd.shorts(0x0002, {quint16(rawWidth)});
    ifd.shorts(0x0003, {quint16(height)});
    ifd.shorts(0x0004, {0});               // top border
    ifd.shorts(0x0005, {0});               // left border
    ifd.shorts(0x0006, {quint16(height)}); // bottom border
    ifd.shorts(0x0007, {quint16(width)});  // right border
    // LibRaw adds these three (samples per pixel, CFA pattern, bits per
    // sample) to the black levels below, as the maker's cameras expect.
    ifd.shorts(0x0008, {1});
    ifd.shorts(0x0009, {1}); // red-green / green-blue
    ifd.shorts(0x000a, {12});
    constexpr int kBlackOffset = 15;
    ifd.shorts(0x000b, {34316}); // compression: this maker's packing
    ifd.shorts(0x000e, {kWhiteLevel});
    ifd.shorts(0x000f, {kWhiteLevel});
    ifd.shorts(0x0010, {kWhiteLevel});
    ifd.shorts(0x0017, {quint16(info.iso)});
    const auto black = quint16(options.blackLevel - kBlackOffset);
    ifd.shorts(0x001c, {black});
    ifd.shorts(0x001d, {black});
    ifd.shorts(0x001e, {black});
    for (int c = 0; c < 3; ++c)
        ifd.shorts(quint16(0x0024 + c), {quint16(std::lround(256.0 / options.sensitivity[size_t(c)]))});
    ifd.shorts(0x002d, {4}); // raw format
    if (options.previewLongSide > 0) {
        const QImage preview = scene.scaled(options.previewLongSide, options.previewLongSide,
                                            Qt::KeepAspectRatio, Qt::SmoothTransformation);
        CameraJpegWriter::Options previewOptions;
        previewOptions.quality = options.previewQuality;
        auto jpeg = CameraJpegWriter::encode(preview, info, previewOptions);
        if (!jpeg)
            return std::unexpected(jpeg.error());
        ifd.undefined(0x002e, *jpeg);
    }
    CaptureInfo rawInfo = info;
    rawInfo.make = QString::fromLatin1(kRawMake);
    rawInfo.model = QString::fromLatin1(kRawModel);
    ExifTags::addCameraTags(ifd, rawInfo);
    ifd.longs(0x0116, {quint32(height)});
    ifd.block({0x0111, 0x0118}, 0x0117, stored, [&mosaic, rawWidth, height, stored](char* out) {
        packSensor(mosaic, rawWidth, height, out, stored);
    });

    // The maker's header is 24 bytes long, the first directory right after it.
    TiffBuilder builder(0x55, 24);
    builder.append(std::move(ifd));
    return builder.build();
}

std::expected<void, QString> Rw2Writer::write(const QString& path, const QImage& scene,
                                              const CaptureInfo& info, const Options& options) {
    auto bytes = encode(scene, info, options);
    if (!bytes)
        return std::unexpected(bytes.error());
    return OutputFile::write(path, *bytes);
}
