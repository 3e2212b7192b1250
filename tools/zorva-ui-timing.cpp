// zorva-ui-timing [--frames N]: measures the window's responsiveness on a real
// X server (run it under Xvfb or on a desktop), on files it makes itself:
//   key-to-paint  from a Right-arrow key press to the canvas painting the next,
//                 prefetched photo;
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
    QApplication app(argc, argv);
    Appearance::apply(app);
    QTextStream out(stdout);
    const int frames = argc > 2 && QByteArray(argv[1]) == "--frames" ? QByteArray(argv[2]).toInt() : 30;
    keyToPaint(out, frames);
    out.flush();
    stripStall(out);
    out.flush();
    sliderRate(out);
    return 0;
}
