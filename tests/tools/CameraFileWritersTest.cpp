#include "samplegen/CameraJpegWriter.h"
#include "samplegen/DngWriter.h"
#include "samplegen/ExifOrientation.h"
#include "samplegen/Rw2Writer.h"
#include "samplegen/SyntheticScene.h"

#include <QColor>
#include <QDebug>
#include <QFile>
#include <QImageReader>
#include <QTemporaryDir>
#include <QTest>

#include <exiv2/exiv2.hpp>
#include <libraw/libraw.h>
#include <turbojpeg.h>

#include <functional>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

// Writes one file to the path it is given.
using Write = std::function<std::expected<void, QString>(const QString& path)>;

QImage pattern(QSize size) {
    return SyntheticScene::testPattern(size);
}

CaptureInfo info(int orientation) {
    return {.model = u"ZR-9"_s,
            .captured = QDateTime(QDate(2024, 6, 15), QTime(10, 2, 13)),
            .orientation = orientation,
            .exposureDenominator = 125,
            .fNumber = 2.8,
            .iso = 1600};
}

// The picture a viewer shows, read with libraries independent of the
// writers: Qt's reader turned by the EXIF orientation for JPEGs; for RAWs
// LibRaw's development to 8-bit sRGB with the camera's white balance and no
// automatic brightening, so the output can be compared with the scene.
std::expected<QImage, QString> shown(const QString& path, bool raw) {
    if (!raw) {
        QImageReader reader(path);
        reader.setAutoTransform(true);
        return reader.read().convertToFormat(QImage::Format_RGB888);
    }
    auto libRaw = std::make_unique<LibRaw>();
    auto& params = libRaw->imgdata.params;
    params.use_camera_wb = 1;
    params.no_auto_bright = 1;
    params.adjust_maximum_thr = 0; // the file's white level, whatever the picture's brightest pixel
    params.output_bps = 8;
    params.gamm[0] = 1 / 2.4;
    params.gamm[1] = 12.92;
    params.user_qual = 3; // AHD
    int e = libRaw->open_file(path.toLocal8Bit().constData());
    if (e == LIBRAW_SUCCESS)
        e = libRaw->unpack();
    if (e == LIBRAW_SUCCESS)
        e = libRaw->dcraw_process();
    if (e != LIBRAW_SUCCESS)
        return std::unexpected(QString::fromLatin1(libraw_strerror(e)));
    std::unique_ptr<libraw_processed_image_t, void (*)(libraw_processed_image_t*)> image(
        libRaw->dcraw_make_mem_image(&e), LibRaw::dcraw_clear_mem);
    if (!image || image->colors != 3 || image->bits != 8)
        return std::unexpected(QStringLiteral("no 8-bit RGB image"));
    return QImage(image->data, image->width, image->height, image->width * 3, QImage::Format_RGB888).copy();
}

// The first of `expected` (key=value) that Exiv2 reads otherwise from the
// file, or an empty string.
QString tagMismatch(const QString& path, const QStringList& expected) {
    try {
        auto image = Exiv2::ImageFactory::open(path.toStdString());
        image->readMetadata();
        for (const QString& entry : expected) {
            const QString key = entry.section(u'=', 0, 0), value = entry.section(u'=', 1);
            const auto datum = image->exifData().findKey(Exiv2::ExifKey(key.toStdString()));
            const QString found = datum == image->exifData().end()
                                      ? u"<none>"_s
                                      : QString::fromStdString(datum->value().toString());
            if (found != value)
                return QStringLiteral("%1 is \"%2\", expected \"%3\"").arg(key, found, value);
        }
        return {};
    } catch (const Exiv2::AnyError& error) {
        return QString::fromStdString(error.what());
    }
}

