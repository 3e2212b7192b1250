#include "imaging/ImagingFixtures.h"

#include "imaging/render/ImageRenderer.h"

#include "samplegen/DngWriter.h"
#include "samplegen/Rw2Writer.h"

#include <QBuffer>
#include <QImageWriter>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

using namespace Qt::StringLiterals;

namespace {

// A real JPEG of a small grey or colour picture, written by Qt's encoder.
QByteArray smallJpeg(QSize size, bool progressive, bool grey) {
    QImage picture = SyntheticScene::landscape(size);
    if (grey)
        picture = picture.convertToFormat(QImage::Format_Grayscale8);
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setProgressiveScanWrite(progressive);
    return writer.write(picture) ? buffer.data() : QByteArray();
}

// Offsets of a JPEG's markers up to and including its first scan header.
struct Marker {
    qsizetype at;
    uchar code;
    qsizetype length;
};
QList<Marker> markers(const QByteArray& jpeg, qsizetype from = 2) {
    QList<Marker> found;
    for (qsizetype at = from; at + 4 <= jpeg.size() && uchar(jpeg[at]) == 0xFF;) {
        const Marker m{at, uchar(jpeg[at + 1]), qFromBigEndian<quint16>(jpeg.constData() + at + 2)};
        found.append(m);
        if (m.code == 0xDA)
            break;
        at += 2 + m.length;
    }
    return found;
}

// The same JPEG declaring another size in its frame header (the first from `from`).
QByteArray declaring(QByteArray jpeg, int width, int height, qsizetype from = 2) {
    for (const Marker& m : markers(jpeg, from)) {
        if (m.code >= 0xC0 && m.code <= 0xCF && m.code != 0xC4 && m.code != 0xC8 && m.code != 0xCC) {
            qToBigEndian<quint16>(quint16(height), jpeg.data() + m.at + 5);
            qToBigEndian<quint16>(quint16(width), jpeg.data() + m.at + 7);
            return jpeg;
        }
    }
    return {};
}

// Where the coded data of the first scan begins.
qsizetype scanData(const QByteArray& jpeg) {
    const QList<Marker> all = markers(jpeg);
    return all.isEmpty() || all.last().code != 0xDA ? -1 : all.last().at + 2 + all.last().length;
}

// A grey arithmetic-coded JPEG header (which needs no tables) and a few bytes of data.
QByteArray arithmeticJpeg(int width, int height) {
    QByteArray jpeg("\xFF\xD8\xFF\xDB\x00\x43\x00", 7);
    jpeg.append(64, '\x01');
    jpeg.append("\xFF\xC9\x00\x0B\x08", 5);
    jpeg.append(char(height >> 8)).append(char(height)).append(char(width >> 8)).append(char(width));
    jpeg.append("\x01\x01\x11\x00", 4);
    jpeg.append("\xFF\xDA\x00\x08\x01\x01\x00\x00\x3F\x00", 10);
    jpeg.append(16, '\x00');
    return jpeg.append("\xFF\xD9", 2);
}

// Sets one entry of the TIFF directory at `directory` (little-endian) in place.
bool setEntry(QByteArray& tiff, quint32 directory, quint16 tag, quint16 type, quint32 count, quint32 value) {
    const int entries = qFromLittleEndian<quint16>(tiff.constData() + directory);
    for (int i = 0; i < entries; ++i) {
        char* e = tiff.data() + directory + 2 + i * 12;
        if (qFromLittleEndian<quint16>(e) != tag)
            continue;
        qToLittleEndian<quint16>(type, e + 2);
        qToLittleEndian<quint32>(count, e + 4);
        if (type == 3 && count == 1)
            qToLittleEndian<quint32>(value & 0xFFFF, e + 8);
        else
            qToLittleEndian<quint32>(value, e + 8);
        return true;
    }
    return false;
}

// The value (or the offset of the values) of an entry.
quint32 entryValue(const QByteArray& tiff, quint32 directory, quint16 tag) {
    const int entries = qFromLittleEndian<quint16>(tiff.constData() + directory);
    for (int i = 0; i < entries; ++i) {
        const char* e = tiff.constData() + directory + 2 + i * 12;
        if (qFromLittleEndian<quint16>(e) == tag)
            return qFromLittleEndian<quint32>(e + 8);
    }
    return 0;
}

quint32 firstDirectory(const QByteArray& tiff) {
    return qFromLittleEndian<quint32>(tiff.constData() + 4);
}

quint32 nextDirectory(const QByteArray& tiff, quint32 directory) {
    const int entries = qFromLittleEndian<quint16>(tiff.constData() + directory);
    return qFromLittleEndian<quint32>(tiff.constData() + directory + 2 + entries * 12);
}

CaptureInfo captureInfo() {
    CaptureInfo info;
    info.captured = QDateTime(QDate(2024, 6, 15), QTime(10, 2, 13));
    return info;
}

} // namespace

// Files whose headers claim far more than they hold: each is refused or read
// within fixed bounds, never decoded at the size it claims.
class BoundedDecodingTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;

    QString write(const QString& name, const QByteArray& bytes) {
        const QString path = dir_.filePath(name);
        return fixtures::writeAll(path, bytes) ? path : QString();
    }

