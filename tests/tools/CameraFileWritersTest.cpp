#include "tools/FileInspection.h"

#include "samplegen/CameraJpegWriter.h"
#include "samplegen/DngWriter.h"
#include "samplegen/ExifOrientation.h"
#include "samplegen/Rw2Writer.h"
#include "samplegen/SyntheticScene.h"

#include <QFile>
#include <QImageReader>
#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <turbojpeg.h>

using namespace Qt::StringLiterals;

namespace {

// Writes one file to the path it is given.
using Write = std::function<std::expected<void, QString>(const QString& path)>;

Write jpeg(const QImage& image, const CaptureInfo& info, const CameraJpegWriter::Options& options = {}) {
    return [=](const QString& path) { return CameraJpegWriter::write(path, image, info, options); };
}
Write dng(const QImage& scene, const CaptureInfo& info, const DngWriter::Options& options = {}) {
    return [=](const QString& path) { return DngWriter::write(path, scene, info, options); };
}
Write rw2(const QImage& scene, const CaptureInfo& info, const Rw2Writer::Options& options = {}) {
    return [=](const QString& path) { return Rw2Writer::write(path, scene, info, options); };
}

QImage pattern(QSize size) {
    return SyntheticScene::testPattern(size);
}

CaptureInfo info(int orientation = 1, std::optional<CaptureInfo::Gps> gps = {}) {
    return {.model = u"ZR-9"_s,
            .captured = QDateTime(QDate(2024, 6, 15), QTime(10, 2, 13)),
            .orientation = orientation,
            .exposureDenominator = 125,
            .fNumber = 2.8,
            .iso = 1600,
            .gps = gps};
}

// The picture a viewer shows: Qt's reader turned by the EXIF orientation
// for JPEGs, LibRaw's development for RAWs.
std::expected<QImage, QString> shown(const QString& path, bool raw) {
    if (raw)
        return inspection::libRaw(path, true);
    QImageReader reader(path);
    reader.setAutoTransform(true);
    return reader.read().convertToFormat(QImage::Format_RGB888);
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

// The camera JPEG, DNG and RW2 writers, checked with independent readers.
class CameraFileWritersTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void picturesShowUpright_data() {
        QTest::addColumn<Write>("write");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<int>("subsampling"); // of a JPEG, or -1 for a RAW
        const auto add = [](const QByteArray& name, QSize size, Write write, int subsampling = -1) {
            QTest::newRow(name.constData()) << write << size << subsampling;
        };
        const auto stored = [](QSize size, int orientation) {
            return ExifOrientation::toStored(pattern(size), orientation);
        };
        const QSize size(320, 240);
        using enum JpegEncoder::Subsampling;
        add("JPEG, 4:2:0", size, jpeg(stored(size, 1), info(1), {.subsampling = s420}), TJSAMP_420);
        add("JPEG, 4:2:2, turned right", size, jpeg(stored(size, 6), info(6), {.subsampling = s422}),
            TJSAMP_422);
        add("JPEG, 4:4:4, turned left", size, jpeg(stored(size, 8), info(8), {.subsampling = s444}),
            TJSAMP_444);
        for (int o : {1, 3, 6, 8})
            add("DNG, orientation " + QByteArray::number(o), size, dng(stored(size, o), info(o)));
        // 448 x 320 fills whole 0x4000-byte chunks; the others end mid-chunk
        // and are not a whole number of 14-pixel blocks wide.
        add("RW2, whole chunks", QSize(448, 320), rw2(stored(QSize(448, 320), 1), info(1)));
        add("RW2, padded width", QSize(451, 300), rw2(stored(QSize(451, 300), 1), info(1)));
        for (int o : {6, 8})
            add("RW2, orientation " + QByteArray::number(o), size, rw2(stored(size, o), info(o)));
        add("RW2, higher black level", size, rw2(stored(size, 1), info(1), {.blackLevel = 512}));
    }

    // The pattern's colours come back where they belong: for RAWs this checks
    // the mosaic, the levels, the colour matrix or white balance, the RW2 bit
    // packing and chunk order; for all, the orientation.
    void picturesShowUpright() {
        QFETCH(Write, write);
        QFETCH(QSize, size);
        QFETCH(int, subsampling);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"ZRV_0001"_s);
        const auto written = write(path);
        QVERIFY2(written, qPrintable(inspection::failure(written)));
        if (subsampling >= 0)
            QCOMPARE(subsamplingOf(path), subsampling);
        const auto picture = shown(path, subsampling < 0);
        QVERIFY2(picture, qPrintable(inspection::failure(picture)));
        const QString mismatch = inspection::gridMismatch(*picture, pattern(size), 4);
        QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
    }

