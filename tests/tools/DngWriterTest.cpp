#include "tools/FileInspection.h"

#include "samplegen/DngWriter.h"
#include "samplegen/ExifOrientation.h"
#include "samplegen/SyntheticScene.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

class DngWriterTest : public QObject {
    Q_OBJECT

private:
    static CaptureInfo info(int orientation = 1) {
        CaptureInfo i;
        i.model = u"ZR-9"_s;
        i.captured = QDateTime(QDate(2024, 6, 15), QTime(10, 2, 13));
        i.orientation = orientation;
        i.exposureDenominator = 125;
        i.fNumber = 4.0;
        i.iso = 400;
        return i;
    }

private Q_SLOTS:
    void developsToTheSceneColours_data() {
        QTest::addColumn<int>("orientation");
        QTest::newRow("upright") << 1;
        QTest::newRow("upside down") << 3;
        QTest::newRow("portrait, turned right") << 6;
        QTest::newRow("portrait, turned left") << 8;
    }

    // LibRaw, an independent developer, must reproduce the pattern's colours:
    // this checks the mosaic, the levels, the colour matrix and the orientation.
    void developsToTheSceneColours() {
        QFETCH(int, orientation);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"ZRV_0001.DNG"_s);
        const QImage pattern = SyntheticScene::testPattern(QSize(256, 192));
        const auto written = DngWriter::write(path, pattern, info(orientation));
        QVERIFY2(written, qPrintable(inspection::failure(written)));

