#include "imaging/ImagingFixtures.h"

#include "imaging/pixels/CompactImage.h"
#include "imaging/pixels/ParallelRunner.h"
#include "imaging/render/ImageRenderer.h"

#include <QColorSpace>
#include <QTest>

#include <cmath>

namespace {

// The largest and the mean difference of any channel between two images of one size.
std::pair<int, double> difference(const QImage& a, const QImage& b) {
    const QImage x = a.convertToFormat(QImage::Format_RGB888);
    const QImage y = b.convertToFormat(QImage::Format_RGB888);
    int largest = 0;
    double sum = 0;
    for (int row = 0; row < x.height(); ++row) {
        const uchar* p = x.constScanLine(row);
        const uchar* q = y.constScanLine(row);
        for (int i = 0; i < x.width() * 3; ++i) {
            const int d = std::abs(int(p[i]) - int(q[i]));
            largest = std::max(largest, d);
            sum += d;
        }
    }
    return {largest, sum / (double(x.width()) * x.height() * 3)};
}

} // namespace

class CompactImageTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // A camera photo at screen size comes back from a quarter of its bytes
    // close to what went in, in its own format and colour space, on helper
    // threads or not.
    void photosComeBackClose() {
        const ParallelRunner runner(4);
        PixelResources resources;
        resources.runner = &runner;
        const auto decoded = ImageRenderer().base(fixtures::sample("ZRV_0001.JPG"), ShotFormat::jpeg);
        QVERIFY(decoded);
        const QImage photo = *decoded;
        QCOMPARE(photo.format(), QImage::Format_RGBX8888);

        for (const QImage::Format format : {QImage::Format_RGBX8888, QImage::Format_RGB888}) {
            const QImage source = photo.convertToFormat(format);
            const CompactImage compact = CompactImage::from(source, resources);
            const size_t pixels = size_t(source.width()) * source.height();
            QVERIFY(compact.bytes() <= pixels * 3 / 2 + size_t(source.width() + source.height()) * 2);
            const QImage back = compact.image(resources);
            QCOMPARE(back.format(), format);
            QCOMPARE(back.size(), source.size());
            QCOMPARE(back.colorSpace(), QColorSpace(QColorSpace::DisplayP3));
            const auto [largest, mean] = difference(source, back);
            QVERIFY2(mean < 1.5, qPrintable(QString::number(mean)));
            QVERIFY2(largest < 64, qPrintable(QString::number(largest)));
            QCOMPARE(CompactImage::from(source).image(), back);
        }
    }

    // Flat colours come back exactly or within one step; odd sizes keep their
    // last row and column; a sharp red-to-blue edge softens over no more than
    // two pixels on each side, never a block.
    void coloursEdgesAndOddSizes() {
        const QList<QColor> colours{Qt::white, Qt::black, QColor(200, 30, 40), QColor(20, 180, 90),
                                    QColor(10, 20, 230)};
        for (const QColor& colour : colours) {
            for (const QSize size : {QSize(2, 2), QSize(5, 3), QSize(7, 8)}) {
                QImage flat(size, QImage::Format_RGBX8888);
                flat.fill(colour);
                const QImage back = CompactImage::from(flat).image();
                QVERIFY2(difference(flat, back).first <= 1, qPrintable(colour.name()));
            }
        }

        QImage edge(16, 4, QImage::Format_RGB888);
        edge.fill(QColor(220, 20, 20));
        for (int y = 0; y < 4; ++y)
            for (int x = 7; x < 16; ++x)
                edge.setPixelColor(x, y, QColor(20, 20, 220));
        const QImage back = CompactImage::from(edge).image();
        for (int x : {0, 1, 2, 3, 4})
            QVERIFY(difference(edge.copy(x, 0, 1, 4), back.copy(x, 0, 1, 4)).first <= 2);
        for (int x : {10, 11, 12, 13, 14, 15})
            QVERIFY(difference(edge.copy(x, 0, 1, 4), back.copy(x, 0, 1, 4)).first <= 2);
    }

    // Images with alpha, or too small to halve, are kept as they are; two
    // images made apart never share a key.
    void othersAreKeptAsTheyAre() {
        QImage translucent(8, 8, QImage::Format_ARGB32);
        translucent.fill(QColor(10, 20, 30, 100));
        QCOMPARE(CompactImage::from(translucent).image(), translucent);
        QImage line(9, 1, QImage::Format_RGBX8888);
        line.fill(Qt::red);
        QCOMPARE(CompactImage::from(line).image(), line);
        QVERIFY(CompactImage().isNull());

        QImage square(8, 8, QImage::Format_RGBX8888);
        square.fill(Qt::green);
        const CompactImage first = CompactImage::from(square);
        const CompactImage copy = first;
        QCOMPARE(copy.key(), first.key());
        QVERIFY(CompactImage::from(square).key() != first.key());
    }
};

QTEST_GUILESS_MAIN(CompactImageTest)
#include "CompactImageTest.moc"
