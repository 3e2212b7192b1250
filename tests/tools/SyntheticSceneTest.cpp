#include "tools/FileInspection.h"

#include "samplegen/JpegEncoder.h"
#include "samplegen/SyntheticScene.h"

#include <QTest>

#include <cmath>

using namespace Qt::StringLiterals;
using Kind = SyntheticScene::Kind;

namespace {

// Mean absolute difference between horizontal neighbours: flat pictures
// score near 0, photographs with texture and noise several levels.
double roughness(const QImage& image) {
    double total = 0;
    for (int y = 0; y < image.height(); ++y) {
        const uchar* line = image.constScanLine(y);
        for (int x = 3; x < image.width() * 3; ++x)
            total += std::abs(int(line[x]) - int(line[x - 3]));
    }
    return total / (double(image.height()) * (image.width() - 1) * 3);
}

} // namespace

class SyntheticSceneTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Large pictures are drawn by several threads; the pixels must not depend
    // on how the work was shared.
    void sameOptionsGiveTheSamePixels() {
        SyntheticScene::Options options{Kind::alpineLake, 7};
        const QSize size(1300, 900); // drawn in parallel
        const QImage first = SyntheticScene::landscape(size, options);
        QCOMPARE(first.size(), size);
        QCOMPARE(first.format(), QImage::Format_RGB888);
        QCOMPARE(SyntheticScene::landscape(size, options), first);
        options.seed = 8;
        QVERIFY(SyntheticScene::landscape(size, options) != first);
    }

    // Texture and noise make JPEGs as costly as a camera's: well over a bit
    // per pixel at quality 92, where a flat picture needs a fraction of that.
    // The sample card shows all eight kinds; each must look clearly different.
    void everyKindLooksLikeADistinctPhotograph() {
        QList<QImage> thumbnails;
        for (Kind kind : {Kind::meadow, Kind::seaside, Kind::alpineLake, Kind::desertSunset, Kind::forest,
                          Kind::cityDusk, Kind::garden, Kind::autumnHills}) {
            const QString name = QString::number(int(kind));
            const QImage image = SyntheticScene::landscape(QSize(600, 400), {kind});
            const double rough = roughness(image);
            QVERIFY2(rough > 1.5 && rough < 25, qPrintable(name + u": "_s + QString::number(rough)));
            const auto jpeg = JpegEncoder::encode(image, 92);
            QVERIFY(jpeg);
            const double bitsPerPixel = jpeg->size() * 8.0 / (600 * 400);
            QVERIFY2(bitsPerPixel > 1.2, qPrintable(name + u": "_s + QString::number(bitsPerPixel)));
            thumbnails << image.scaled(6, 4, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
            // Neither black nor blown out.
            const int mean =
                qGray(image.scaled(1, 1, Qt::IgnoreAspectRatio, Qt::SmoothTransformation).pixel(0, 0));
            QVERIFY2(mean > 40 && mean < 220, qPrintable(name + u": "_s + QString::number(mean)));
            QVERIFY(roughness(SyntheticScene::landscape(QSize(600, 400), {kind, 1, 0})) < rough);
        }
        for (int a = 0; a < thumbnails.size(); ++a) {
            for (int b = a + 1; b < thumbnails.size(); ++b) {
                double distance = 0;
                for (int y = 0; y < 4; ++y)
                    for (int x = 0; x < 6; ++x)
                        distance +=
                            inspection::colourDistance(thumbnails[a].pixel(x, y), thumbnails[b].pixel(x, y));
                QVERIFY2(distance / 24 > 12, qPrintable(QStringLiteral("kinds %1 and %2").arg(a).arg(b)));
            }
        }
    }

    void testPatternHasItsRegions() {
        const QImage pattern = SyntheticScene::testPattern(QSize(101, 60));
        QCOMPARE(pattern.size(), QSize(101, 60));
        QCOMPARE(pattern.pixel(10, 10), SyntheticScene::kPatternRed);
        QCOMPARE(pattern.pixel(90, 10), SyntheticScene::kPatternGreen);
        QCOMPARE(pattern.pixel(10, 50), SyntheticScene::kPatternBlue);
        QCOMPARE(pattern.pixel(50, 50), qRgb(0, 0, 0));
        QCOMPARE(pattern.pixel(100, 50), qRgb(255, 255, 255));
        QVERIFY(qGray(pattern.pixel(75, 50)) > 100 && qGray(pattern.pixel(75, 50)) < 155);
        // Empty sizes give no picture.
        QVERIFY(SyntheticScene::landscape(QSize(0, 10)).isNull());
        QVERIFY(SyntheticScene::testPattern(QSize(10, 0)).isNull());
    }
};

QTEST_MAIN(SyntheticSceneTest)
#include "SyntheticSceneTest.moc"
