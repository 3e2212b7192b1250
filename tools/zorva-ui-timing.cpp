// zorva-ui-timing [--frames N] [--megapixels 24|12]: measures the window's
// responsiveness and memory on a real X server (run it under Xvfb or on a
// desktop), on files it makes itself:
//   resident      the process's resident size at start-up with the sample
//                 card, and after stepping through 40 photos (24 MP unless
//                 told otherwise) in a 1280 x 860 window;
//   key-to-paint  from a Right-arrow key press to the canvas painting the next,
//                 prefetched photo;
//   flick         ten presses of Right 50 ms apart, from the first press to
//                 the canvas painting the tenth photo on (24 MP unless told);
//   strip stall   the longest main-thread stall while flinging through the
//                 filmstrip of a 2,000-shot folder as its thumbnails load;
//   slider rate   stage images per second while the exposure slider is
//                 dragged for two seconds over a 24-megapixel photo.
// Prints one line per figure. A developer tool; it is not a test.

#include "ViewerRig.h"
#include "platform/DeviceProperties.h"
#include "platform/FileReveal.h"
#include "platform/FolderChooser.h"
#include "platform/FreedesktopTrash.h"
#include "platform/PlatformMemory.h"
#include "platform/VolumeMonitor.h"
#include "platform/WindowControl.h"
#include "samplegen/CameraJpegWriter.h"
#include "samplegen/SampleCard.h"
#include "samplegen/SyntheticScene.h"
#include "store/ViewerStore.h"
#include "ui/AdjustmentSlider.h"
#include "ui/Appearance.h"
#include "ui/ContentView.h"
#include "ui/EditPanel.h"
#include "ui/Filmstrip.h"
#include "ui/MainWindow.h"
#include "ui/MainWindowControl.h"
#include "ui/PhotoCanvas.h"
#include "ui/PhotoStage.h"
#include "ui/ScreenConversion.h"
#include "ui/ThumbnailLoader.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QScrollBar>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>
#include <QTimer>

#include <algorithm>
#include <fstream>

#include <malloc.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

using namespace rig;

