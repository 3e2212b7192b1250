// The fixed-point, vectorised Lanczos-3 resampler against a plain
// double-precision one, shrinking and enlarging, whole images and row by row.

#include "imaging/pixels/LanczosResampler.h"
#include "imaging/pixels/ParallelRunner.h"

#include <QRandomGenerator>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

namespace {

double lanczos3(double x) {
    x = std::fabs(x);
    if (x < 1e-9)
        return 1;
    if (x >= 3)
        return 0;
    const double px = std::numbers::pi * x;
    return 3 * std::sin(px) * std::sin(px / 3) / (px * px);
}

// One axis by the book: output centre i sits at input (i + 0.5) / scale, and
// when shrinking the kernel widens by 1 / scale.
std::vector<std::vector<double>> weights(int in, int out) {
    const double scale = double(out) / in;
    const double widen = std::min(scale, 1.0);
    std::vector<std::vector<double>> w(static_cast<size_t>(out),
                                       std::vector<double>(static_cast<size_t>(in)));
    for (int i = 0; i < out; ++i) {
        const double centre = (i + 0.5) / scale;
        double total = 0;
        for (int k = 0; k < in; ++k)
            total += w[size_t(i)][size_t(k)] = lanczos3((k + 0.5 - centre) * widen);
        for (double& v : w[size_t(i)])
            v /= total;
    }
    return w;
}

// Down the columns first, rounded to 8 bits, then across, as the resampler does.
std::vector<uint8_t> reference(const std::vector<uint8_t>& input, int inW, int inH, int outW, int outH) {
    const auto wy = weights(inH, outH), wx = weights(inW, outW);
    const auto level = [](double v) { return uint8_t(std::clamp(std::lround(v), 0L, 255L)); };
    std::vector<uint8_t> columns(size_t(inW) * 4 * size_t(outH)), out(size_t(outW) * 4 * size_t(outH));
    for (int y = 0; y < outH; ++y)
        for (int x = 0; x < inW * 4; ++x) {
            double s = 0;
            for (int k = 0; k < inH; ++k)
                s += wy[size_t(y)][size_t(k)] * input[size_t(k) * size_t(inW) * 4 + size_t(x)];
            columns[size_t(y) * size_t(inW) * 4 + size_t(x)] = level(s);
        }
    for (int y = 0; y < outH; ++y)
        for (int x = 0; x < outW; ++x)
            for (int c = 0; c < 4; ++c) {
                double s = 0;
                for (int k = 0; k < inW; ++k)
                    s += wx[size_t(x)][size_t(k)] *
                         columns[(size_t(y) * size_t(inW) + size_t(k)) * 4 + size_t(c)];
                out[(size_t(y) * size_t(outW) + size_t(x)) * 4 + size_t(c)] = level(s);
            }
    return out;
}

} // namespace

class LanczosResamplerTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void matchesThePlainFilter_data() {
        QTest::addColumn<QSize>("in");
        QTest::addColumn<QSize>("out");
        QTest::newRow("shrink by 0.6") << QSize(101, 67) << QSize(61, 40);
        QTest::newRow("shrink a lot") << QSize(97, 64) << QSize(13, 9);
        QTest::newRow("slight shrink") << QSize(66, 40) << QSize(64, 39);
        QTest::newRow("enlarge") << QSize(23, 17) << QSize(53, 38);
        QTest::newRow("across only") << QSize(90, 20) << QSize(37, 20);
        QTest::newRow("one column out") << QSize(40, 30) << QSize(1, 12);
    }
    void matchesThePlainFilter() {
        QFETCH(QSize, in);
        QFETCH(QSize, out);
        QRandomGenerator random(11);
        std::vector<uint8_t> input(size_t(in.width()) * 4 * size_t(in.height()));
        // Smooth areas, edges and noise, in every channel.
        for (int y = 0; y < in.height(); ++y)
            for (int x = 0; x < in.width(); ++x)
                for (int c = 0; c < 4; ++c)
                    input[(size_t(y) * size_t(in.width()) + size_t(x)) * 4 + size_t(c)] = uint8_t(
                        (x * 5 + y * 3 * c) % 256 / 2 + ((x / 7 + y / 5 + c) % 2) * 90 + random.bounded(30));
        const auto expected = reference(input, in.width(), in.height(), out.width(), out.height());

        const LanczosResampler resampler(in.width(), in.height(), out.width(), out.height());
        const ParallelRunner runner(2);
        std::vector<uint8_t> whole(expected.size()), rows(expected.size());
        resampler.resample(input.data(), in.width() * 4, whole.data(), out.width() * 4, &runner);
        // Row by row, in an odd order, as a decoder feeds it.
        const auto row = [&](int y) {
            resampler.resampleRows(input.data(), in.width() * 4,
                                   rows.data() + size_t(y) * size_t(out.width()) * 4, out.width() * 4, y,
                                   y + 1);
        };
        for (int y = out.height() - 1; y >= 0; --y)
            if (y % 2)
                row(y);
        for (int y = 0; y < out.height(); y += 2)
            row(y);
        QCOMPARE(rows, whole);
        int worst = 0;
        for (size_t i = 0; i < expected.size(); ++i)
            worst = std::max(worst, std::abs(int(whole[i]) - int(expected[i])));
        QVERIFY2(worst <= 1, qPrintable(QStringLiteral("off by %1").arg(worst)));

        // Flat grey stays exactly flat.
        const std::vector<uint8_t> grey(input.size(), 173);
        resampler.resample(grey.data(), in.width() * 4, whole.data(), out.width() * 4, nullptr);
        QVERIFY(std::all_of(whole.begin(), whole.end(), [](uint8_t v) { return v == 173; }));
    }
};

QTEST_GUILESS_MAIN(LanczosResamplerTest)
#include "LanczosResamplerTest.moc"