    void previewsAndMetadataAreFound_data() {
        QTest::addColumn<Write>("write");
        QTest::addColumn<bool>("raw");
        QTest::addColumn<QSize>("previewSize");
        QTest::addColumn<int>("tolerance");
        QTest::addColumn<QString>("mimeType");
        QTest::addColumn<QStringList>("tags");
        const CaptureInfo south = info(6, CaptureInfo::Gps{-33.8568, 151.2153, -2.5});
        const CaptureInfo west = info(6, CaptureInfo::Gps{46.4907, -9.8355, 1800});
        // Keys under "Exif.", with their values as Exiv2 prints them.
        const QStringList camera{u"Image.Make=ZORVA"_s, u"Image.Orientation=6"_s,
                                 u"Photo.ISOSpeedRatings=1600"_s,
                                 u"Photo.DateTimeOriginal=2024:06:15 10:02:13"_s};
        const QStringList exposure =
            camera + QStringList{u"Image.Model=ZR-9"_s, u"Photo.ExposureTime=1/125"_s,
                                 u"Photo.FNumber=28/10"_s, u"Image.DateTime=2024:06:15 10:02:13"_s};
        const QStringList jpegTags = exposure + QStringList{u"Photo.DateTimeDigitized=2024:06:15 10:02:13"_s,
                                                            u"Photo.PixelXDimension=448"_s,
                                                            u"GPSInfo.GPSLatitudeRef=S"_s,
                                                            u"GPSInfo.GPSLatitude=33/1 51/1 2448/100"_s,
                                                            u"GPSInfo.GPSLongitudeRef=E"_s,
                                                            u"GPSInfo.GPSAltitudeRef=1"_s,
                                                            u"GPSInfo.GPSAltitude=25/10"_s};
        const QStringList dngTags =
            exposure + QStringList{u"Image.UniqueCameraModel=ZORVA ZR-9"_s, u"GPSInfo.GPSLatitudeRef=N"_s,
                                   u"GPSInfo.GPSLatitude=46/1 29/1 2652/100"_s,
                                   u"GPSInfo.GPSLongitudeRef=W"_s, u"GPSInfo.GPSAltitude=18000/10"_s};
        // The RAW carries the maker's make and a model LibRaw has colours for, its embedded JPEG the
        // camera's.
        const QStringList rw2Tags =
            camera + QStringList{u"PanasonicRaw.Make=Panasonic"_s, u"PanasonicRaw.Model=DC-G9"_s,
                                 u"PanasonicRaw.SensorWidth=448"_s, u"GPSInfo.GPSLongitudeRef=W"_s};
        const QImage scene = pattern(QSize(448, 336));
        QTest::newRow("JPEG") << jpeg(scene, south) << false << QSize(160, 120) << 14 << u"image/jpeg"_s
                              << jpegTags;
        QTest::newRow("DNG") << dng(scene, west, {.previewLongSide = 160}) << true << QSize(160, 120) << 3
                             << u"image/tiff"_s << dngTags;
        QTest::newRow("RW2") << rw2(scene, west) << true << QSize(320, 240) << 6 << u"image/jpeg"_s
                             << rw2Tags;
        QTest::newRow("DNG without preview")
            << dng(scene, west, {.previewLongSide = 0}) << true << QSize() << 0 << QString() << dngTags;
    }

    // Exiv2 reads what the camera recorded and finds the preview (the EXIF
    // thumbnail of a JPEG), which LibRaw or Exiv2 decodes to the scene.
    void previewsAndMetadataAreFound() {
        QFETCH(Write, write);
        QFETCH(bool, raw);
        QFETCH(QSize, previewSize);
        QFETCH(int, tolerance);
        QFETCH(QString, mimeType);
        QFETCH(QStringList, tags);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"ZRV_0004"_s);
        QVERIFY(write(path));
        const auto read = inspection::metadata(path);
        QVERIFY2(read, qPrintable(inspection::failure(read)));
        const QString wrongTag = inspection::tagMismatch(read->tags, tags);
        QVERIFY2(wrongTag.isEmpty(), qPrintable(wrongTag));

