#include "tools/FileInspection.h"

#include "samplegen/CameraJpegWriter.h"
#include "samplegen/ExifOrientation.h"
#include "samplegen/SyntheticScene.h"

#include <QFile>
#include <QImageReader>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

CaptureInfo info(int orientation = 1) {
    CaptureInfo i;
    i.captured = QDateTime(QDate(2024, 6, 15), QTime(9, 27, 55));
    i.orientation = orientation;
    i.exposureDenominator = 30;
    i.fNumber = 2.8;
    i.iso = 1600;
    return i;
}

// The sampling factors of the luma component, from the frame header of the
// main image (the EXIF thumbnail inside APP1 has its own).
QSize lumaSampling(const QByteArray& jpeg) {
    qsizetype at = 2;
    while (at + 4 <= jpeg.size() && uchar(jpeg[at]) == 0xff) {
        const auto marker = uchar(jpeg[at + 1]);
        const int length = uchar(jpeg[at + 2]) << 8 | uchar(jpeg[at + 3]);
        if (marker == 0xc0 && at + 12 < jpeg.size()) {
            const auto factors = uchar(jpeg[at + 11]);
            return QSize(factors >> 4, factors & 15);
        }
        at += 2 + length;
    }
    return {};
}

} // namespace

class CameraJpegWriterTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void exifReadsBack_data() {
        QTest::addColumn<int>("orientation");
        QTest::newRow("upright") << 1;
        QTest::newRow("portrait stored landscape") << 6;
        QTest::newRow("portrait, turned left") << 8;
    }

    void exifReadsBack() {
        QFETCH(int, orientation);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"ZRV_0008.JPG"_s);
        CaptureInfo i = info(orientation);
        i.gps = CaptureInfo::Gps{-33.8568, 151.2153, -2.5};
        QVERIFY(CameraJpegWriter::write(path, SyntheticScene::testPattern(QSize(300, 200)), i));

        const auto tags = inspection::exif(path);
        QVERIFY2(tags, qPrintable(inspection::failure(tags)));
        QCOMPARE(tags->value(u"Exif.Image.Make"_s), u"ZORVA"_s);
        QCOMPARE(tags->value(u"Exif.Image.Model"_s), u"ZR-1"_s);
        QCOMPARE(tags->value(u"Exif.Image.Orientation"_s), QString::number(orientation));
        QCOMPARE(tags->value(u"Exif.Image.DateTime"_s), u"2024:06:15 09:27:55"_s);
        QCOMPARE(tags->value(u"Exif.Photo.DateTimeOriginal"_s), u"2024:06:15 09:27:55"_s);
        QCOMPARE(tags->value(u"Exif.Photo.DateTimeDigitized"_s), u"2024:06:15 09:27:55"_s);
        QCOMPARE(tags->value(u"Exif.Photo.ExposureTime"_s), u"1/30"_s);
        QCOMPARE(tags->value(u"Exif.Photo.FNumber"_s), u"28/10"_s);
        QCOMPARE(tags->value(u"Exif.Photo.ISOSpeedRatings"_s), u"1600"_s);
        QCOMPARE(tags->value(u"Exif.Photo.PixelXDimension"_s), u"300"_s);
        QCOMPARE(tags->value(u"Exif.GPSInfo.GPSLatitudeRef"_s), u"S"_s);
        QCOMPARE(tags->value(u"Exif.GPSInfo.GPSLatitude"_s), u"33/1 51/1 2448/100"_s);
        QCOMPARE(tags->value(u"Exif.GPSInfo.GPSLongitudeRef"_s), u"E"_s);
        QCOMPARE(tags->value(u"Exif.GPSInfo.GPSAltitudeRef"_s), u"1"_s);
        QCOMPARE(tags->value(u"Exif.GPSInfo.GPSAltitude"_s), u"25/10"_s);
    }

    void thumbnailIs160By120InIfd1() {
        QTemporaryDir dir;
        const QString square = dir.filePath(u"four-thirds.jpg"_s);
        const QImage pattern = SyntheticScene::testPattern(QSize(400, 300));
        QVERIFY(CameraJpegWriter::write(square, pattern, info()));
        const auto thumbnail = inspection::exifThumbnail(square);
        QVERIFY2(thumbnail, qPrintable(inspection::failure(thumbnail)));
        QCOMPARE(thumbnail->size(), QSize(160, 120));
        const QString mismatch = inspection::gridMismatch(
            thumbnail->convertToFormat(QImage::Format_RGB888),
            pattern.scaled(160, 120, Qt::IgnoreAspectRatio, Qt::SmoothTransformation), 14);
        QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
        const auto tags = inspection::exif(square);
        QVERIFY(tags);
        QCOMPARE(tags->value(u"Exif.Thumbnail.Compression"_s), u"6"_s);

        // A 3:2 picture keeps its shape, between black bars.
        const QString wide = dir.filePath(u"three-halves.jpg"_s);
        QVERIFY(CameraJpegWriter::write(wide, SyntheticScene::testPattern(QSize(600, 400)), info()));
        const auto barred = inspection::exifThumbnail(wide);
        QVERIFY2(barred, qPrintable(inspection::failure(barred)));
        QCOMPARE(barred->size(), QSize(160, 120));
        QVERIFY(inspection::colourDistance(barred->pixel(80, 2), qRgb(0, 0, 0)) < 12);
        QVERIFY(inspection::colourDistance(barred->pixel(40, 30), SyntheticScene::kPatternRed) < 16);
        QVERIFY(inspection::colourDistance(barred->pixel(80, 117), qRgb(0, 0, 0)) < 12);

        CameraJpegWriter::Options without;
        without.thumbnail = false;
        const QString bare = dir.filePath(u"bare.jpg"_s);
        QVERIFY(CameraJpegWriter::write(bare, pattern, info(), without));
        QVERIFY(!inspection::exifThumbnail(bare));
    }

    void pixelsAndSubsampling_data() {
        QTest::addColumn<JpegEncoder::Subsampling>("subsampling");
        QTest::addColumn<QSize>("lumaFactors");
        QTest::newRow("4:2:0") << JpegEncoder::Subsampling::s420 << QSize(2, 2);
        QTest::newRow("4:2:2") << JpegEncoder::Subsampling::s422 << QSize(2, 1);
        QTest::newRow("4:4:4") << JpegEncoder::Subsampling::s444 << QSize(1, 1);
    }

    void pixelsAndSubsampling() {
        QFETCH(JpegEncoder::Subsampling, subsampling);
        QFETCH(QSize, lumaFactors);
        const QImage pattern = SyntheticScene::testPattern(QSize(320, 240));
        CameraJpegWriter::Options options;
        options.subsampling = subsampling;
        const auto bytes = CameraJpegWriter::encode(pattern, info(), options);
        QVERIFY2(bytes, qPrintable(inspection::failure(bytes)));
        QCOMPARE(lumaSampling(*bytes), lumaFactors);
        const QImage decoded = QImage::fromData(*bytes, "JPEG").convertToFormat(QImage::Format_RGB888);
        const QString mismatch = inspection::gridMismatch(decoded, pattern, 4);
        QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
    }

    // A viewer that honours the orientation shows the upright picture.
    void orientationTurnsThePicture() {
        QTemporaryDir dir;
        const QString path = dir.filePath(u"ZRV_0002.JPG"_s);
        const QImage upright = SyntheticScene::testPattern(QSize(200, 300));
        QVERIFY(CameraJpegWriter::write(path, ExifOrientation::toStored(upright, 6), info(6)));
        QImageReader reader(path);
        reader.setAutoTransform(true);
        const QImage shown = reader.read().convertToFormat(QImage::Format_RGB888);
        const QString mismatch = inspection::gridMismatch(shown, upright, 4);
        QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
    }

    void rejectsBadInput_data() {
        QTest::addColumn<QImage>("image");
        QTest::addColumn<int>("orientation");
        QTest::addColumn<int>("quality");
        QTest::addColumn<bool>("dated");
        QTest::addColumn<QString>("error");
        const QImage pattern = SyntheticScene::testPattern(QSize(64, 48));
        QTest::newRow("no image") << QImage() << 1 << 92 << true << u"no image"_s;
        QTest::newRow("orientation 0") << pattern << 0 << 92 << true << u"Orientation 0"_s;
        QTest::newRow("quality 0") << pattern << 1 << 0 << true << u"quality 0"_s;
        QTest::newRow("quality 101") << pattern << 1 << 101 << true << u"quality 101"_s;
        QTest::newRow("no capture time") << pattern << 1 << 92 << false << u"capture time"_s;
    }

    void rejectsBadInput() {
        QFETCH(QImage, image);
        QFETCH(int, orientation);
        QFETCH(int, quality);
        QFETCH(bool, dated);
        QFETCH(QString, error);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"ZRV_0009.JPG"_s);
        CaptureInfo i = info(orientation);
        if (!dated)
            i.captured = {};
        CameraJpegWriter::Options options;
        options.quality = quality;
        const auto written = CameraJpegWriter::write(path, image, i, options);
        QVERIFY(!written);
        QVERIFY2(written.error().contains(error), qPrintable(written.error()));
        QVERIFY(!QFile::exists(path));
    }
};

QTEST_MAIN(CameraJpegWriterTest)
#include "CameraJpegWriterTest.moc"
