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

// A grey 16 x 16 arithmetic-coded JPEG header (which needs no tables) and a few bytes of data.
QByteArray arithmeticJpeg() {
    return QByteArray("\xFF\xD8\xFF\xDB\x00\x43\x00", 7) + QByteArray(64, '\x01') +
           QByteArray("\xFF\xC9\x00\x0B\x08\x00\x10\x00\x10\x01\x01\x11\x00", 13) +
           QByteArray("\xFF\xDA\x00\x08\x01\x01\x00\x00\x3F\x00", 10) + QByteArray(16, '\x00') +
           QByteArray("\xFF\xD9", 2);
}

// The 12-byte entry of `tag` in the little-endian TIFF directory at `directory`.
char* entry(QByteArray& tiff, quint32 directory, quint16 tag) {
    const int entries = qFromLittleEndian<quint16>(tiff.constData() + directory);
    for (int i = 0; i < entries; ++i) {
        if (qFromLittleEndian<quint16>(tiff.constData() + directory + 2 + i * 12) == tag)
            return tiff.data() + directory + 2 + i * 12;
    }
    return nullptr;
}

bool setEntry(QByteArray& tiff, quint32 directory, quint16 tag, quint16 type, quint32 count, quint32 value) {
    char* e = entry(tiff, directory, tag);
    if (!e)
        return false;
    qToLittleEndian<quint16>(type, e + 2);
    qToLittleEndian<quint32>(count, e + 4);
    qToLittleEndian<quint32>(type == 3 && count == 1 ? value & 0xFFFF : value, e + 8);
    return true;
}

quint32 firstDirectory(const QByteArray& tiff) {
    return qFromLittleEndian<quint32>(tiff.constData() + 4);
}