        const auto preview = raw ? inspection::libRaw(path, false) : read->thumbnail;
        if (previewSize.isEmpty()) {
            QVERIFY(!preview && read->previews.isEmpty());
            // One strip of 16-bit samples after the directories, nothing more.
            QVERIFY(QFileInfo(path).size() < 448 * 336 * 2 + 4096);
            return;
        }
        QVERIFY2(preview, qPrintable(inspection::failure(preview)));
        const QString mismatch = inspection::gridMismatch(
            preview->convertToFormat(QImage::Format_RGB888),
            pattern(QSize(448, 336)).scaled(previewSize, Qt::IgnoreAspectRatio, Qt::SmoothTransformation),
            tolerance);
        QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
        QVERIFY(!read->previews.isEmpty());
        QCOMPARE(read->previews.back(), qMakePair(mimeType, previewSize));
    }

    // A 3:2 picture keeps its shape in the 4:3 thumbnail, between black bars;
    // a JPEG can go without.
    void jpegThumbnailKeepsTheShape() {
        QTemporaryDir dir;
        const QString barred = dir.filePath(u"barred.jpg"_s), bare = dir.filePath(u"bare.jpg"_s);
        QVERIFY(jpeg(pattern(QSize(600, 400)), info())(barred));
        QVERIFY(jpeg(pattern(QSize(600, 400)), info(), {.thumbnail = false})(bare));
        const QImage thumbnail = inspection::metadata(barred).value_or(inspection::Metadata{}).thumbnail;
        QCOMPARE(thumbnail.size(), QSize(160, 120));
        QVERIFY(inspection::colourDistance(thumbnail.pixel(80, 2), qRgb(0, 0, 0)) < 12);
        QVERIFY(inspection::colourDistance(thumbnail.pixel(40, 30), SyntheticScene::kPatternRed) < 16);
        QVERIFY(inspection::colourDistance(thumbnail.pixel(80, 117), qRgb(0, 0, 0)) < 12);
        const auto none = inspection::metadata(bare);
        QVERIFY2(none, qPrintable(inspection::failure(none)));
        QVERIFY(none->thumbnail.isNull());
    }

    // Neighbouring photosites far apart in value need the coarser steps of
    // the RW2 packing; a busy scene must still come back close to the original.
    void busyScenesSurviveThePacking() {
        QTemporaryDir dir;
        const QString path = dir.filePath(u"busy.rw2"_s);
        const QImage busy =
            SyntheticScene::landscape(QSize(420, 280), {SyntheticScene::Kind::cityDusk, 1, 6});
        QVERIFY(Rw2Writer::write(path, busy, info()));
        const auto developed = inspection::libRaw(path, true);
        QVERIFY2(developed, qPrintable(inspection::failure(developed)));
        QCOMPARE(developed->size(), busy.size());
        // Demosaicing blurs single pixels, and the camera's colour matrix
        // strengthens its colour errors; compare the picture at a coarser scale.
        const QImage a = developed->scaled(42, 28, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        const QImage b = busy.scaled(42, 28, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        double total = 0;
        for (int y = 0; y < 28; ++y)
            for (int x = 0; x < 42; ++x)
                total += inspection::colourDistance(a.pixel(x, y), b.pixel(x, y));
        QVERIFY2(total / (42 * 28) < 5.0, qPrintable(QString::number(total / (42 * 28))));
    }

    void rejectsBadInput_data() {
        QTest::addColumn<Write>("write");
        QTest::addColumn<QString>("error");
        const QImage small = pattern(QSize(64, 48));
        CaptureInfo undated = info();
        undated.captured = {};
        QTest::newRow("JPEG, no image") << jpeg(QImage(), info()) << u"no image"_s;
        QTest::newRow("JPEG, orientation 0") << jpeg(small, info(0)) << u"Orientation 0"_s;
        QTest::newRow("JPEG, quality 0") << jpeg(small, info(), {.quality = 0}) << u"quality 0"_s;
        QTest::newRow("JPEG, no capture time") << jpeg(small, undated) << u"capture time"_s;
        QTest::newRow("DNG, too small") << dng(pattern(QSize(8, 8)), info()) << u"16 to 65535"_s;
        QTest::newRow("DNG, black above white")
            << dng(small, info(), {.blackLevel = 5000}) << u"black level"_s;
        QTest::newRow("DNG, orientation 9") << dng(small, info(9)) << u"Orientation 9"_s;
        QTest::newRow("RW2, too narrow") << rw2(pattern(QSize(20, 48)), info()) << u"28 to 16000"_s;
        QTest::newRow("RW2, black too high") << rw2(small, info(), {.blackLevel = 2000}) << u"black level"_s;
        QTest::newRow("RW2, no sensitivity")
            << rw2(small, info(), {.sensitivity = {0.5, 1, 0}}) << u"sensitivity"_s;
        QTest::newRow("RW2, orientation 9") << rw2(small, info(9)) << u"Orientation 9"_s;
        QTest::newRow("missing folder") << Write([=](const QString& path) {
            return DngWriter::write(path + u"/missing/ZRV.DNG"_s, small, info());
        }) << u"/missing/ZRV.DNG"_s;
    }

    // A failed write names its reason, creates no file and leaves an earlier
    // file of the same name untouched.
    void rejectsBadInput() {
        QFETCH(Write, write);
        QFETCH(QString, error);
        QTemporaryDir dir;
        const QString fresh = dir.filePath(u"fresh"_s), earlier = dir.filePath(u"earlier"_s);
        QFile file(earlier);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("earlier photo") == 13);
        file.close();
        for (const QString& path : {fresh, earlier}) {
            const auto written = write(path);
            QVERIFY(!written);
            QVERIFY2(written.error().contains(error), qPrintable(written.error()));
        }
        QVERIFY(!QFile::exists(fresh));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("earlier photo"));
    }
};

QTEST_MAIN(CameraFileWritersTest)
#include "CameraFileWritersTest.moc"
