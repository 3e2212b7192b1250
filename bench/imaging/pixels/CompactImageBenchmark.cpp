#include "Ratio.h"

#include "imaging/pixels/CompactImage.h"
#include "imaging/pixels/ParallelRunner.h"

#include <QColorSpace>

#include <cstring>
#include <vector>

// The screen-image cache's conversions, on a 2560 x 1707 image with both
// cores, against copying its pixels once (what a cache of plain images costs).

namespace {

QImage screenImage() {
    QImage image(2560, 1707, QImage::Format_RGBX8888);
    for (int y = 0; y < image.height(); ++y) {
        uchar* row = image.scanLine(y);
        for (int x = 0; x < image.width(); ++x) {
            row[4 * x] = uchar(x * 255 / image.width());
            row[4 * x + 1] = uchar(y * 255 / image.height());
            row[4 * x + 2] = uchar((x ^ y) & 0xFF);
            row[4 * x + 3] = 255;
        }
    }
    image.setColorSpace(QColorSpace::DisplayP3);
    return image;
}

void copyPixels(const QImage& image, std::vector<uchar>& into) {
    std::memcpy(into.data(), image.constBits(), size_t(image.sizeInBytes()));
    benchmark::DoNotOptimize(into.data());
}

// Putting a screen image into the cache (after each decode).
void BM_CompactImageFrom(benchmark::State& state) {
    const ParallelRunner runner;
    PixelResources resources;
    resources.runner = &runner;
    const QImage image = screenImage();
    std::vector<uchar> copy(size_t(image.sizeInBytes()));
    measureAgainst(
        state, [&] { benchmark::DoNotOptimize(CompactImage::from(image, resources)); },
        [&] { copyPixels(image, copy); });
}

// Getting it back (each step to a cached photo).
void BM_CompactImageBack(benchmark::State& state) {
    const ParallelRunner runner;
    PixelResources resources;
    resources.runner = &runner;
    resources.pool = BufferPool::create(size_t(40) << 20);
    const QImage image = screenImage();
    const CompactImage compact = CompactImage::from(image, resources);
    std::vector<uchar> copy(size_t(image.sizeInBytes()));
    measureAgainst(
        state, [&] { benchmark::DoNotOptimize(compact.image(resources)); }, [&] { copyPixels(image, copy); });
}

} // namespace

BENCHMARK(BM_CompactImageFrom)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CompactImageBack)->Unit(benchmark::kMillisecond)->UseRealTime();