        const auto developed = inspection::developRaw(path);
        QVERIFY2(developed, qPrintable(inspection::failure(developed)));
        const QImage expected = ExifOrientation::toUpright(pattern, orientation);
        const QString mismatch = inspection::gridMismatch(*developed, expected, 4);
        QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
    }

    void previewsAndMetadataAreFound() {
        QTemporaryDir dir;
        const QString path = dir.filePath(u"zrv_0004.dng"_s);
        const QImage pattern = SyntheticScene::testPattern(QSize(320, 240));
        CaptureInfo i = info(6);
        i.gps = CaptureInfo::Gps{46.4907, -9.8355, 1800};
        DngWriter::Options options;
        options.previewLongSide = 160;
        QVERIFY(DngWriter::write(path, pattern, i, options));

        const auto preview = inspection::rawPreview(path);
        QVERIFY2(preview, qPrintable(inspection::failure(preview)));
        QCOMPARE(preview->size(), QSize(160, 120));
        const QString mismatch = inspection::gridMismatch(
            *preview, pattern.scaled(160, 120, Qt::IgnoreAspectRatio, Qt::SmoothTransformation), 3);
        QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));

        const auto previews = inspection::exivPreviews(path);
        QVERIFY2(previews, qPrintable(inspection::failure(previews)));
        QCOMPARE(previews->size(), 1);
        QCOMPARE(previews->front().size, QSize(160, 120));

        const auto tags = inspection::exif(path);
        QVERIFY2(tags, qPrintable(inspection::failure(tags)));
        QCOMPARE(tags->value(u"Exif.Image.Make"_s), u"ZORVA"_s);
        QCOMPARE(tags->value(u"Exif.Image.Model"_s), u"ZR-9"_s);
        QCOMPARE(tags->value(u"Exif.Image.UniqueCameraModel"_s), u"ZORVA ZR-9"_s);
        QCOMPARE(tags->value(u"Exif.Image.Orientation"_s), u"6"_s);
        QCOMPARE(tags->value(u"Exif.Image.DateTime"_s), u"2024:06:15 10:02:13"_s);
        QCOMPARE(tags->value(u"Exif.Photo.DateTimeOriginal"_s), u"2024:06:15 10:02:13"_s);
        QCOMPARE(tags->value(u"Exif.Photo.ExposureTime"_s), u"1/125"_s);
        QCOMPARE(tags->value(u"Exif.Photo.FNumber"_s), u"40/10"_s);
        QCOMPARE(tags->value(u"Exif.Photo.ISOSpeedRatings"_s), u"400"_s);
        QCOMPARE(tags->value(u"Exif.Image.BlackLevel"_s), u"64"_s);
        QCOMPARE(tags->value(u"Exif.Image.WhiteLevel"_s), u"4095"_s);
        QCOMPARE(tags->value(u"Exif.GPSInfo.GPSLatitudeRef"_s), u"N"_s);
        QCOMPARE(tags->value(u"Exif.GPSInfo.GPSLatitude"_s), u"46/1 29/1 2652/100"_s);
        QCOMPARE(tags->value(u"Exif.GPSInfo.GPSLongitudeRef"_s), u"W"_s);
        QCOMPARE(tags->value(u"Exif.GPSInfo.GPSAltitude"_s), u"18000/10"_s);
    }

    void largeFilesHaveTheExpectedLayout() {
        // One strip of 16-bit samples after the directories: the size is exact.
        const QImage scene = SyntheticScene::landscape(QSize(1200, 800));
        DngWriter::Options options;
        options.previewLongSide = 0;
        const auto bytes = DngWriter::encode(scene, info(), options);
        QVERIFY2(bytes, qPrintable(inspection::failure(bytes)));
        QVERIFY(bytes->size() > 1200 * 800 * 2);
        QVERIFY(bytes->size() < 1200 * 800 * 2 + 4096);
        QCOMPARE(bytes->left(4), QByteArray("II*\0", 4));
    }

    void rejectsBadInput_data() {
        QTest::addColumn<QImage>("scene");
        QTest::addColumn<int>("orientation");
        QTest::addColumn<int>("black");
        QTest::addColumn<int>("white");
        QTest::addColumn<bool>("dated");
        QTest::addColumn<QString>("error");
        const QImage pattern = SyntheticScene::testPattern(QSize(64, 48));
        QTest::newRow("no image") << QImage() << 1 << 64 << 4095 << true << u"no image"_s;
        QTest::newRow("too small") << SyntheticScene::testPattern(QSize(8, 8)) << 1 << 64 << 4095 << true
                                   << u"16 to 65535"_s;
        QTest::newRow("black above white") << pattern << 1 << 5000 << 4095 << true << u"black level"_s;
        QTest::newRow("white beyond 16 bits") << pattern << 1 << 64 << 70000 << true << u"black level"_s;
        QTest::newRow("orientation 0") << pattern << 0 << 64 << 4095 << true << u"Orientation 0"_s;
        QTest::newRow("orientation 9") << pattern << 9 << 64 << 4095 << true << u"Orientation 9"_s;
        QTest::newRow("no capture time") << pattern << 1 << 64 << 4095 << false << u"capture time"_s;
    }

    // A failed write names its reason and leaves an existing file untouched.
    void rejectsBadInput() {
        QFETCH(QImage, scene);
        QFETCH(int, orientation);
        QFETCH(int, black);
        QFETCH(int, white);
        QFETCH(bool, dated);
        QFETCH(QString, error);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"ZRV_0009.DNG"_s);
        QVERIFY(DngWriter::write(path, SyntheticScene::testPattern(QSize(64, 48)), info()));
        QFile original(path);
        QVERIFY(original.open(QIODevice::ReadOnly));
        const QByteArray before = original.readAll();
        original.close();

        CaptureInfo i = info(orientation);
        if (!dated)
            i.captured = {};
        DngWriter::Options options;
        options.blackLevel = black;
        options.whiteLevel = white;
        const auto written = DngWriter::write(path, scene, i, options);
        QVERIFY(!written);
        QVERIFY2(written.error().contains(error), qPrintable(written.error()));
        QVERIFY(original.open(QIODevice::ReadOnly));
        QCOMPARE(original.readAll(), before);
    }

    void reportsAnUnwritablePlace() {
        QTemporaryDir dir;
        const QString path = dir.filePath(u"missing/ZRV_0001.DNG"_s);
        const auto written = DngWriter::write(path, SyntheticScene::testPattern(QSize(64, 48)), info());
        QVERIFY(!written);
        QVERIFY2(written.error().contains(path), qPrintable(written.error()));
        QVERIFY(!QFile::exists(path));
    }
};

QTEST_MAIN(DngWriterTest)
#include "DngWriterTest.moc"
