#include "BenchInputs.h"
#include "Ratio.h"

#include "imaging/edit/Edit.h"
#include "imaging/render/RenderContext.h"

#include <QColorSpace>

#include <cstring>
#include <vector>

// The edit re-rendered while a slider moves, against the bare copy of its
// pixels. The rendering context takes its buffers from its pool, so from the
// second iteration on this is the warm, steady state of a moving slider.

namespace {

const RenderContext& context() {
    static const RenderContext c;
    return c;
}

// A buffer of `bytes`, touched once so that timing sees no page faults.
unsigned char* touchedBuffer(std::vector<unsigned char>& buffer, size_t bytes) {
    if (buffer.size() < bytes)
        buffer.assign(bytes, 0);
    return buffer.data();
}

// An edit that touches every colour step, rendered from the screen-size
// bitmap as a slider moves, against a memcpy of that bitmap.
void BM_EditApply2560(benchmark::State& state) {
    static const QImage bitmap = [] {
        const QSize size = smokeRun() ? QSize(256, 171) : QSize(2560, 1707);
        QImage b = BenchInputs::scene(size).convertToFormat(QImage::Format_RGBX8888);
        b.setColorSpace(QColorSpace(QColorSpace::DisplayP3));
        return b;
    }();
    const Edit edit{Look::chrome, Adjustments{0.4, 1.15, 1.2, 0.35}, std::nullopt};
    const Image image = Image::fromBitmap(bitmap);
    const QColorSpace p3(QColorSpace::DisplayP3);
    static std::vector<unsigned char> copy;
    const size_t bytes = size_t(bitmap.sizeInBytes());
    unsigned char* target = touchedBuffer(copy, bytes);
    bool failed = false;
    measureAgainst(
        state,
        [&] {
            const auto rendered = context().render(edit.apply(image), p3);
            failed = failed || !rendered;
        },
        [&] {
            std::memcpy(target, bitmap.constBits(), bytes);
            benchmark::ClobberMemory();
        });
    if (failed)
        state.SkipWithError("render failed");
}

} // namespace

BENCHMARK(BM_EditApply2560)->Unit(benchmark::kMillisecond)->UseRealTime();
