#include "imaging/ImagingFixtures.h"

#include "imaging/color/ColorChain.h"
#include "imaging/color/ColorKernel.h"
#include "imaging/color/ColorMath.h"
#include "imaging/pixels/ParallelRunner.h"

#include <QTest>

#include <cmath>
#include <vector>

namespace {

std::vector<uint8_t> run(const ColorKernel::Plan& plan, const std::vector<uint8_t>& input, int width,
                         int height, const ParallelRunner* runner = nullptr) {
    std::vector<uint8_t> out(input.size());
    ColorKernel::apply(plan, {input.data(), 4, width * 4, ColorKernel::Format::rgba8},
                       {out.data(), 4, width * 4, ColorKernel::Format::rgba8}, width, height, runner);
    return out;
}

} // namespace

class ColorKernelTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void srgbPrimariesLandInsideDisplayP3() {
        // Known conversions: sRGB red, green and blue, grey and white in Display P3.
        const std::vector<uint8_t> input{255, 0,   0,   255, 0,   255, 0,   255, 0,   0,
                                         255, 255, 128, 128, 128, 255, 255, 255, 255, 255};
        ColorChain chain;
        chain.appendAffine(ColorChain::Domain::linear, ColorMath::srgbToDisplayP3());
        ColorKernel::Plan plan{nullptr, chain.steps(), nullptr, true};
        const std::vector<uint8_t> out = run(plan, input, 5, 1);
        const int expected[5][3] = {
            {234, 51, 35}, {117, 251, 76}, {0, 0, 245}, {128, 128, 128}, {255, 255, 255}};
        for (int i = 0; i < 15; ++i) {
            const int p = i / 3, c = i % 3, got = out[size_t(p * 4 + c)];
            QVERIFY2(std::abs(got - expected[p][c]) <= 1,
                     qPrintable(QStringLiteral("pixel %1 channel %2: %3").arg(p).arg(c).arg(got)));
        }
    }

    void curvesMatchExactEvaluation_data() {
        QTest::addColumn<bool>("look");
        QTest::addColumn<int>("spacing"); // between the levels tried in each channel
        QTest::addColumn<int>("width");
        // Fewer pixels than a whole image (37^3): the curves run as they are.
        QTest::newRow("contrast between encode and decode, few pixels") << false << 7 << 37 * 37;
        // A whole image's worth: runs of per-channel curves go through a table of the run.
        QTest::newRow("contrast between encode and decode, whole image") << false << 4 << 1024;
        QTest::newRow("a look's tone curve, exposure and contrast, whole image") << true << 4 << 1024;
    }
    void curvesMatchExactEvaluation() {
        // Chains that cross between linear and encoded values several times,
        // through values well outside [0, 1], against exact evaluation.
        QFETCH(bool, look);
        QFETCH(int, spacing);
        QFETCH(int, width);
        ColorChain chain;
        if (!look) {
            chain.appendAffine(ColorChain::Domain::linear, Matrix3::diagonal(3.7, 0.2, 1.4),
                               {0.01, -0.02, 0});
            chain.appendAffine(ColorChain::Domain::encoded, Matrix3::diagonal(1.3, 0.7, -0.5),
                               {-0.1, 0.2, 0.6});
            chain.appendAffine(ColorChain::Domain::linear, Matrix3::diagonal(0.5, 2, 1));
        } else {
            const Matrix3 saturate{{1.6, -0.4, -0.2, -0.3, 1.5, -0.2, -0.1, -0.6, 1.7}};
            chain.appendAffine(ColorChain::Domain::linear, saturate);
            chain.appendCurve(ColorChain::Domain::encoded, [](double e) { return e * e * (3 - 2 * e); });
            chain.appendAffine(ColorChain::Domain::linear, Matrix3::diagonal(3.5, 3.5, 3.5) * saturate);
            chain.appendAffine(ColorChain::Domain::encoded, Matrix3::diagonal(1.5, 1.5, 1.5),
                               {-0.25, -0.25, -0.25});
            chain.appendAffine(ColorChain::Domain::linear, Matrix3::diagonal(1.1, 1.0, 0.8));
        }
        std::vector<uint8_t> input;
        for (int r = 0; r < 256; r += spacing)
            for (int g = 0; g < 256; g += spacing)
                for (int b = 0; b < 256; b += spacing)
                    input.insert(input.end(), {uint8_t(r), uint8_t(g), uint8_t(b), 255});
        const int n = int(input.size() / 4);
        QCOMPARE(n % width, 0);
        ParallelRunner runner(2);
        const std::vector<uint8_t> out =
            run({nullptr, chain.steps(), nullptr, true}, input, width, n / width, &runner);
        int worst = 0;
        for (int i = 0; i < n; ++i) {
            const uint8_t* in = &input[size_t(i * 4)];
            const auto v = chain.evaluate({float(fixtures::linear(in[0])), float(fixtures::linear(in[1])),
                                           float(fixtures::linear(in[2]))});
            for (int c = 0; c < 3; ++c) {
                const double e = ColorMath::encode(std::clamp<double>(v[size_t(c)], 0, 1)) * 255;
                worst = std::max(worst, int(std::lround(std::fabs(e - out[size_t(i * 4 + c)]))));
            }
        }
        QVERIFY2(worst <= 1, qPrintable(QString::number(worst)));
    }

    void identityPlanCopiesThroughSteps() {
        // Every level of every channel, alpha too.
        std::vector<uint8_t> levels;
        for (int i = 0; i < 256; ++i)
            levels.insert(levels.end(),
                          {uint8_t(i), uint8_t(255 - i), uint8_t((i * 7) & 255), uint8_t(i / 2)});
        ColorKernel::Plan plan;
        plan.opaque = false;
        QVERIFY(ColorKernel::isIdentity(plan));
        QCOMPARE(run(plan, levels, 256, 1), levels);

        // A 3 x 2 image read column by column (a transpose) into BGRA.
        const std::vector<uint8_t> input{1,  2,  3,  255, 4,  5,  6,  255, 7,  8,  9,  255,
                                         10, 11, 12, 255, 13, 14, 15, 255, 16, 17, 18, 255};
        std::vector<uint8_t> out(24);
        ColorKernel::apply(ColorKernel::Plan{}, {input.data(), 12, 4, ColorKernel::Format::rgba8},
                           {out.data(), 4, 8, ColorKernel::Format::bgra8}, 2, 3, nullptr);
        const std::vector<uint8_t> expected{3,  2,  1,  255, 12, 11, 10, 255, 6,  5,  4,  255,
                                            15, 14, 13, 255, 9,  8,  7,  255, 18, 17, 16, 255};
        QCOMPARE(out, expected);
    }
};

QTEST_GUILESS_MAIN(ColorKernelTest)
#include "ColorKernelTest.moc"
