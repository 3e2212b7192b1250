#include "BareJpeg.h"
#include "BenchInputs.h"
#include "Ratio.h"

#include "imaging/codec/RawDeveloper.h"
#include "imaging/codec/ThumbnailReader.h"
#include "imaging/render/RenderContext.h"

#include <QColorSpace>
#include <QFile>

#include <libraw.h>

#include <algorithm>
#include <memory>

// Decoding and RAW development against the bare library work they are built on.
// The measured operations take their large buffers from the rendering
// context's pool, so screen-size work costs no page faults from the second
// iteration on: these figures are the warm, steady state of flipping through
// photos. A full-size RAW development needs more than the pool keeps, and
// LibRaw allocates its own buffers in both, so that one pays page faults like
// its reference. The references write into buffers made and touched before
// timing.

namespace {

const RenderContext& context() {
    static const RenderContext c;
    return c;
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
            const auto image =
                reader.read(path, BenchInputs::screenSide(), ThumbnailReader::EmbeddedPreview::ignored);
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
    screenDecode(state, BenchInputs::size24());
}

// The same for 12 megapixels: the half-scale decode is below the screen
// size, so the reader decodes at full scale; the reference stays the bare
// decode at 1/2.
void BM_ScreenDecode12MP(benchmark::State& state) {
    screenDecode(state, BenchInputs::size12());
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
    const QString path = BenchInputs::cameraDng(BenchInputs::size24());
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
        developer->setScale(double(BenchInputs::screenSide()) / std::max(native.width(), native.height()));
    const Image output = Image::fromRaw(developer->path(), developer->outputSize(), developer->scale());
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
// Seconds per iteration: a fixed count, so that the figures average more
// iterations than the one or two the default minimum time would give.
BENCHMARK(BM_RawDevelopHalf)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(smokeRun() ? 1 : 8);
BENCHMARK(BM_RawDevelopFull)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(smokeRun() ? 1 : 3);