quint32 nextDirectory(const QByteArray& tiff, quint32 directory) {
    const int entries = qFromLittleEndian<quint16>(tiff.constData() + directory);
    return qFromLittleEndian<quint32>(tiff.constData() + directory + 2 + entries * 12);
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

    // Refused for the screen, at full size and for export, leaving no file behind.
    void expectRefused(const QString& path, ShotFormat format) {
        ImageRenderer renderer;
        QCOMPARE(renderer.base(path, format).error(), RenderError::unreadable(path));
        QCOMPARE(renderer.fullResolution(path, format, Edit{}).error(), RenderError::unreadable(path));
        const QString exports = dir_.filePath(u"exports-"_s + QFileInfo(path).fileName());
        Shot shot;
        shot.id = shot.name = QFileInfo(path).baseName();
        shot.files = format == ShotFormat::jpeg ? ShotFiles::jpegOnly(path) : ShotFiles::rawOnly(path);
        Edit edit;
        edit.adjustments.exposure = 0.5;
        QCOMPARE(renderer.exportCopy(shot, format, edit, exports).error(), RenderError::unreadable(path));
        QVERIFY2(QDir(exports).entryList(QDir::Files | QDir::Hidden).isEmpty(), qPrintable(path));
    }

private Q_SLOTS:
    void oversizedFilesAreRefusedBeforeDecoding() {
        const QByteArray grey = smallJpeg(QSize(16, 16), false, true);
        const QByteArray greyProgressive = smallJpeg(QSize(16, 16), true, true);
        const QByteArray colourProgressive = smallJpeg(QSize(64, 48), true, false);
        // A small progressive picture and a run of empty scans before its end.
        QVERIFY(colourProgressive.endsWith("\xFF\xD9"));
        const QByteArray emptyScan("\xFF\xDA\x00\x0C\x03\x01\x00\x02\x11\x03\x11\x00\x00\x00", 14);
        const auto withEmptyScans = [&](int count) {
            return colourProgressive.first(colourProgressive.size() - 2)
                .append(emptyScan.repeated(count))
                .append("\xFF\xD9", 2);
        };
        const auto rw2 = Rw2Writer::encode(SyntheticScene::testPattern(QSize(448, 320)),
                                           fixtures::rawCapture(), {.previewLongSide = 0});
        QVERIFY(rw2);
        // An RW2 claiming side + 6 x side photosites: sensor width and height,
        // bottom and right borders.
        const auto hugeSensor = [&](quint32 side) {
            QByteArray bytes = *rw2;
            for (const auto& [tag, value] : {std::pair<quint16, quint32>{0x0002, side + 6},
                                             {0x0003, side},
                                             {0x0006, side},
                                             {0x0007, side}})
                setEntry(bytes, firstDirectory(bytes), tag, 3, 1, value);
            return bytes;
        };
        const struct {
            const char* name;
            QByteArray bytes;
            ShotFormat format;
        } cases[] = {
            {"BASELINE.JPG", declaring(grey, 65500, 65500), ShotFormat::jpeg},
            {"PROGRESSIVE.JPG", declaring(greyProgressive, 65500, 65500), ShotFormat::jpeg},
            {"ARITHMETIC.JPG", declaring(arithmeticJpeg(), 65500, 65500), ShotFormat::jpeg},
            // Just over 200 megapixels.
            {"WIDE.JPG", declaring(grey, 20000, 10001), ShotFormat::jpeg},
            // 144 megapixels, but 216 million coefficients kept across its scans.
            {"MANYCOEFFICIENTS.JPG", declaring(colourProgressive, 12000, 12000), ShotFormat::jpeg},
            // More than a thousand scans.
            {"MANYSCANS.JPG", withEmptyScans(1200), ShotFormat::jpeg},
            // Over the sensor limit, and under it but far more than a file of
            // about 200 KB can hold.
            {"HUGE20000.RW2", hugeSensor(20000), ShotFormat::raw},
            {"HUGE14000.RW2", hugeSensor(14000), ShotFormat::raw},
        };
        for (const auto& c : cases) {
            const QString path = write(QLatin1String(c.name), c.bytes);
            QVERIFY2(!path.isEmpty(), c.name);
            expectRefused(path, c.format);
            QVERIFY2(!ImageRenderer().thumbnail(path), c.name);
            if (c.format == ShotFormat::raw)
                QVERIFY2(!ImageRenderer().pixelSize(path), c.name);
        }
        // A hundred scans are fine.
        const QString few = write(u"FEWSCANS.JPG"_s, withEmptyScans(100));
        QCOMPARE(ImageRenderer().base(few, ShotFormat::jpeg)->size(), QSize(64, 48));
    }

    void jpegWithoutScanDataIsUnreadable() {
        const QString whole =
            fixtures::cameraJpeg(dir_.path(), u"WHOLE.JPG"_s, SyntheticScene::landscape(QSize(1200, 800)));
        QVERIFY(!whole.isEmpty());
        const QByteArray bytes = fixtures::readAll(whole);
        const qsizetype data = scanData(bytes);
        QVERIFY(data > 0);
        // Cut right after the scan header, or a few bytes into the first row of blocks.
        for (const qsizetype extra : {0, 3})
            expectRefused(write(u"CUT%1.JPG"_s.arg(extra), bytes.first(data + extra)), ShotFormat::jpeg);
        // Cut near its end: what was decoded still shows.
        const QString nearEnd = write(u"NEAREND.JPG"_s, bytes.first(bytes.size() * 9 / 10));
        QCOMPARE(ImageRenderer().base(nearEnd, ShotFormat::jpeg)->size(), QSize(1200, 800));
    }

    void bombedPreviewsGiveWayToThePicture() {
        const QImage scene = SyntheticScene::testPattern(QSize(448, 320));
        // A DNG whose preview directory claims thousands of compression or
        // photometric values, or 65,535 entries: no preview, so the RAW is developed.
        const auto dng = DngWriter::encode(scene, fixtures::rawCapture(), {.previewLongSide = 128});
        QVERIFY(dng);
        const quint32 previewDirectory = nextDirectory(*dng, firstDirectory(*dng));
        QByteArray compressions = *dng, photometrics = *dng, entries = *dng;
        QVERIFY(setEntry(compressions, previewDirectory, 0x0103, 3, 0x3000, 8));
        QVERIFY(setEntry(photometrics, previewDirectory, 0x0106, 3, 0x3000, 8));
        qToLittleEndian<quint16>(0xFFFF, entries.data() + previewDirectory);
        // An RW2 whose preview JPEG runs past the end of the file, or declares
        // a bomb of a size: developed too.
        const auto rw2 = Rw2Writer::encode(scene, fixtures::rawCapture(), {.previewLongSide = 200});
        QVERIFY(rw2);
        QByteArray pastTheEnd = *rw2;
        const char* previewEntry = entry(pastTheEnd, firstDirectory(*rw2), 0x002e);
        const quint32 preview = previewEntry ? qFromLittleEndian<quint32>(previewEntry + 8) : 0;
        QVERIFY(preview > 0 && rw2->mid(preview, 2) == "\xFF\xD8");
        QVERIFY(setEntry(pastTheEnd, firstDirectory(pastTheEnd), 0x002e, 7, 0x7FFFFFF0, preview));
        // A camera JPEG whose EXIF thumbnail declares over 200 megapixels.
        const QString camera =
            fixtures::cameraJpeg(dir_.path(), u"CAMERA.JPG"_s, SyntheticScene::testPattern(QSize(1200, 800)));
        const QByteArray jpeg = fixtures::readAll(camera);
        const qsizetype thumbnail = jpeg.indexOf("\xFF\xD8", 2);
        QVERIFY(thumbnail > 0 && thumbnail < scanData(jpeg));
        const struct {
            const char* name;
            QByteArray bytes;
            QSize size;
        } cases[] = {
            {"COMPRESSIONS.DNG", compressions, QSize(240, 171)},
            {"PHOTOMETRICS.DNG", photometrics, QSize(240, 171)},
            {"ENTRIES.DNG", entries, QSize(240, 171)},
            // An intact preview is used (never enlarged).
            {"INTACT.DNG", *dng, QSize(128, 91)},
            {"PASTEND.RW2", pastTheEnd, QSize(240, 171)},
            {"BOMB.RW2", declaring(*rw2, 65500, 65500, preview + 2), QSize(240, 171)},
            {"INTACT.RW2", *rw2, QSize(200, 142)},
            {"THUMB.JPG", declaring(jpeg, 20000, 10001, thumbnail + 2), QSize(240, 160)},
        };
        for (const auto& c : cases) {
            const auto shown = ImageRenderer().thumbnail(write(QLatin1String(c.name), c.bytes));
            QVERIFY2(shown, c.name);
            QCOMPARE(shown->size(), c.size);
            const double error = fixtures::patternError(*shown);
            QVERIFY2(error < 12, qPrintable(u"%1 off by %2"_s.arg(QLatin1String(c.name)).arg(error)));
        }
    }
};

QTEST_GUILESS_MAIN(BoundedDecodingTest)
#include "BoundedDecodingTest.moc"