private Q_SLOTS:
    void oversizedJpegsAreRefusedBeforeDecoding() {
        const QByteArray grey = smallJpeg(QSize(16, 16), false, true);
        const QByteArray greyProgressive = smallJpeg(QSize(16, 16), true, true);
        const QByteArray colourProgressive = smallJpeg(QSize(64, 48), true, false);
        const struct {
            const char* name;
            QByteArray bytes;
        } cases[] = {
            {"BASELINE.JPG", declaring(grey, 65500, 65500)},
            {"PROGRESSIVE.JPG", declaring(greyProgressive, 65500, 65500)},
            {"ARITHMETIC.JPG", arithmeticJpeg(65500, 65500)},
            // Just over 200 megapixels.
            {"WIDE.JPG", declaring(grey, 20000, 10001)},
            // 144 megapixels, but 216 million coefficients kept across its scans.
            {"MANYCOEFFICIENTS.JPG", declaring(colourProgressive, 12000, 12000)},
        };
        ImageRenderer renderer;
        for (const auto& c : cases) {
            const QString path = write(QLatin1String(c.name), c.bytes);
            QVERIFY2(!path.isEmpty() && c.bytes.size() < 4096, c.name);
            const auto screen = renderer.base(path, ShotFormat::jpeg);
            QVERIFY2(!screen, c.name);
            QCOMPARE(screen.error(), RenderError::unreadable(path));
            QCOMPARE(renderer.fullResolution(path, ShotFormat::jpeg, Edit{}).error(),
                     RenderError::unreadable(path));
            QVERIFY2(!renderer.thumbnail(path), c.name);
        }
    }

    void scansBeyondAThousandAreRefused() {
        // A small progressive picture and a run of empty scans before its end.
        const QByteArray picture = smallJpeg(QSize(64, 48), true, false);
        QVERIFY(picture.endsWith("\xFF\xD9"));
        const QByteArray emptyScan("\xFF\xDA\x00\x0C\x03\x01\x00\x02\x11\x03\x11\x00\x00\x00", 14);
        const auto withEmptyScans = [&](int count) {
            QByteArray bytes = picture.first(picture.size() - 2);
            bytes.append(emptyScan.repeated(count));
            return bytes.append("\xFF\xD9", 2);
        };
        ImageRenderer renderer;
        const QString few = write(u"FEW.JPG"_s, withEmptyScans(100));
        const QString many = write(u"MANY.JPG"_s, withEmptyScans(1200));
        QCOMPARE(renderer.base(few, ShotFormat::jpeg)->size(), QSize(64, 48));
        QCOMPARE(renderer.base(many, ShotFormat::jpeg).error(), RenderError::unreadable(many));
    }

    void hugeExifThumbnailGivesWayToThePicture() {
        const QString path =
            fixtures::cameraJpeg(dir_.path(), u"THUMB.JPG"_s, SyntheticScene::testPattern(QSize(1200, 800)));
        QVERIFY(!path.isEmpty());
        QByteArray bytes = fixtures::readAll(path);
        const qsizetype thumbnail = bytes.indexOf("\xFF\xD8", 2);
        QVERIFY(thumbnail > 0 && thumbnail < scanData(bytes));
        bytes = declaring(bytes, 20000, 10001, thumbnail + 2);
        QVERIFY(fixtures::writeAll(path, bytes));
        const auto shown = ImageRenderer().thumbnail(path);
        QVERIFY(shown);
        QCOMPARE(shown->size(), QSize(240, 160));
        const double error = fixtures::distance(fixtures::mean(*shown, fixtures::quadrant(shown->size(), 0)),
                                                fixtures::srgbInDisplayP3(SyntheticScene::kPatternRed));
        QVERIFY2(error < 12, qPrintable(QString::number(error)));
    }

    void jpegWithoutScanDataIsUnreadable() {
        const QString whole =
            fixtures::cameraJpeg(dir_.path(), u"WHOLE.JPG"_s, SyntheticScene::landscape(QSize(1200, 800)));
        QVERIFY(!whole.isEmpty());
        const QByteArray bytes = fixtures::readAll(whole);
        const qsizetype data = scanData(bytes);
        QVERIFY(data > 0);
        ImageRenderer renderer;
        // Cut right after the scan header, or a few bytes into the first row of blocks.
        for (const qsizetype extra : {0, 3}) {
            const QString cut = write(u"CUT%1.JPG"_s.arg(extra), bytes.first(data + extra));
            QCOMPARE(renderer.base(cut, ShotFormat::jpeg).error(), RenderError::unreadable(cut));
            QCOMPARE(renderer.fullResolution(cut, ShotFormat::jpeg, Edit{}).error(),
                     RenderError::unreadable(cut));
            const QString exports = dir_.filePath(u"exports%1"_s.arg(extra));
            Shot shot;
            shot.id = shot.name = u"CUT"_s;
            shot.files = ShotFiles::jpegOnly(cut);
            Edit edit;
            edit.adjustments.exposure = 0.5;
            QCOMPARE(renderer.exportCopy(shot, ShotFormat::jpeg, edit, exports).error(),
                     RenderError::unreadable(cut));
            QVERIFY(QDir(exports).entryList(QDir::Files | QDir::Hidden).isEmpty());
        }
        // Cut near its end: what was decoded still shows.
        const QString nearEnd = write(u"NEAREND.JPG"_s, bytes.first(bytes.size() * 9 / 10));
        QCOMPARE(renderer.base(nearEnd, ShotFormat::jpeg)->size(), QSize(1200, 800));
    }

    void rawPreviewsAreReadWithinBounds() {
        ImageRenderer renderer;
        const QImage scene = SyntheticScene::testPattern(QSize(448, 320));
        const auto expectPattern = [](const std::optional<QImage>& image, QSize size) {
            QVERIFY(image);
            QCOMPARE(image->size(), size);
            const QRgb patches[3] = {SyntheticScene::kPatternRed, SyntheticScene::kPatternGreen,
                                     SyntheticScene::kPatternBlue};
            for (int q = 0; q < 3; ++q) {
                const double error = fixtures::distance(fixtures::mean(*image, fixtures::quadrant(size, q)),
                                                        fixtures::srgbInDisplayP3(patches[q]));
                QVERIFY2(error < 12, qPrintable(u"patch %1 off by %2"_s.arg(q).arg(error)));
            }
        };

        // A DNG whose preview directory claims thousands of compression or
        // photometric values: no preview, so the RAW is developed.
        const auto dng = DngWriter::encode(scene, captureInfo(), {.previewLongSide = 128});
        QVERIFY(dng);
        const quint32 previewDirectory = nextDirectory(*dng, firstDirectory(*dng));
        for (const quint16 tag : {quint16(0x0103), quint16(0x0106)}) {
            QByteArray bytes = *dng;
            QVERIFY(setEntry(bytes, previewDirectory, tag, 3, 0x3000, 8));
            const QString path = write(u"COUNT%1.DNG"_s.arg(tag), bytes);
            expectPattern(renderer.thumbnail(path), QSize(240, 171));
        }
        // Or claims 65,535 entries.
        QByteArray entries = *dng;
        qToLittleEndian<quint16>(0xFFFF, entries.data() + previewDirectory);
        expectPattern(renderer.thumbnail(write(u"ENTRIES.DNG"_s, entries)), QSize(240, 171));
        // Its intact preview is used (never enlarged).
        expectPattern(renderer.thumbnail(write(u"INTACT.DNG"_s, *dng)), QSize(128, 91));

        // An RW2 whose preview JPEG runs past the end of the file, or declares
        // a bomb of a size: developed too.
        const auto rw2 = Rw2Writer::encode(scene, captureInfo(), {.previewLongSide = 200});
        QVERIFY(rw2);
        const quint32 preview = entryValue(*rw2, firstDirectory(*rw2), 0x002e);
        QVERIFY(preview > 0 && rw2->mid(preview, 2) == "\xFF\xD8");
        QByteArray pastTheEnd = *rw2;
        QVERIFY(setEntry(pastTheEnd, firstDirectory(pastTheEnd), 0x002e, 7, 0x7FFFFFF0, preview));
        expectPattern(renderer.thumbnail(write(u"PASTEND.RW2"_s, pastTheEnd)), QSize(240, 171));
        expectPattern(renderer.thumbnail(write(u"BOMB.RW2"_s, declaring(*rw2, 65500, 65500, preview + 2))),
                      QSize(240, 171));
        expectPattern(renderer.thumbnail(write(u"INTACT.RW2"_s, *rw2)), QSize(200, 142));
    }

    void hugeRawSensorsAreRefusedBeforeUnpacking() {
        const auto rw2 = Rw2Writer::encode(SyntheticScene::testPattern(QSize(448, 320)), captureInfo(),
                                           {.previewLongSide = 0});
        QVERIFY(rw2);
        // 20,006 x 20,000 photosites (over the limit) and 14,006 x 14,000 (under
        // it, but far more than a file of about 200 KB can hold).
        for (const quint32 side : {20000u, 14000u}) {
            QByteArray bytes = *rw2;
            const quint32 directory = firstDirectory(bytes);
            // Sensor width and height, bottom and right borders.
            const std::pair<quint16, quint32> sizes[] = {
                {0x0002, side + 6}, {0x0003, side}, {0x0006, side}, {0x0007, side}};
            for (const auto& [tag, value] : sizes)
                QVERIFY(setEntry(bytes, directory, tag, 3, 1, value));
            const QString path = write(u"HUGE%1.RW2"_s.arg(side), bytes);
            ImageRenderer renderer;
            QCOMPARE(renderer.base(path, ShotFormat::raw).error(), RenderError::unreadable(path));
            QCOMPARE(renderer.fullResolution(path, ShotFormat::raw, Edit{}).error(),
                     RenderError::unreadable(path));
            QVERIFY(!renderer.thumbnail(path));
            QVERIFY(!renderer.pixelSize(path));
        }
    }
};

QTEST_GUILESS_MAIN(BoundedDecodingTest)
#include "BoundedDecodingTest.moc"
