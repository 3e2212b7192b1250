#include "imaging/edit/CropAspect.h"
#include "imaging/edit/CropGeometry.h"
#include "imaging/edit/Edit.h"
#include "imaging/edit/Look.h"
#include "imaging/render/RenderContext.h"

#include <QColorSpace>
#include <QTest>

namespace {

constexpr double kTolerance = 1e-12;

bool near(const UnitRect& a, const UnitRect& b) {
    return std::fabs(a.x - b.x) < kTolerance && std::fabs(a.y - b.y) < kTolerance &&
           std::fabs(a.width - b.width) < kTolerance && std::fabs(a.height - b.height) < kTolerance;
}

QString describe(const UnitRect& r) {
    return QStringLiteral("(%1, %2, %3, %4)").arg(r.x).arg(r.y).arg(r.width).arg(r.height);
}

// An image of the given extent whose pixels are never needed.
Image extentOnly(int width, int height) {
    return Image::fromRaw(QStringLiteral("/nonexistent.dng"), QSize(width, height), 1);
}

// Each pixel a different colour, tagged Display P3 so rendering is exact.
QImage numbered(int width, int height) {
    QImage image(width, height, QImage::Format_RGBX8888);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, qRgb(x * 4, y * 4, (x + y) % 256));
    image.setColorSpace(QColorSpace(QColorSpace::DisplayP3));
    return image;
}

} // namespace

class EditModelTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void storedNames() {
        for (Look look : kLooks)
            QCOMPARE(lookFromRawValue(rawValue(look)), std::optional(look));
        QCOMPARE(lookFromRawValue(u"vivid"), std::optional(Look::vivid));
        QCOMPARE(lookFromRawValue(u"Vivid"), std::optional<Look>());
        QCOMPARE(lookFromRawValue(u"sepia"), std::optional<Look>());
        QCOMPARE(cropAspectFromRawValue(u"landscape3x2"), std::optional(CropAspect::landscape3x2));
    }

    void unchangedEditsReturnTheVeryImage() {
        const Image image = Image::fromBitmap(numbered(8, 8));
        Edit edit;
        QVERIFY(edit.isUnchanged());
        QVERIFY(edit.apply(image).isSameAs(image));
        QVERIFY(apply(Look::natural, image).isSameAs(image));
        edit.adjustments.contrast = 1.2;
        QVERIFY(!edit.isUnchanged());
        QVERIFY(!edit.apply(image).isSameAs(image));
        edit.adjustments.contrast = 1.0;
        QVERIFY(edit.isUnchanged());
        edit.crop = UnitRect::whole();
        QVERIFY(!edit.isUnchanged()); // a crop of the whole picture is still a crop
        edit.crop.reset();
        edit.look = Look::mono;
        QVERIFY(!edit.isUnchanged());
    }

    void neutralStepsAreSkipped() {
        const Image image = extentOnly(60, 40);
        // Only saturation: one colour step (its values are checked in EditReferenceTest).
        Edit edit;
        edit.adjustments.saturation = 1.4;
        const Image result = edit.apply(image);
        QCOMPARE(result.node()->kind, Image::Node::Kind::color);
        QVERIFY(result.node()->input.get() == image.node());

        // Every colour step: look, exposure, controls, warmth, in this order.
        Edit all;
        all.look = Look::chrome;
        all.adjustments = {0.5, 1.2, 0.8, 0.3};
        int filters = 0;
        const Image edited = all.apply(image);
        for (const Image::Node* n = edited.node(); n != image.node(); n = n->input.get()) {
            QCOMPARE(n->kind, Image::Node::Kind::color);
            ++filters;
        }
        QCOMPARE(filters, 4);
    }

    void cropPixels_data() {
        QTest::addColumn<UnitRect>("crop");
        QTest::addColumn<QRect>("pixels"); // top-down, in the bitmap
        QTest::newRow("top half, middle") << UnitRect{0.25, 0, 0.5, 0.5} << QRect(15, 0, 30, 20);
        QTest::newRow("exact") << UnitRect{0.15, 0.15, 0.3, 0.3} << QRect(9, 6, 18, 12);
        QTest::newRow("rounded outwards") << UnitRect{0.11, 0.13, 0.3, 0.3} << QRect(6, 5, 19, 13);
        QTest::newRow("bottom right corner") << UnitRect{0.9, 0.95, 0.1, 0.05} << QRect(54, 38, 6, 2);
        QTest::newRow("whole") << UnitRect::whole() << QRect(0, 0, 60, 40);
    }
    void cropPixels() {
        QFETCH(UnitRect, crop);
        QFETCH(QRect, pixels);
        const QImage bitmap = numbered(60, 40);
        Edit edit;
        edit.crop = crop;
        const Image result = edit.apply(Image::fromBitmap(bitmap));
        QCOMPARE(result.extent(), (ImageRect{0, 0, double(pixels.width()), double(pixels.height())}));
        const RenderContext context(2);
        const auto rendered = context.render(result, QColorSpace(QColorSpace::DisplayP3));
        QVERIFY(rendered.has_value());
        const QImage expected = bitmap.copy(pixels);
        QCOMPARE(*rendered, expected);
        // Rows exactly the width apart, as in Qt's own images: Qt 6.4's
        // conversions write whole source rows, past the end of a result
        // made from a crop of wider rows.
        QCOMPARE(rendered->bytesPerLine(), qsizetype(pixels.width()) * 4);
        const QImage converted = rendered->convertToFormat(QImage::Format_RGBA8888);
        QCOMPARE(converted.pixel(pixels.width() - 1, pixels.height() - 1),
                 expected.pixel(pixels.width() - 1, pixels.height() - 1));
    }

    // Dragging the bottom right corner out to the photo's edge: EditPanelTest.
    void cropCornerDrags() {
        using C = CropGeometry::Corner;
        const struct {
            const char* name;
            UnitRect rect;
            C corner;
            double dx, dy;
            std::optional<double> ratio; // none: free
            UnitRect expected;
        } cases[] = {
            {"past the anchor", {0.1, 0.1, 0.5, 0.5}, C::bottomRight, -1, -1, {}, {0.1, 0.1, 0.04, 0.04}},
            {"top left, ratio 1", {0.2, 0.2, 0.6, 0.6}, C::topLeft, 0.1, 0, 1.0, {0.3, 0.3, 0.5, 0.5}},
            {"top right within", {0.2, 0.2, 0.4, 0.4}, C::topRight, 0.1, -0.1, {}, {0.2, 0.1, 0.5, 0.5}},
            {"to the left edge", {0.2, 0.2, 0.4, 0.4}, C::bottomLeft, -0.5, 0.1, {}, {0.0, 0.2, 0.6, 0.5}},
            // The anchor is nearer the edge than the minimum size.
            {"anchor near edge", {0.0, 0.0, 0.02, 0.5}, C::bottomLeft, 0.5, 0, {}, {0.0, 0.0, 0.02, 0.5}},
            {"ratio shrinks", {0.1, 0.1, 0.4, 0.2}, C::bottomRight, 0, 0, 1.0, {0.1, 0.1, 0.2, 0.2}},
        };
        for (const auto& c : cases) {
            const UnitRect result = CropGeometry::resized(c.rect, c.corner, c.dx, c.dy, c.ratio);
            QVERIFY2(near(result, c.expected), qPrintable(QLatin1String(c.name) + u": " + describe(result)));
        }
    }
};

QTEST_GUILESS_MAIN(EditModelTest)
#include "EditModelTest.moc"
