// The fused, table-driven colour pass against a plain floating-point
// evaluation of the same edit, written out here step by step from the
// filters' definitions.

#include "imaging/ImagingFixtures.h"

#include "imaging/edit/Edit.h"
#include "imaging/render/RenderContext.h"

#include <QColorSpace>
#include <QTest>

#include <array>
#include <cmath>

namespace {

using Rgb = std::array<double, 3>;

double lum(const Rgb& c) {
    const auto w = ColorMath::displayP3Luma();
    return w[0] * c[0] + w[1] * c[1] + w[2] * c[2];
}

Rgb saturate(const Rgb& c, double s) {
    const double y = lum(c);
    return {y + s * (c[0] - y), y + s * (c[1] - y), y + s * (c[2] - y)};
}

double sCurve(double e, double k) {
    const auto logistic = [](double t) { return 1 / (1 + std::exp(-t)); };
    e = std::clamp(e, 0.0, 1.0);
    return (logistic(k * (e - 0.5)) - logistic(-k / 2)) / (logistic(k / 2) - logistic(-k / 2));
}

// Applies f to each channel's encoded value.
template <typename F>
Rgb encoded(const Rgb& c, F f) {
    Rgb r;
    for (size_t i = 0; i < 3; ++i)
        r[i] = ColorMath::decode(f(ColorMath::encode(c[i]), i));
    return r;
}

Rgb look(Look look, Rgb c) {
    switch (look) {
    case Look::natural:
        return c;
    case Look::mono: {
        const double y = lum(c);
        return {y, y, y};
    }
    case Look::noir: {
        const double y = lum(c);
        return encoded({y, y, y}, [](double e, size_t) { return sCurve(e, 6); });
    }
    case Look::chrome:
        return encoded(saturate(c, 1.2), [](double e, size_t) { return sCurve(e, 3); });
    case Look::vivid: {
        const double mx = std::max({c[0], c[1], c[2]}), mn = std::min({c[0], c[1], c[2]});
        const double s = mx > 1e-6 ? std::clamp((mx - mn) / mx, 0.0, 1.0) : 0.0;
        c = saturate(c, 1 + 0.6 * (1 - s));
        return encoded(c, [](double e, size_t) { return (e - 0.5) * 1.08 + 0.5; });
    }
    case Look::fade:
        return encoded(saturate(c, 0.7), [](double e, size_t) { return 0.10 + 0.82 * e; });
    case Look::warm: {
        c = saturate(c, 0.85);
        c = {c[0] * 1.08, c[1], c[2] * 0.82};
        return encoded(c, [](double e, size_t) { return 0.04 + 0.93 * e; });
    }
    case Look::cool: {
        c = {c[0] * 0.90, c[1] * 1.02, c[2] * 1.12};
        return encoded(c, [](double e, size_t i) {
            const double clamped = std::clamp(e, 0.0, 1.0);
            return i == 0 ? sCurve(clamped, 4) : (i == 1 ? clamped : 0.06 + 0.94 * clamped);
        });
    }
    }
    return c;
}

Rgb reference(const Edit& edit, Rgb c) {
    c = look(edit.look, c);
    const Adjustments& a = edit.adjustments;
    const double gain = std::exp2(a.exposure);
    c = {c[0] * gain, c[1] * gain, c[2] * gain};
    c = saturate(c, a.saturation);
    c = encoded(c, [&](double e, size_t) { return (e - 0.5) * a.contrast + 0.5; });
    if (a.warmth != 0) {
        const Matrix3 m = ColorMath::adaptation(ColorMath::whiteOfTemperature(6500 + 2500 * a.warmth),
                                                ColorMath::whiteOfTemperature(6500));
        c = m * c;
    }
    return c;
}

} // namespace

class EditReferenceTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void fusedPassMatchesPlainEvaluation_data() {
        QTest::addColumn<int>("look");
        QTest::addColumn<Adjustments>("adjustments");
        const std::pair<const char*, Adjustments> sets[] = {
            {"moderate", {0.7, 1.3, 1.4, 0.6}}, {"low", {-2, 0.5, 0, -1}}, {"high", {2, 1.5, 2, 1}}};
        for (Look l : kLooks)
            for (const auto& [name, adjustments] : sets)
                QTest::addRow("%s %s", qPrintable(rawValue(l)), name) << int(l) << adjustments;
    }
    void fusedPassMatchesPlainEvaluation() {
        QFETCH(int, look);
        QFETCH(Adjustments, adjustments);
        static const QImage scene = [] {
            QImage s = SyntheticScene::landscape(QSize(480, 320)).convertToFormat(QImage::Format_RGBX8888);
            s.setColorSpace(QColorSpace(QColorSpace::DisplayP3));
            return s;
        }();
        const Edit edit{Look(look), adjustments, std::nullopt};
        static const RenderContext context(2);
        const auto rendered =
            context.render(edit.apply(Image::fromBitmap(scene)), QColorSpace(QColorSpace::DisplayP3));
        QVERIFY(rendered.has_value());
        QCOMPARE(rendered->size(), scene.size());
        int worst = 0;
        for (int y = 0; y < scene.height(); ++y) {
            const uchar* in = scene.constScanLine(y);
            const uchar* out = rendered->constScanLine(y);
            for (int x = 0; x < scene.width(); ++x) {
                const Rgb r = reference(edit, {fixtures::linear(in[x * 4]), fixtures::linear(in[x * 4 + 1]),
                                               fixtures::linear(in[x * 4 + 2])});
                for (int i = 0; i < 3; ++i)
                    worst = std::max(worst, std::abs(fixtures::level(r[size_t(i)]) - int(out[x * 4 + i])));
            }
        }
        QVERIFY2(worst <= 2, qPrintable(QStringLiteral("off by %1 levels").arg(worst)));
    }
};

QTEST_GUILESS_MAIN(EditReferenceTest)
#include "EditReferenceTest.moc"