namespace {

// Measures the longest gap between two turns of the event loop.
class StallMeter : public QObject {
public:
    StallMeter() {
        timer_.setInterval(0);
        connect(&timer_, &QTimer::timeout, this, [this] {
            const qint64 now = clock_.nsecsElapsed();
            if (last_ >= 0)
                longest_ = std::max(longest_, now - last_);
            last_ = now;
        });
    }
    void start() {
        clock_.start();
        last_ = -1;
        longest_ = 0;
        timer_.start();
    }
    double stop() {
        timer_.stop();
        return double(longest_) / 1e6;
    }

private:
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 last_ = -1;
    qint64 longest_ = 0;
};

double median(QList<double> values) {
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values[values.size() / 2];
}

double residentMiB() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return double(resident) * double(::sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

// `count` camera JPEGs of one synthetic scene (hard links to one file, named
// in shooting order) in `folder`; empty when they cannot be made.
QStringList cameraPhotos(const QString& folder, int megapixels, int count) {
    const QSize size = megapixels >= 24 ? QSize(6000, 4000) : QSize(4240, 2832);
    CaptureInfo info;
    info.captured = QDateTime(QDate(2026, 1, 1), QTime(9, 0));
    const QString first = QDir(folder).filePath(u"IMG_0000.JPG"_s);
    const QImage scene = SyntheticScene::landscape(size, {SyntheticScene::Kind::meadow, 7});
    if (!CameraJpegWriter::write(first, scene, info))
        return {};
    QStringList paths{first};
    for (int i = 1; i < count; ++i) {
        paths.append(QDir(folder).filePath(u"IMG_%1.JPG"_s.arg(i, 4, 10, QLatin1Char('0'))));
        if (::link(QFile::encodeName(first).constData(), QFile::encodeName(paths.last()).constData()) != 0)
            return {};
    }
    return paths;
}

bool poolsIdle(Viewer& viewer) {
    return viewer.store.pools().userInitiated()->activeThreadCount() == 0 &&
           viewer.store.pools().utility()->activeThreadCount() == 0;
}

// Presses `key` and waits for the canvas to paint the photo it leads to.
bool stepAndPaint(Viewer& viewer, int key) {
    PhotoCanvas* canvas = viewer.main.content()->stage()->canvas();
    const qint64 before = canvas->stageImage().cacheKey();
    QTest::keyClick(&viewer.main, Qt::Key(key));
    if (!waitFor([&] { return canvas->stageImage().cacheKey() != before; }, 10000))
        return false;
    canvas->repaint();
    return true;
}

void residentAfterWalk(QTextStream& out, int megapixels) {
    {
        QTemporaryDir dir;
        SampleCard::write(dir.path());
        Viewer viewer;
        viewer.main.resize(1280, 860);
        viewer.open(dir.path());
        waitFor([&] { return poolsIdle(viewer); });
        QTest::qWait(500);
        out << "resident at start-up with the sample card: " << residentMiB() << " MiB\n";
        out.flush();
    }
    QTemporaryDir dir;
    if (cameraPhotos(dir.path(), megapixels, 41).isEmpty()) {
        out << "walk: cannot write the photos\n";
        return;
    }
    Viewer viewer;
    viewer.main.resize(1280, 860);
    viewer.open(dir.path());
    int steps = 0;
    for (int i = 0; i < 40; ++i) {
        waitFor([&] { return poolsIdle(viewer); });
        steps += stepAndPaint(viewer, Qt::Key_Right) ? 1 : 0;
    }
    waitFor([&] { return poolsIdle(viewer); });
    QTest::qWait(500);
    out << "resident after " << steps << " steps through " << megapixels << " MP photos: " << residentMiB()
        << " MiB\n";
    // Where it is: the heap's blocks in use and free, blocks of their own
    // (mmap), and the renderer's scratch kept for the next step.
    const struct mallinfo2 heap = ::mallinfo2();
    constexpr double kMiB = 1024.0 * 1024.0;
    out << "  heap in use " << double(heap.uordblks) / kMiB << " MiB, free in the heap "
        << double(heap.fordblks) / kMiB << " MiB, mapped blocks " << double(heap.hblkhd) / kMiB
        << " MiB, renderer scratch " << double(viewer.store.renderer().spareBytes()) / kMiB << " MiB\n";
}

void flick(QTextStream& out, int megapixels) {
    QTemporaryDir dir;
    constexpr int flicks = 3;
    if (cameraPhotos(dir.path(), megapixels, flicks * 10 + 3).isEmpty()) {
        out << "flick: cannot write the photos\n";
        return;
    }
    Viewer viewer;
    viewer.main.resize(1280, 860);
    viewer.open(dir.path());
    PhotoCanvas* canvas = viewer.main.content()->stage()->canvas();
    QList<double> times;
    int wrong = 0;
    for (int f = 0; f < flicks; ++f) {
        waitFor([&] { return poolsIdle(viewer); });
        QTest::qWait(200);
        const int target = viewer.store.currentIndex() + 10;
        // The canvas's picture when the tenth photo reached the store; the
        // flick has settled once the canvas shows something newer.
        std::optional<qint64> landedOver;
        const auto connection =
            QObject::connect(&viewer.store, &ViewerStore::displayedImageChanged, &viewer.store, [&] {
                if (viewer.store.currentIndex() == target && !landedOver)
                    landedOver = canvas->stageImage().cacheKey();
            });
        QElapsedTimer clock;
        clock.start();
        for (int press = 0; press < 10; ++press) {
            waitFor([&] { return clock.elapsed() >= press * 50; });
            QTest::keyClick(&viewer.main, Qt::Key_Right);
        }
        const bool settled =
            waitFor([&] { return landedOver && canvas->stageImage().cacheKey() != *landedOver; }, 20000);
        QObject::disconnect(connection);
        if (!settled || viewer.store.currentIndex() != target) {
            ++wrong;
            continue;
        }
        canvas->repaint();
        times.append(double(clock.nsecsElapsed()) / 1e6);
    }
    out << "flick of 10 presses 50 ms apart over " << megapixels << " MP photos: settles in median "
        << median(times) << " ms, worst "
        << (times.isEmpty() ? 0 : *std::max_element(times.begin(), times.end())) << " ms over "
        << times.size() << " flicks" << (wrong ? ", some did not settle on the tenth photo" : "") << "\n";
}

void keyToPaint(QTextStream& out, int frames) {
    QTemporaryDir dir;
    SampleCard::write(dir.path());
    Viewer viewer;
    viewer.open(dir.path());
    PhotoCanvas* canvas = viewer.main.content()->stage()->canvas();
    QList<double> times;
    for (int i = 0; i < frames; ++i) {
        // Step back and forth between neighbours the store has prefetched.
        const int key = (i / 3) % 2 == 0 ? Qt::Key_Right : Qt::Key_Left;
        waitFor([&] {
            return viewer.store.pools().userInitiated()->activeThreadCount() == 0 &&
                   viewer.store.pools().utility()->activeThreadCount() == 0;
        });
        QTest::qWait(50);
        const qint64 before = canvas->stageImage().cacheKey();
        QElapsedTimer clock;
        clock.start();
        QTest::keyClick(&viewer.main, Qt::Key(key));
        if (!waitFor([&] { return canvas->stageImage().cacheKey() != before; }, 5000))
            continue;
        canvas->repaint();
        times.append(double(clock.nsecsElapsed()) / 1e6);
    }
    out << "key-to-paint (prefetched neighbour): median " << median(times) << " ms, worst "
        << (times.isEmpty() ? 0 : *std::max_element(times.begin(), times.end())) << " ms over "
        << times.size() << " steps\n";
}

void stripStall(QTextStream& out) {
    QTemporaryDir dir;
    SampleCard::write(dir.path());
    // 2,000 shots: the sample card's JPEGs copied many times over.
    const QDir card(dir.filePath(QString::fromLatin1(SampleCard::kFolder)));
    const QStringList jpegs = card.entryList({u"*.JPG"_s, u"*.jpg"_s}, QDir::Files);
    const QString big = dir.filePath(u"big"_s);
    QDir().mkpath(big);
    for (int i = 0; i < 2000; ++i)
        QFile::copy(card.filePath(jpegs[i % jpegs.size()]),
                    big + u"/IMG_%1.JPG"_s.arg(i, 4, 10, QLatin1Char('0')));
    Viewer viewer;
    viewer.open(big);
    Filmstrip* strip = viewer.main.content()->filmstrip();
    QScrollBar* bar = strip->horizontalScrollBar();
    StallMeter meter;
    meter.start();
    QElapsedTimer clock;
    clock.start();
    // A fling: 60 pixels every 8 ms, across the strip and back.
    int direction = 1;
    while (clock.elapsed() < 4000) {
        bar->setValue(bar->value() + direction * 60);
        if (bar->value() >= bar->maximum() || bar->value() <= bar->minimum())
            direction = -direction;
        QTest::qWait(8);
    }
    const double stall = meter.stop();
    out << "filmstrip fling over 2000 shots: longest main-thread stall " << stall << " ms, "
        << strip->loader().loadsStarted() << " thumbnails loaded\n";
}

void sliderRate(QTextStream& out) {
    QTemporaryDir dir;
    CaptureInfo info;
    info.captured = QDateTime(QDate(2026, 1, 1), QTime(9, 0));
    const QImage scene = SyntheticScene::landscape(QSize(6000, 4000), {SyntheticScene::Kind::meadow, 7});
    if (!CameraJpegWriter::write(dir.filePath(u"BIG.JPG"_s), scene, info)) {
        out << "slider rate: cannot write the photo\n";
        return;
    }
    Viewer viewer;
    viewer.open(dir.path());
    viewer.store.setEditPanelShown(true);
    QSlider* slider = viewer.main.content()->editPanel()->slider(u"Exposure"_s)->slider();
    int frames = 0;
    QObject::connect(&viewer.store, &ViewerStore::displayedImageChanged, &viewer.store, [&] { ++frames; });
    StallMeter meter;
    meter.start();
    slider->setSliderDown(true);
    QElapsedTimer clock;
    clock.start();
    int position = slider->value();
    while (clock.elapsed() < 2000) {
        position = position >= 900 ? 100 : position + 3;
        slider->setSliderPosition(position);
        QTest::qWait(10);
    }
    const double seconds = double(clock.elapsed()) / 1000.0;
    slider->setSliderDown(false);
    const double stall = meter.stop();
    out << "slider drag on a 24 MP photo: " << double(frames) / seconds
        << " stage images per second, longest stall " << stall << " ms\n";
}

} // namespace

int main(int argc, char* argv[]) {
    PlatformMemory::mapLargeBlocks();
    QApplication app(argc, argv);
    Appearance::apply(app);
    QTextStream out(stdout);
    int frames = 30;
    int megapixels = 24;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (QByteArray(argv[i]) == "--frames")
            frames = QByteArray(argv[i + 1]).toInt();
        else if (QByteArray(argv[i]) == "--megapixels")
            megapixels = QByteArray(argv[i + 1]).toInt();
    }
    // Memory first, while nothing else has grown the heap.
    residentAfterWalk(out, megapixels);
    out.flush();
    keyToPaint(out, frames);
    out.flush();
    flick(out, megapixels);
    out.flush();
    stripStall(out);
    out.flush();
    sliderRate(out);
    return 0;
}
