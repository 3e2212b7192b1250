// Filters by name: how their parameters are read, neutral values, extents
// and bad input. What each filter does to colours is checked level by level
// in EditReferenceTest, through the looks and adjustments built on them.

#include "imaging/ImagingFixtures.h"

#include "imaging/render/Image.h"
#include "imaging/render/RenderContext.h"

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

// The swatches' colours after the named filter; none when it fails.
std::vector<QRgb> filter(const std::vector<QRgb>& colours, QStringView name,
                         const QVariantMap& parameters = {}) {
    static const RenderContext context(2);
    std::vector<QRgb> filtered;
    const auto output = Image::fromBitmap(swatches(colours)).applyingFilter(name, parameters);
    if (!output)
        return filtered;
    const auto bitmap = context.render(*output, QColorSpace(QColorSpace::DisplayP3));
    for (int i = 0; bitmap && i < int(colours.size()); ++i)
        filtered.push_back(bitmap->pixel(i * 4 + 1, 1));
    return filtered;
}

const std::vector<QRgb> kColours{qRgb(200, 60, 50),   qRgb(40, 150, 90),  qRgb(70, 80, 210),
                                 qRgb(140, 130, 120), qRgb(230, 200, 40), qRgb(20, 20, 30)};

} // namespace

class NamedFilterTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void neutralValuesChangeNothing() {
        const std::pair<const char16_t*, QVariantMap> neutral[] = {
            {u"CIExposureAdjust", {{u"inputEV"_s, 0.0}}},
            {u"CIColorControls", {{u"inputSaturation"_s, 1.0}, {u"inputContrast"_s, 1.0}}},
            {u"CIVibrance", {{u"inputAmount"_s, 0.0}}},
            {u"CITemperatureAndTint",
             {{u"inputNeutral"_s, QPointF(6500, 0)}, {u"inputTargetNeutral"_s, QPointF(6500, 0)}}}};
        for (const auto& [name, parameters] : neutral)
            QCOMPARE(filter(kColours, name, parameters), kColours);
    }

    // Which way warmth, vibrance and exposure move colours is checked in
    // EditReferenceTest; only the forms a vector parameter may take are here.
    void temperatureVectorsArePointsOrPairs() {
        const std::vector<QRgb> grey{qRgb(128, 128, 128)};
        const auto warm =
            filter(grey, u"CITemperatureAndTint",
                   {{u"inputNeutral"_s, QPointF(9000, 0)}, {u"inputTargetNeutral"_s, QPointF(6500, 0)}});
        QVERIFY(qRed(warm[0]) > qBlue(warm[0]) + 10);
        QCOMPARE(filter(grey, u"CITemperatureAndTint",
                        {{u"inputNeutral"_s, QVariantList{9000, 0}},
                         {u"inputTargetNeutral"_s, QVariantList{6500, 0}}}),
                 warm);
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

    void extentsUnknownFiltersAndBadParameters() {
        const Image image = Image::fromBitmap(swatches(kColours)).translated(3, -2);
        for (const char16_t* name :
             {u"CIPhotoEffectMono", u"CIPhotoEffectNoir", u"CIPhotoEffectChrome", u"CIPhotoEffectFade",
              u"CIPhotoEffectTransfer", u"CIPhotoEffectProcess", u"CIVibrance", u"CIColorControls",
              u"CIExposureAdjust", u"CITemperatureAndTint"}) {
            const auto filtered = image.applyingFilter(name);
            QVERIFY2(filtered && filtered->extent() == image.extent(), qPrintable(QString::fromUtf16(name)));
        }
        QVERIFY(!image.applyingFilter(u"CISepiaTone").has_value());
        QVERIFY(!image.applyingFilter(u"CIExposureAdjust", {{u"inputEV"_s, u"bright"_s}}).has_value());
        QVERIFY(!image.applyingFilter(u"CITemperatureAndTint", {{u"inputNeutral"_s, 6500}}).has_value());
        QVERIFY(!image.applyingFilter(u"CILanczosScaleTransform", {{u"inputScale"_s, -1}}).has_value());
    }
};

QTEST_GUILESS_MAIN(NamedFilterTest)
#include "NamedFilterTest.moc"
