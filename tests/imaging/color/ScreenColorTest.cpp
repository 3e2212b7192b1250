// The stage's conversion of Display P3 bitmaps for the screen: colours,
// layouts, pooled screen-size results that stay intact, and several threads
// converting at once.

#include "imaging/ImagingFixtures.h"

#include "imaging/color/ScreenColor.h"

#include <QColorSpace>
#include <QTest>

#include <lcms2.h>

#include <array>
#include <cmath>
#include <thread>
#include <vector>

namespace {

QImage displayP3(QImage image) {
    image.setColorSpace(QColorSpace(QColorSpace::DisplayP3));
    return image;
}

QImage scene(QSize size, quint32 seed) {
    SyntheticScene::Options options;
    options.seed = seed;
    return displayP3(SyntheticScene::landscape(size, options).convertToFormat(QImage::Format_RGBX8888));
}

// An RGB profile whose channels have different gammas: a matrix-shaper that
// the kernels cannot encode with one curve, so lcms2 does the conversion.
QColorSpace unevenGammaSpace() {
    const cmsCIExyY white{0.3127, 0.3290, 1};
    const cmsCIExyYTRIPLE primaries{{0.64, 0.33, 1}, {0.30, 0.60, 1}, {0.15, 0.06, 1}};
    cmsToneCurve* curves[3] = {cmsBuildGamma(nullptr, 2.2), cmsBuildGamma(nullptr, 2.0),
                               cmsBuildGamma(nullptr, 1.8)};
    cmsHPROFILE profile = cmsCreateRGBProfile(&white, &primaries, curves);
    for (cmsToneCurve* c : curves)
        cmsFreeToneCurve(c);
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(profile, nullptr, &size);
    QByteArray bytes(qsizetype(size), Qt::Uninitialized);
    cmsSaveProfileToMem(profile, bytes.data(), &size);
    cmsCloseProfile(profile);
    return QColorSpace::fromIccProfile(bytes);
}

} // namespace

class ScreenColorTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void convertsKnownColoursForAnSrgbScreen() {
        const QRgb colours[] = {0xff0000, 0x00ff00, 0x0000ff, 0x808080, 0xffffff, 0x000000, 0xc87828};
        QImage bitmap(std::size(colours), 1, QImage::Format_RGBX8888);
        for (int x = 0; x < bitmap.width(); ++x)
            bitmap.setPixel(x, 0, colours[x] | 0xff000000);
        const QImage shown = ScreenColor().convert(displayP3(bitmap));
        QCOMPARE(shown.format(), QImage::Format_RGB32);
        QCOMPARE(shown.colorSpace(), QColorSpace(QColorSpace::SRgb));
        // Display P3 red lies outside sRGB: the expected value is clipped too.
        for (int x = 0; x < shown.width(); ++x) {
            const double d = fixtures::distance(fixtures::mean(shown, QRect(x, 0, 1, 1)),
                                                fixtures::convert(ColorMath::displayP3ToSrgb(), colours[x]));
            QVERIFY2(d <= 1,
                     qPrintable(QStringLiteral("colour %1: %2").arg(x).arg(shown.pixel(x, 0), 0, 16)));
        }
    }

    void transparentBitmapsArePremultiplied() {
        QImage bitmap(2, 1, QImage::Format_RGBA8888);
        bitmap.setPixelColor(0, 0, QColor(255, 255, 255, 128));
        bitmap.setPixelColor(1, 0, QColor(10, 200, 90, 0));
        const QImage shown = ScreenColor().convert(displayP3(bitmap));
        QCOMPARE(shown.format(), QImage::Format_ARGB32_Premultiplied);
        const QRgb half = shown.pixel(0, 0);
        QCOMPARE(qAlpha(half), 128);
        QVERIFY(std::abs(qRed(half) - 128) <= 1 && std::abs(qGreen(half) - 128) <= 1);
        QCOMPARE(shown.pixel(1, 0), 0u);
    }

    void profilesBeyondOneCurveGoThroughLcms() {
        const QColorSpace uneven = unevenGammaSpace();
        QVERIFY(uneven.isValid());
        // Grey keeps its linear level everywhere; the gammas then spread the
        // channels, red (2.2) brightest and blue (1.8) darkest.
        QImage grey(4, 2, QImage::Format_RGBX8888);
        grey.fill(QColor(128, 128, 128));
        const QImage shown = ScreenColor(uneven).convert(displayP3(grey));
        QCOMPARE(shown.format(), QImage::Format_RGB32);
        const QRgb p = shown.pixel(3, 1);
        const int channels[3] = {qRed(p), qGreen(p), qBlue(p)};
        const double gammas[3] = {2.2, 2.0, 1.8};
        for (int c = 0; c < 3; ++c)
            QVERIFY2(std::abs(channels[c] -
                              std::lround(255 * std::pow(fixtures::linear(128), 1 / gammas[c]))) <= 2,
                     qPrintable(QString::number(channels[c])));

        // And back: a bitmap in that space shows as plain grey on an sRGB screen.
        QImage tagged(4, 2, QImage::Format_ARGB32);
        tagged.fill(p);
        tagged.setColorSpace(uneven);
        const auto back = fixtures::mean(ScreenColor().convert(tagged), QRect(1, 1, 1, 1));
        QVERIFY2(fixtures::distance(back, std::array{128, 128, 128}) <= 2,
                 qPrintable(QStringLiteral("%1 %2 %3").arg(back[0]).arg(back[1]).arg(back[2])));
    }

    void screenSizeResultsReuseMemoryAndStayIntact() {
        const QImage a = scene(QSize(2560, 1600), 1);
        const QImage b = scene(QSize(2560, 1600), 2);
        QImage firstA, keptB, secondA;
        const uchar* memory = nullptr;
        {
            const ScreenColor screen;
            firstA = screen.convert(a);
            memory = firstA.constBits();
            firstA = {};
            // The block of the dropped result serves the next one.
            keptB = screen.convert(b);
            QCOMPARE(keptB.constBits(), memory);
            QCOMPARE(keptB.bytesPerLine(), qsizetype(b.width()) * 4);
            // A result still held is never handed out again.
            secondA = screen.convert(a);
            QVERIFY(secondA.constBits() != keptB.constBits());
            firstA = screen.convert(a);
        }
        // The results outlive the converter and its pool, each with its own pixels.
        QCOMPARE(fixtures::difference(firstA, secondA).worst, 0);
        const QImage reference = ScreenColor().convert(b);
        QCOMPARE(fixtures::difference(keptB, reference).worst, 0);
        QVERIFY(fixtures::difference(keptB, secondA).worst > 10);
    }

    void severalThreadsConvertAtOnce() {
        // One converter shared by threads that convert different bitmaps,
        // some tagged with profiles the converter has not met yet.
        const ScreenColor screen;
        std::vector<QImage> inputs, expected;
        for (quint32 i = 0; i < 4; ++i) {
            QImage image = scene(QSize(900 + 40 * int(i), 600), i + 1);
            if (i % 2)
                image.setColorSpace(i == 1 ? QColorSpace(QColorSpace::AdobeRgb) : unevenGammaSpace());
            inputs.push_back(image);
            expected.push_back(ScreenColor().convert(image));
        }

        std::vector<int> worst(inputs.size(), 0);
        std::vector<std::thread> threads;
        for (size_t t = 0; t < inputs.size(); ++t) {
            threads.emplace_back([&, t] {
                for (int round = 0; round < 6; ++round)
                    worst[t] = std::max(worst[t],
                                        fixtures::difference(screen.convert(inputs[t]), expected[t]).worst);
            });
        }
        for (std::thread& thread : threads)
            thread.join();
        for (size_t t = 0; t < worst.size(); ++t)
            QVERIFY2(worst[t] == 0, qPrintable(QStringLiteral("thread %1 off by %2").arg(t).arg(worst[t])));
    }
};

QTEST_GUILESS_MAIN(ScreenColorTest)
#include "ScreenColorTest.moc"
