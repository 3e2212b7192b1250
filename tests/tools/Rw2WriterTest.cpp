#include "tools/FileInspection.h"

#include "samplegen/ExifOrientation.h"
#include "samplegen/Rw2Writer.h"
#include "samplegen/SyntheticScene.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

class Rw2WriterTest : public QObject {
    Q_OBJECT

private:
    static CaptureInfo info(int orientation = 1) {
        CaptureInfo i;
        i.captured = QDateTime(QDate(2024, 6, 15), QTime(9, 9, 2));
        i.orientation = orientation;
        i.iso = 100;
        return i;
    }

private Q_SLOTS:
    void developsToTheSceneColours_data() {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<int>("orientation");
        QTest::addColumn<int>("blackLevel");
        // 448 x 320 fills whole 0x4000-byte chunks; the others end mid-chunk
        // and are not a whole number of 14-pixel blocks wide.
        QTest::newRow("whole chunks") << QSize(448, 320) << 1 << 128;
        QTest::newRow("padded width") << QSize(451, 300) << 1 << 128;
        QTest::newRow("portrait, turned right") << QSize(300, 200) << 6 << 128;
        QTest::newRow("portrait, turned left") << QSize(300, 200) << 8 << 128;
        QTest::newRow("higher black level") << QSize(280, 200) << 1 << 512;
    }

    // LibRaw must reproduce the pattern's colours: this checks the bit
    // packing, the chunk order, the black levels, the white balance that
    // undoes the sensor's sensitivities, and the orientation.
    void developsToTheSceneColours() {
        QFETCH(QSize, size);
        QFETCH(int, orientation);
        QFETCH(int, blackLevel);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"ZRV_0003.RW2"_s);
        const QImage pattern = SyntheticScene::testPattern(size);
        Rw2Writer::Options options;
        options.blackLevel = blackLevel;
        const auto written = Rw2Writer::write(path, pattern, info(orientation), options);
        QVERIFY2(written, qPrintable(inspection::failure(written)));

        const auto developed = inspection::developRaw(path);
        QVERIFY2(developed, qPrintable(inspection::failure(developed)));
        const QImage expected = ExifOrientation::toUpright(pattern, orientation);
        const QString mismatch = inspection::gridMismatch(*developed, expected, 4);
        QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
    }

    // Neighbouring photosites far apart in value need the coarser steps of
    // the packing; a busy scene must still come back close to the original.
    void busyScenesSurviveThePacking() {
        QTemporaryDir dir;
        const QString path = dir.filePath(u"busy.rw2"_s);
        SyntheticScene::Options scene;
        scene.kind = SyntheticScene::Kind::cityDusk;
        scene.noise = 6;
        const QImage busy = SyntheticScene::landscape(QSize(420, 280), scene);
        QVERIFY(Rw2Writer::write(path, busy, info()));
        const auto developed = inspection::developRaw(path);
        QVERIFY2(developed, qPrintable(inspection::failure(developed)));
        QCOMPARE(developed->size(), busy.size());
        // Demosaicing blurs single pixels; compare the picture at a coarser scale.
        const QImage a = developed->scaled(42, 28, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        const QImage b = busy.scaled(42, 28, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        double total = 0;
        for (int y = 0; y < a.height(); ++y)
            for (int x = 0; x < a.width(); ++x)
                total += inspection::colourDistance(a.pixel(x, y), b.pixel(x, y));
        QVERIFY2(total / (a.width() * a.height()) < 4.0, qPrintable(QString::number(total / (42 * 28))));
    }

    void previewsAndMetadataAreFound() {
        QTemporaryDir dir;
        const QString path = dir.filePath(u"ZRV_0006.RW2"_s);
        const QImage pattern = SyntheticScene::testPattern(QSize(448, 336));
        CaptureInfo i = info();
        i.gps = CaptureInfo::Gps{43.5528, 7.0174, 4};
        QVERIFY(Rw2Writer::write(path, pattern, i));

        const auto preview = inspection::rawPreview(path);
        QVERIFY2(preview, qPrintable(inspection::failure(preview)));
        QCOMPARE(preview->size(), QSize(320, 240));
        const QString mismatch = inspection::gridMismatch(
            *preview, pattern.scaled(320, 240, Qt::IgnoreAspectRatio, Qt::SmoothTransformation), 6);
        QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));

        const auto previews = inspection::exivPreviews(path);
        QVERIFY2(previews, qPrintable(inspection::failure(previews)));
        QVERIFY(!previews->isEmpty());
        QCOMPARE(previews->back().mimeType, u"image/jpeg"_s);
        QCOMPARE(previews->back().size, QSize(320, 240));

        const auto tags = inspection::exif(path);
        QVERIFY2(tags, qPrintable(inspection::failure(tags)));
        QCOMPARE(tags->value(u"Exif.PanasonicRaw.Make"_s), u"Panasonic"_s);
        QCOMPARE(tags->value(u"Exif.PanasonicRaw.Model"_s), u"ZR-1"_s);
        QCOMPARE(tags->value(u"Exif.PanasonicRaw.SensorWidth"_s), u"448"_s);
        QCOMPARE(tags->value(u"Exif.Photo.DateTimeOriginal"_s), u"2024:06:15 09:09:02"_s);
        QCOMPARE(tags->value(u"Exif.Photo.ISOSpeedRatings"_s), u"100"_s);
        QCOMPARE(tags->value(u"Exif.GPSInfo.GPSLongitudeRef"_s), u"E"_s);
        // The embedded JPEG carries the camera's own make.
        QCOMPARE(tags->value(u"Exif.Image.Make"_s), u"ZORVA"_s);
    }

    void rejectsBadInput_data() {
        QTest::addColumn<QImage>("scene");
        QTest::addColumn<int>("orientation");
        QTest::addColumn<int>("black");
        QTest::addColumn<double>("sensitivity");
        QTest::addColumn<QString>("error");
        const QImage pattern = SyntheticScene::testPattern(QSize(64, 48));
        QTest::newRow("no image") << QImage() << 1 << 128 << 1.0 << u"no image"_s;
        QTest::newRow("too narrow") << SyntheticScene::testPattern(QSize(20, 48)) << 1 << 128 << 1.0
                                    << u"28 to 16000"_s;
        QTest::newRow("black too low") << pattern << 1 << 8 << 1.0 << u"black level"_s;
        QTest::newRow("black too high") << pattern << 1 << 2000 << 1.0 << u"black level"_s;
        QTest::newRow("no sensitivity") << pattern << 1 << 128 << 0.0 << u"sensitivity"_s;
        QTest::newRow("too sensitive") << pattern << 1 << 128 << 1.5 << u"sensitivity"_s;
        QTest::newRow("orientation 9") << pattern << 9 << 128 << 1.0 << u"Orientation 9"_s;
    }

    void rejectsBadInput() {
        QFETCH(QImage, scene);
        QFETCH(int, orientation);
        QFETCH(int, black);
        QFETCH(double, sensitivity);
        QFETCH(QString, error);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"ZRV_0009.RW2"_s);
        Rw2Writer::Options options;
        options.blackLevel = black;
        options.sensitivity[2] = sensitivity;
        const auto written = Rw2Writer::write(path, scene, info(orientation), options);
        QVERIFY(!written);
        QVERIFY2(written.error().contains(error), qPrintable(written.error()));
        QVERIFY(!QFile::exists(path));
    }
};

QTEST_MAIN(Rw2WriterTest)
#include "Rw2WriterTest.moc"
