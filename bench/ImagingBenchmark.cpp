#include "BareJpeg.h"
#include "BenchInputs.h"
#include "Ratio.h"

#include "imaging/Edit.h"
#include "imaging/RawDeveloper.h"
#include "imaging/RenderContext.h"
#include "imaging/ThumbnailReader.h"

#include <QColorSpace>
#include <QFile>

#include <libraw.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

// The imaging hot paths against the bare library work they are built on.
// The measured operations take their large buffers from the rendering
// context's pool, so screen-size work costs no page faults from the second
// iteration on: these figures are the warm, steady state of flipping through
// photos. A full-size RAW development needs more than the pool keeps, and
// LibRaw allocates its own buffers in both, so that one pays page faults like
// its reference. The references write into buffers made and touched before
// timing.

namespace {

// The screen image's longest side; the inputs are 24 and 12 megapixels.
// Smoke runs keep the proportions at a tenth of the size.
int screenSide() {
    return smokeRun() ? 256 : 2560;
}
QSize size24() {
    return smokeRun() ? QSize(600, 400) : QSize(6000, 4000);
}
QSize size12() {
    return smokeRun() ? QSize(424, 283) : QSize(4240, 2832);
}

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

void screenDecode(benchmark::State& state, QSize size) {
    const QString path = BenchInputs::cameraJpeg(size);
    if (path.isEmpty()) {
        state.SkipWithError("cannot make the JPEG");
        return;
    }
    const ThumbnailReader reader(context().resources());
    QSize got;
    bool failed = false;
    measureAgainst(
        state,
        [&] {
            const auto image = reader.read(path, screenSide(), ThumbnailReader::EmbeddedPreview::ignored);
            failed = failed || !image;
            got = image ? image->size() : QSize();
        },
        [&] { benchmark::DoNotOptimize(BareJpeg::decode(path, 2)); });
    if (failed)
        state.SkipWithError("decode failed");
    state.counters["width"] = got.width();
    state.counters["height"] = got.height();
}

// Screen-size decode of a 24-megapixel camera JPEG (longest side at most
// 2560, upright, Display P3) against libjpeg-turbo's bare decode of the same
// file at DCT scale 1/2.
void BM_ScreenDecode24MP(benchmark::State& state) {
    screenDecode(state, size24());
}

// The same for 12 megapixels: the half-scale decode is below the screen
// size, so the reader decodes at full scale; the reference stays the bare
// decode at 1/2.
void BM_ScreenDecode12MP(benchmark::State& state) {
    screenDecode(state, size12());
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

// LibRaw alone: open, unpack and develop with its defaults (8-bit sRGB),
// at half size or full size, the result left in LibRaw's own buffer.
int bareRawDevelop(const QString& path, bool halfSize) {
    auto raw = std::make_unique<LibRaw>(LIBRAW_OPTIONS_NONE);
    raw->imgdata.params.half_size = halfSize ? 1 : 0;
    int code = raw->open_file(QFile::encodeName(path).constData());
    if (code == LIBRAW_SUCCESS)
        code = raw->unpack();
    if (code == LIBRAW_SUCCESS)
        code = raw->dcraw_process();
    raw->recycle();
    return code;
}

// RAW development of the 24-megapixel DNG through the rendering context
// (white balance, Display P3, upright), against LibRaw's own development
// with the same size mode.
void rawDevelop(benchmark::State& state, bool forScreen) {
    const QString path = BenchInputs::cameraDng(size24());
    if (path.isEmpty()) {
        state.SkipWithError("cannot make the DNG");
        return;
    }
    auto developer = RawDeveloper::open(path);
    if (!developer) {
        state.SkipWithError("cannot open the DNG");
        return;
    }
    const QSize native = developer->nativeSize();
    if (forScreen)
        developer->setScale(double(screenSide()) / std::max(native.width(), native.height()));
    const Image output = developer->outputImage();
    const bool halfSize = developer->scale() <= 0.5;
    const QColorSpace p3(QColorSpace::DisplayP3);
    QSize got;
    bool failed = false;
    measureAgainst(
        state,
        [&] {
            const auto rendered = context().render(output, p3);
            failed = failed || !rendered;
            got = rendered ? rendered->size() : QSize();
        },
        [&] { failed = bareRawDevelop(path, halfSize) != LIBRAW_SUCCESS || failed; });
    if (failed)
        state.SkipWithError("development failed");
    state.counters["width"] = got.width();
    state.counters["height"] = got.height();
}

void BM_RawDevelopHalf(benchmark::State& state) {
    rawDevelop(state, true);
}

void BM_RawDevelopFull(benchmark::State& state) {
    rawDevelop(state, false);
}

} // namespace

BENCHMARK(BM_ScreenDecode24MP)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ScreenDecode12MP)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_EditApply2560)->Unit(benchmark::kMillisecond)->UseRealTime();
// Seconds per iteration: a fixed count, so that the figures average more
// iterations than the one or two the default minimum time would give.
BENCHMARK(BM_RawDevelopHalf)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(smokeRun() ? 1 : 8);
BENCHMARK(BM_RawDevelopFull)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(smokeRun() ? 1 : 3);
