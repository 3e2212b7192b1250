#include "imaging/ImagingFixtures.h"

#include "imaging/render/ImageRenderer.h"

#include "samplegen/DngWriter.h"
#include "samplegen/Rw2Writer.h"
#include "samplegen/SampleCard.h"

#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// A RAW of `upright` in `dir`: "dng" or "rw2", with or without a preview.
QString rawFile(const QString& dir, const QString& kind, const QImage& upright, int orientation,
                int previewLongSide) {
    const QString path = QDir(dir).filePath(u"TEST."_s + kind);
    const QImage stored = ExifOrientation::toStored(upright, orientation);
    const auto written = kind == u"dng"_s ? DngWriter::write(path, stored, fixtures::rawCapture(orientation),
                                                             {.previewLongSide = previewLongSide})
                                          : Rw2Writer::write(path, stored, fixtures::rawCapture(orientation),
                                                             {.previewLongSide = previewLongSide});
    return written ? path : QString();
}

} // namespace

// RAW files through the renderer's own development: colour and orientation.
class RawDevelopmentTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // The scene's red, green and blue patches come out as those colours in
    // Display P3, on the screen image and the full-size detail alike: from an
    // RW2 of a camera LibRaw knows, and from a DNG with its own matrix.
    void knownPatchesKeepTheirColour() {
        QTemporaryDir dir;
        for (const QString& kind : {u"rw2"_s, u"dng"_s}) {
            const QString path =
                rawFile(dir.path(), kind, SyntheticScene::testPattern(QSize(448, 320)), 1, 0);
            QVERIFY(!path.isEmpty());
            ImageRenderer renderer;
            const auto screen = renderer.base(path, ShotFormat::raw);
            const auto full = renderer.fullResolution(path, ShotFormat::raw, Edit{});
            QVERIFY2(screen && full, qPrintable(kind));
            for (const QImage& image : {*screen, *full}) {
                QCOMPARE(image.size(), QSize(448, 320));
                const double error = fixtures::patternError(image);
                QVERIFY2(error <= 3, qPrintable(u"%1 off by %2"_s.arg(kind).arg(error)));
            }
        }
    }

    // The bundled card's RAW and JPEG of one shot show the same picture.
    void sampleRawsLookLikeTheirJpegs() {
        ImageRenderer renderer;
        int pairs = 0;
        QStringList wrong;
        for (const SampleCard::Sample& s : SampleCard::samples()) {
            if (s.jpeg.isEmpty() || s.raw.isEmpty())
                continue;
            ++pairs;
            const auto jpeg = renderer.base(fixtures::sample(qPrintable(s.jpeg)), ShotFormat::jpeg);
            const auto raw = renderer.base(fixtures::sample(qPrintable(s.raw)), ShotFormat::raw);
            QVERIFY(jpeg && raw);
            const auto a = fixtures::mean(*jpeg, jpeg->rect());
            const auto b = fixtures::mean(*raw, raw->rect());
            const double error = fixtures::distance(a, b);
            if (error > 3)
                wrong << u"%1 off by %2"_s.arg(s.raw).arg(error);
        }
        QCOMPARE(pairs, 3);
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join(u", "_s)));
    }

    void previewsAndDevelopmentsStandUpright_data() {
        QTest::addColumn<int>("orientation");
        for (int o = 1; o <= 8; ++o)
            QTest::addRow("orientation %d", o) << o;
    }

    // Mirrored orientations too: red stays top left, green top right, blue
    // bottom left, in the embedded preview's thumbnail and the development.
    void previewsAndDevelopmentsStandUpright() {
        QFETCH(int, orientation);
        QTemporaryDir dir;
        const QString path =
            rawFile(dir.path(), u"dng"_s, SyntheticScene::testPattern(QSize(256, 192)), orientation, 128);
        QVERIFY(!path.isEmpty());
        ImageRenderer renderer;
        const auto thumbnail = renderer.thumbnail(path);
        const auto developed = renderer.base(path, ShotFormat::raw);
        QVERIFY(thumbnail && developed);
        QCOMPARE(thumbnail->size(), QSize(128, 96));
        QCOMPARE(developed->size(), QSize(256, 192));
        QCOMPARE(renderer.pixelSize(path), std::optional(QSize(256, 192)));
        for (const QImage& image : {*thumbnail, *developed}) {
            const double error = fixtures::patternError(image);
            QVERIFY2(error < 12, qPrintable(u"off by %1"_s.arg(error)));
        }
    }
};

QTEST_GUILESS_MAIN(RawDevelopmentTest)
#include "RawDevelopmentTest.moc"
