#include "BareJpeg.h"
#include "BenchInputs.h"
#include "Ratio.h"

#include "card/Shot.h"
#include "imaging/render/ImageRenderer.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThreadPool>

#include <atomic>
#include <chrono>
#include <fstream>
#include <string>
#include <unistd.h>

// The renderer's operations, as the viewer calls them, against the bare
// libjpeg-turbo work each one cannot do without.

namespace {

// An edit that touches every colour step.
Edit everyStep() {
    Edit edit;
    edit.look = Look::chrome;
    edit.adjustments = {0.4, 1.15, 1.2, 0.3};
    return edit;
}

// `count` names for one file (hard links): the caches are keyed by path, so
// each is a file of its own to them, at no cost in disk or writing time.
QStringList linksTo(const QString& path, const QString& folder, int count) {
    QStringList links;
    for (int i = 0; i < count; ++i) {
        const QString link =
            QDir(folder).filePath(QStringLiteral("IMG_%1.JPG").arg(i, 4, 10, QLatin1Char('0')));
        if (::link(QFile::encodeName(path).constData(), QFile::encodeName(link).constData()) != 0)
            return {};
        links.append(link);
    }
    return links;
}

// Resident set size of the process in MiB.
double residentMiB() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return double(resident) * double(::sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

bool have(benchmark::State& state, const QString& path) {
    if (path.isEmpty())
        state.SkipWithError("cannot make the input file");
    return !path.isEmpty();
}

// `base` of a 24-megapixel JPEG that is not cached, against the bare DCT-1/2 decode.
void BM_BaseUncached(benchmark::State& state) {
    const QString path = BenchInputs::cameraJpeg(BenchInputs::size24());
    if (!have(state, path))
        return;
    const ImageRenderer renderer;
    bool failed = false;
    measureAgainst(
        state,
        [&] {
            renderer.forget({path});
            failed = failed || !renderer.base(path, ShotFormat::jpeg);
        },
        [&] { benchmark::DoNotOptimize(BareJpeg::decode(path, 2)); });
    if (failed)
        state.SkipWithError("base failed");
}

// A cached `base` and an unchanged `render`: what stepping back to a recent
// shot costs.
void BM_BaseCached(benchmark::State& state) {
    const QString path = BenchInputs::cameraJpeg(BenchInputs::size24());
    if (!have(state, path))
        return;
    const ImageRenderer renderer;
    (void)renderer.base(path, ShotFormat::jpeg);
    measureAgainst(
        state,
        [&] {
            benchmark::DoNotOptimize(renderer.base(path, ShotFormat::jpeg));
            benchmark::DoNotOptimize(renderer.render(path, ShotFormat::jpeg, Edit{}));
        },
        [&] { benchmark::DoNotOptimize(BareJpeg::decode(path, 2)); });
}

void thumbnail(benchmark::State& state, const QString& path) {
    if (!have(state, path))
        return;
    const ImageRenderer renderer;
    bool failed = false;
    measureAgainst(
        state,
        [&] {
            renderer.forget({path});
            failed = failed || !renderer.thumbnail(path);
        },
        [&] { benchmark::DoNotOptimize(BareJpeg::decode(path, 8)); });
    if (failed)
        state.SkipWithError("thumbnail failed");
}

// A filmstrip thumbnail of a camera JPEG (from its EXIF thumbnail), against
// the bare DCT-1/8 decode of the photo.
void BM_Thumbnail(benchmark::State& state) {
    thumbnail(state, BenchInputs::cameraJpeg(BenchInputs::size24()));
}

// The same for a JPEG without a thumbnail: decoded at a reduced scale.
void BM_ThumbnailNoPreview(benchmark::State& state) {
    thumbnail(state, BenchInputs::plainJpeg(BenchInputs::size24()));
}

// Thumbnails of a 2,000-shot card on two threads, as the filmstrip loads
// them: thumbnails per second, and the ratio to as many bare DCT-1/8 decodes
// on one thread (measured on a sample of 40 and scaled).
void BM_ThumbnailCard(benchmark::State& state) {
    const QString path = BenchInputs::cameraJpeg(BenchInputs::size24());
    const QTemporaryDir folder;
    const int count = smokeRun() ? 20 : 2000;
    const QStringList files = have(state, path) ? linksTo(path, folder.path(), count) : QStringList();
    if (files.isEmpty()) {
        state.SkipWithError("cannot make the card");
        return;
    }
    const ImageRenderer renderer;
    QThreadPool pool;
    pool.setMaxThreadCount(2);
    std::atomic<int> failed = 0;
    using Clock = std::chrono::steady_clock;
    double seconds = 0;
    for (auto _ : state) {
        renderer.forget(files);
        const auto start = Clock::now();
        for (int half = 0; half < 2; ++half) {
            pool.start([&, half] {
                for (int i = half; i < count; i += 2)
                    failed += renderer.thumbnail(files[i]) ? 0 : 1;
            });
        }
        pool.waitForDone();
        seconds += std::chrono::duration<double>(Clock::now() - start).count();
    }
    // The reference: bare decodes of a sample of the files, scaled to the card.
    const int sample = std::min(count, 40);
    const auto start = Clock::now();
    for (int i = 0; i < sample; ++i)
        benchmark::DoNotOptimize(BareJpeg::decode(files[i], 8));
    const double bare = std::chrono::duration<double>(Clock::now() - start).count() * count / sample;
    const double perCard = seconds / double(state.iterations());
    state.counters["per_second"] = double(count) / perCard;
    state.counters["ratio"] = perCard / bare;
    state.counters["ms"] = perCard * 1e3;
    state.counters["ref_ms"] = bare * 1e3;
    if (failed)
        state.SkipWithError("a thumbnail failed");
}

// The TV's JPEG: 1920 pixels at quality 0.88 from a screen-size bitmap,
// Lanczos included, against a bare encode of a 1920-pixel image.
void BM_TvJpeg(benchmark::State& state) {
    const QString path = BenchInputs::cameraJpeg(BenchInputs::size24());
    if (!have(state, path))
        return;
    const ImageRenderer renderer;
    const auto screen = renderer.base(path, ShotFormat::jpeg);
    if (!screen) {
        state.SkipWithError("base failed");
        return;
    }
    const int tvSide = BenchInputs::screenSide() * 3 / 4;
    const QImage tv = screen->scaled(screen->size().scaled(tvSide, tvSide, Qt::KeepAspectRatio));
    bool failed = false;
    measureAgainst(
        state, [&] { failed = failed || !renderer.jpegData(*screen, tvSide, 0.88); },
        [&] { benchmark::DoNotOptimize(BareJpeg::encode(tv.constBits(), tv.width(), tv.height(), 88)); });
    if (failed)
        state.SkipWithError("encode failed");
}

// An edited full-size copy of a 24-megapixel JPEG with its metadata, against
// a bare full decode plus a bare full encode of the same picture.
void BM_Export24MP(benchmark::State& state) {
    const QString path = BenchInputs::cameraJpeg(BenchInputs::size24());
    if (!have(state, path))
        return;
    const QTemporaryDir folder;
    Shot shot;
    shot.id = QStringLiteral("BENCH");
    shot.name = QStringLiteral("BENCH");
    shot.files = ShotFiles::jpegOnly(path);
    const ImageRenderer renderer;
    const QImage pixels = BenchInputs::scene(BenchInputs::size24()).convertToFormat(QImage::Format_RGBX8888);
    bool failed = false;
    QStringList written;
    measureAgainst(
        state,
        [&] {
            const auto saved = renderer.exportCopy(shot, ShotFormat::jpeg, everyStep(), folder.path());
            failed = failed || !saved;
            if (saved)
                written.append(*saved);
        },
        [&] {
            benchmark::DoNotOptimize(BareJpeg::decode(path, 1));
            benchmark::DoNotOptimize(
                BareJpeg::encode(pixels.constBits(), pixels.width(), pixels.height(), 92));
            for (const QString& file : written)
                QFile::remove(file);
            written.clear();
        });
    if (failed)
        state.SkipWithError("export failed");
}

// Resident size with both caches full: 16 screen images and 2,000 thumbnails.
void BM_CacheMemory(benchmark::State& state) {
    const QString path = BenchInputs::cameraJpeg(BenchInputs::size24());
    const QTemporaryDir folder;
    const QStringList files = have(state, path) ? linksTo(path, folder.path(), 2000) : QStringList();
    if (files.isEmpty()) {
        state.SkipWithError("cannot make the card");
        return;
    }
    for (auto _ : state) {
        const double before = residentMiB();
        const ImageRenderer renderer;
        for (int i = 0; i < 16; ++i)
            (void)renderer.base(files[i], ShotFormat::jpeg);
        const double screens = residentMiB();
        for (const QString& file : files)
            (void)renderer.thumbnail(file);
        const double thumbnails = residentMiB();
        state.counters["screen_mb"] = screens - before;
        state.counters["thumbnail_mb"] = thumbnails - screens;
        state.counters["total_mb"] = thumbnails;
    }
}

} // namespace

BENCHMARK(BM_BaseUncached)->Unit(benchmark::kMillisecond)->UseRealTime();
// The cached and preview paths cost a small fraction of their references,
// which run once per iteration too: a fixed count keeps the run short.
BENCHMARK(BM_BaseCached)->Unit(benchmark::kMicrosecond)->UseRealTime()->Iterations(smokeRun() ? 5 : 60);
BENCHMARK(BM_Thumbnail)->Unit(benchmark::kMicrosecond)->UseRealTime()->Iterations(smokeRun() ? 5 : 60);
BENCHMARK(BM_ThumbnailNoPreview)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ThumbnailCard)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(smokeRun() ? 1 : 3);
BENCHMARK(BM_TvJpeg)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Export24MP)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(smokeRun() ? 1 : 5);
BENCHMARK(BM_CacheMemory)->Unit(benchmark::kMillisecond)->Iterations(1);
