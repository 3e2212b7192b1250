#include "ImagingFixtures.h"

#include "imaging/ColorMath.h"
#include "imaging/Image.h"
#include "imaging/RenderContext.h"

#include <QColorSpace>
#include <QPointF>
#include <QTest>

#include <vector>

using namespace Qt::StringLiterals;

namespace {

// A strip of Display P3 swatches, one colour per 4 x 4 block.
QImage swatches(const std::vector<QRgb>& colours) {
    QImage image(int(colours.size()) * 4, 4, QImage::Format_RGBX8888);
    for (int i = 0; i < int(colours.size()); ++i)
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 4; ++x)
                image.setPixel(i * 4 + x, y, colours[size_t(i)]);
    image.setColorSpace(QColorSpace(QColorSpace::DisplayP3));
    return image;
}

std::vector<QRgb> greys(int steps) {
    std::vector<QRgb> g;
    for (int i = 0; i < steps; ++i) {
        const int v = i * 255 / (steps - 1);
        g.push_back(qRgb(v, v, v));
    }
    return g;
}

struct Filtered {
    std::vector<QRgb> colours;
    ImageRect extent;
};

Filtered filter(const std::vector<QRgb>& colours, QStringView name, const QVariantMap& parameters = {}) {
    static const RenderContext context(2);
    const Image input = Image::fromBitmap(swatches(colours));
    const auto output = input.applyingFilter(name, parameters);
    if (!output)
        return {};
    const auto bitmap = context.render(*output, QColorSpace(QColorSpace::DisplayP3));
    if (!bitmap)
        return {};
    Filtered f{{}, output->extent()};
    for (int i = 0; i < int(colours.size()); ++i)
        f.colours.push_back(bitmap->pixel(i * 4 + 1, 1));
    return f;
}

double saturation(QRgb c) {
    const int mx = std::max({qRed(c), qGreen(c), qBlue(c)}), mn = std::min({qRed(c), qGreen(c), qBlue(c)});
    return mx == 0 ? 0 : double(mx - mn) / mx;
}

double spread(const std::vector<QRgb>& cs) {
    double mean = 0, sq = 0;
    for (QRgb c : cs)
        mean += qGreen(c);
    mean /= double(cs.size());
    for (QRgb c : cs)
        sq += (qGreen(c) - mean) * (qGreen(c) - mean);
    return std::sqrt(sq / double(cs.size()));
}

bool isGrey(QRgb c, int tolerance = 1) {
    return std::abs(qRed(c) - qGreen(c)) <= tolerance && std::abs(qBlue(c) - qGreen(c)) <= tolerance;
}

const std::vector<QRgb> kColours{qRgb(200, 60, 50),   qRgb(40, 150, 90),  qRgb(70, 80, 210),
                                 qRgb(140, 130, 120), qRgb(230, 200, 40), qRgb(20, 20, 30)};

} // namespace

class NamedFilterTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void exposureScalesLinearLight() {
        const auto g = greys(9);
        const Filtered up = filter(g, u"CIExposureAdjust", {{u"inputEV"_s, 1.0}});
        QCOMPARE(up.colours.size(), g.size());
        for (size_t i = 0; i < g.size(); ++i) {
            const double expected =
                std::clamp(ColorMath::encode(2 * ColorMath::decode(qGreen(g[i]) / 255.0)), 0.0, 1.0) * 255;
            QVERIFY(std::fabs(qGreen(up.colours[i]) - expected) <= 1);
        }
        const Filtered none = filter(g, u"CIExposureAdjust", {{u"inputEV"_s, 0.0}});
        QCOMPARE(none.colours, g);
    }

    void colorControls() {
        const Filtered grey = filter(kColours, u"CIColorControls", {{u"inputSaturation"_s, 0.0}});
        for (QRgb c : grey.colours)
            QVERIFY(isGrey(c));
        const Filtered same =
            filter(kColours, u"CIColorControls", {{u"inputSaturation"_s, 1.0}, {u"inputContrast"_s, 1.0}});
        QCOMPARE(same.colours, kColours);
        // Contrast scales encoded values about mid-grey.
        const auto g = greys(5);
        const Filtered contrast = filter(g, u"CIColorControls", {{u"inputContrast"_s, 1.5}});
        QVERIFY(qGreen(contrast.colours[1]) < qGreen(g[1]));
        QVERIFY(std::abs(qGreen(contrast.colours[2]) - qGreen(g[2])) <= 1);
        QVERIFY(qGreen(contrast.colours[3]) > qGreen(g[3]));
        QVERIFY(std::abs(qGreen(contrast.colours[1]) -
                         int(std::lround((qGreen(g[1]) / 255.0 - 0.5) * 1.5 * 255 + 127.5))) <= 1);
        const Filtered richer = filter(kColours, u"CIColorControls", {{u"inputSaturation"_s, 1.5}});
        for (size_t i = 0; i < kColours.size(); ++i)
            QVERIFY(saturation(richer.colours[i]) >= saturation(kColours[i]) - 0.01);
    }

    void vibranceFavoursWeakColours() {
        const std::vector<QRgb> colours{qRgb(140, 120, 110), qRgb(220, 40, 30), qRgb(128, 128, 128)};
        const Filtered v = filter(colours, u"CIVibrance", {{u"inputAmount"_s, 0.8}});
        const double weakGain = saturation(v.colours[0]) - saturation(colours[0]);
        const double strongGain = saturation(v.colours[1]) - saturation(colours[1]);
        QVERIFY2(weakGain > 0.05, qPrintable(QString::number(weakGain)));
        QVERIFY(weakGain > 2 * strongGain);
        QVERIFY(isGrey(v.colours[2]));
        QCOMPARE(filter(colours, u"CIVibrance", {{u"inputAmount"_s, 0.0}}).colours, colours);
    }

    void temperatureAndTint() {
        const std::vector<QRgb> grey{qRgb(128, 128, 128)};
        const auto warm =
            filter(grey, u"CITemperatureAndTint",
                   {{u"inputNeutral"_s, QPointF(9000, 0)}, {u"inputTargetNeutral"_s, QPointF(6500, 0)}});
        QVERIFY(qRed(warm.colours[0]) > qBlue(warm.colours[0]) + 10);
        const auto cool =
            filter(grey, u"CITemperatureAndTint",
                   {{u"inputNeutral"_s, QPointF(4000, 0)}, {u"inputTargetNeutral"_s, QPointF(6500, 0)}});
        QVERIFY(qBlue(cool.colours[0]) > qRed(cool.colours[0]) + 10);
        const auto same =
            filter(kColours, u"CITemperatureAndTint",
                   {{u"inputNeutral"_s, QPointF(6500, 0)}, {u"inputTargetNeutral"_s, QPointF(6500, 0)}});
        QCOMPARE(same.colours, kColours);
        // Vectors may also come as lists of two numbers.
        const auto listed = filter(
            grey, u"CITemperatureAndTint",
            {{u"inputNeutral"_s, QVariantList{9000, 0}}, {u"inputTargetNeutral"_s, QVariantList{6500, 0}}});
        QCOMPARE(listed.colours, warm.colours);
    }

    void photoEffects() {
        const auto ramp = greys(12);
        const Filtered mono = filter(kColours, u"CIPhotoEffectMono");
        const Filtered noir = filter(kColours, u"CIPhotoEffectNoir");
        for (size_t i = 0; i < kColours.size(); ++i) {
            QVERIFY(isGrey(mono.colours[i]));
            QVERIFY(isGrey(noir.colours[i]));
        }
        const Filtered monoRamp = filter(ramp, u"CIPhotoEffectMono");
        const Filtered noirRamp = filter(ramp, u"CIPhotoEffectNoir");
        for (size_t i = 1; i < ramp.size(); ++i) {
            QVERIFY(qGreen(monoRamp.colours[i]) > qGreen(monoRamp.colours[i - 1]));
            QVERIFY(qGreen(noirRamp.colours[i]) >= qGreen(noirRamp.colours[i - 1]));
        }
        QVERIFY(spread(noirRamp.colours) > spread(monoRamp.colours) + 5);

        const Filtered chrome = filter(kColours, u"CIPhotoEffectChrome");
        for (size_t i = 0; i < 3; ++i)
            QVERIFY(saturation(chrome.colours[i]) > saturation(kColours[i]));

        const std::vector<QRgb> black{qRgb(0, 0, 0)};
        QVERIFY(qGreen(filter(black, u"CIPhotoEffectFade").colours[0]) > 15);

        for (QRgb g : {qRgb(60, 60, 60), qRgb(128, 128, 128), qRgb(200, 200, 200)}) {
            const QRgb warm = filter({g}, u"CIPhotoEffectTransfer").colours[0];
            const QRgb cool = filter({g}, u"CIPhotoEffectProcess").colours[0];
            QVERIFY(qRed(warm) > qBlue(warm) + 5);
            QVERIFY(qBlue(cool) > qRed(cool) + 5);
        }
    }

    void filtersKeepTheExtent_data() {
        QTest::addColumn<QString>("name");
        for (const char* n : {"CIPhotoEffectMono", "CIPhotoEffectNoir", "CIPhotoEffectChrome",
                              "CIPhotoEffectFade", "CIPhotoEffectTransfer", "CIPhotoEffectProcess",
                              "CIVibrance", "CIColorControls", "CIExposureAdjust", "CITemperatureAndTint"})
            QTest::newRow(n) << QString::fromLatin1(n);
    }
    void filtersKeepTheExtent() {
        QFETCH(QString, name);
        const Image image = Image::fromBitmap(swatches(kColours)).translated(3, -2);
        const auto filtered = image.applyingFilter(name);
        QVERIFY(filtered.has_value());
        QCOMPARE(filtered->extent(), image.extent());
    }

    void lanczosScale() {
        QImage flat(90, 60, QImage::Format_RGBX8888);
        flat.fill(QColor(90, 140, 200));
        flat.setColorSpace(QColorSpace(QColorSpace::DisplayP3));
        const Image image = Image::fromBitmap(flat);
        const auto scaled = image.applyingFilter(u"CILanczosScaleTransform",
                                                 {{u"inputScale"_s, 0.5}, {u"inputAspectRatio"_s, 1.0}});
        QVERIFY(scaled.has_value());
        QCOMPARE(scaled->extent(), (ImageRect{0, 0, 45, 30}));
        const RenderContext context(2);
        const auto bitmap = context.render(*scaled, QColorSpace(QColorSpace::DisplayP3));
        QVERIFY(bitmap.has_value());
        QCOMPARE(bitmap->size(), QSize(45, 30));
        for (QPoint p : {QPoint(0, 0), QPoint(44, 29), QPoint(20, 15)})
            QCOMPARE(bitmap->pixel(p), qRgb(90, 140, 200));
        const auto wide = image.applyingFilter(u"CILanczosScaleTransform",
                                               {{u"inputScale"_s, 0.5}, {u"inputAspectRatio"_s, 2.0}});
        QCOMPARE(wide->extent(), (ImageRect{0, 0, 90, 30}));
    }

    void unknownFiltersAndBadParameters() {
        const Image image = Image::fromBitmap(swatches(kColours));
        QVERIFY(!image.applyingFilter(u"CISepiaTone").has_value());
        QVERIFY(!image.applyingFilter(u"CIPhotoEffectSepia").has_value());
        QVERIFY(!image.applyingFilter(u"CIExposureAdjust", {{u"inputEV"_s, u"bright"_s}}).has_value());
        QVERIFY(!image.applyingFilter(u"CITemperatureAndTint", {{u"inputNeutral"_s, 6500}}).has_value());
        QVERIFY(!image.applyingFilter(u"CILanczosScaleTransform", {{u"inputScale"_s, -1}}).has_value());
    }
};

QTEST_GUILESS_MAIN(NamedFilterTest)
#include "NamedFilterTest.moc"