// Compares `image` with the `expected` picture at a 4 x 4 grid of points,
// each well inside one region of the test pattern whatever the orientation.
// Describes the first point whose channels differ by more than `tolerance`.
QString gridMismatch(const QImage& image, const QImage& expected, int tolerance) {
    if (image.size() != expected.size())
        return QStringLiteral("size %1, expected %2")
            .arg(QDebug::toString(image.size()), QDebug::toString(expected.size()));
    for (int j = 0; j < 4; ++j) {
        for (int i = 0; i < 4; ++i) {
            const QPoint at(int((0.125 + 0.25 * i) * expected.width()),
                            int((0.125 + 0.25 * j) * expected.height()));
            const QRgb a = image.pixel(at), b = expected.pixel(at);
            if (std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                          std::abs(qBlue(a) - qBlue(b))}) > tolerance)
                return QStringLiteral("at %1: %2, expected %3")
                    .arg(QDebug::toString(at), QColor(a).name(), QColor(b).name());
        }
    }
    return {};
}

// The chroma subsampling of a JPEG's main image as libjpeg-turbo reads it
// (the EXIF thumbnail inside APP1 has its own), or -1.
int subsamplingOf(const QString& path) {
    QFile file(path);
    const QByteArray bytes = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    const std::unique_ptr<void, int (*)(tjhandle)> decoder(tjInitDecompress(), tjDestroy);
    int width = 0, height = 0, subsampling = -1, colourspace = 0;
    if (tjDecompressHeader3(decoder.get(), reinterpret_cast<const uchar*>(bytes.constData()),
                            ulong(bytes.size()), &width, &height, &subsampling, &colourspace) != 0)
        return -1;
    return subsampling;
}

} // namespace

// The camera JPEG, DNG and RW2 writers, whose files the imaging tests use,
// checked with independent readers.
class CameraFileWritersTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void filesReadBackAsWritten_data() {
        QTest::addColumn<Write>("write");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<int>("orientation");
        QTest::addColumn<int>("subsampling"); // of a JPEG, or -1 for a RAW
        const auto stored = [](QSize size, int orientation) {
            return ExifOrientation::toStored(pattern(size), orientation);
        };
        const QSize size(320, 240);
        QTest::newRow("JPEG, 4:2:2") << Write([=](const QString& path) {
            return CameraJpegWriter::write(path, stored(size, 6), info(6),
                                           {.subsampling = JpegEncoder::Subsampling::s422});
        }) << size << 6 << int(TJSAMP_422);
        QTest::newRow("DNG") << Write([=](const QString& path) {
            return DngWriter::write(path, stored(size, 8), info(8));
        }) << size << 8 << -1;
        // Stored 300 wide: not a whole number of 14-pixel blocks, and the
        // data ends mid-chunk.
        QTest::newRow("RW2") << Write([=](const QString& path) {
            return Rw2Writer::write(path, stored(QSize(451, 300), 6), info(6));
        }) << QSize(451, 300) << 6
                             << -1;
    }

    // The pattern's colours come back where they belong: for RAWs this checks
    // the mosaic, the levels, the colour matrix or white balance, the RW2 bit
    // packing and chunk order; for all, the orientation. Exiv2 reads the
    // capture time and orientation the viewer sorts and turns by.
    void filesReadBackAsWritten() {
        QFETCH(Write, write);
        QFETCH(QSize, size);
        QFETCH(int, orientation);
        QFETCH(int, subsampling);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"ZRV_0001"_s);
        const auto written = write(path);
        QVERIFY2(written, qPrintable(written ? QString() : written.error()));
        if (subsampling >= 0)
            QCOMPARE(subsamplingOf(path), subsampling);
        const auto picture = shown(path, subsampling < 0);
        QVERIFY2(picture, qPrintable(picture ? QString() : picture.error()));
        const QString mismatch = gridMismatch(*picture, pattern(size), 4);
        QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
        const QString wrongTag = tagMismatch(
            path, {u"Exif.Image.Make=ZORVA"_s, u"Exif.Photo.DateTimeOriginal=2024:06:15 10:02:13"_s,
                   u"Exif.Image.Orientation="_s + QString::number(orientation)});
        QVERIFY2(wrongTag.isEmpty(), qPrintable(wrongTag));
    }
};

QTEST_MAIN(CameraFileWritersTest)
#include "CameraFileWritersTest.moc"
