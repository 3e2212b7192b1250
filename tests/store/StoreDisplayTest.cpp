#include "StoreFakes.h"

#include "samplegen/SampleCard.h"

#include <QTest>

using namespace Qt::StringLiterals;

namespace {

const QColor kColours[] = {Qt::red, Qt::green, Qt::blue, Qt::yellow, Qt::cyan, Qt::magenta, Qt::white};

// Shot i is a JPEG of colour kColours[i], shot 0 the newest.
QStringList writeShots(const QString& folder, int count, QSize size = QSize(640, 480)) {
    QStringList paths;
    for (int i = 0; i < count; ++i)
        paths.append(writePhoto(folder + u"/IMG_%1.JPG"_s.arg(i), size, kColours[i % 7], at(59 - i)));
    return paths;
}

// Which of the test colours a rendered image shows: the channels that are lit.
int colourIndex(const QImage& image) {
    const QColor mean = TestImages::meanColour(image);
    const bool r = mean.redF() > 0.5, g = mean.greenF() > 0.5, b = mean.blueF() > 0.5;
    for (int i = 0; i < 7; ++i) {
        const QColor c = kColours[i];
        if ((c.redF() > 0.5) == r && (c.greenF() > 0.5) == g && (c.blueF() > 0.5) == b)
            return i;
    }
    return -1;
}

// Which photos the renderer holds decoded: asked while their files are away.
QList<bool> decoded(ViewerStore& store, const QStringList& paths) {
    const QTemporaryDir away;
    QList<bool> held;
    for (const QString& path : paths)
        QFile::rename(path, away.filePath(QFileInfo(path).fileName()));
    for (const QString& path : paths)
        held.append(store.renderer().base(path, ShotFormat::jpeg).has_value());
    for (const QString& path : paths)
        QFile::rename(away.filePath(QFileInfo(path).fileName()), path);
    return held;
}

} // namespace

class StoreDisplayTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void prefetchesAheadAndShowsOnlyTheLastOfQuickSteps() {
        QTemporaryDir dir;
        const QStringList paths = writeShots(dir.path(), 6);
        StoreHarness h;
        h.openAndSettle(dir.path());
        QCOMPARE(colourIndex(h.store.displayedImage()), 0);
        // The first shot and the two after it are decoded; the flick below checks the other end.
        QCOMPARE(decoded(h.store, paths), (QList<bool>{true, true, true, false, false, false}));

        QList<int> shown;
        connect(&h.store, &ViewerStore::displayedImageChanged, this,
                [&] { shown.append(colourIndex(h.store.displayedImage())); });
        for (int i = 1; i < 6; ++i)
            h.store.select(i);
        // Under load the last render may land after the pools first drain.
        QTRY_VERIFY_WITH_TIMEOUT(!shown.isEmpty(), 20000);
        h.settle();
        // Renders of the shots stepped over never reach the stage.
        QCOMPARE(shown, QList<int>{5});
        QCOMPARE(h.store.photoLoad(), PhotoLoad::idle());
        QCOMPARE(h.store.currentIndex(), 5);
    }

    void showsLoadingOnlyForTheSlowRenderShownAndGivesItsDetailBack() {
        QTemporaryDir dir;
        // A 24-megapixel photo takes far longer than the (scaled) loading delay.
        writePhoto(dir.filePath(u"BIG.JPG"_s), QSize(6000, 4000), Qt::darkGreen, at(59).addSecs(60),
                   95); // the newest
        writeShots(dir.path() + u"/small"_s, 1);
        StoreHarness h(0.05); // the loading delay becomes 7.5 ms
        QList<PhotoLoad> states;
        connect(&h.store, &ViewerStore::photoLoadChanged, this, [&] { states.append(h.store.photoLoad()); });

        h.store.open(PhotoSource::folder(dir.path()));
        QTRY_VERIFY_WITH_TIMEOUT(!h.store.displayedImage().isNull(), 20000);
        QCOMPARE(states, (QList<PhotoLoad>{PhotoLoad::loading(), PhotoLoad::idle()}));

        // Back to a photo that is cached: no loading state at all.
        h.store.select(1);
        h.settle();
        states.clear();
        h.store.select(0);
        h.settle();
        QVERIFY(!states.contains(PhotoLoad::loading()));
        QCOMPARE(h.store.photoLoad(), PhotoLoad::idle());

        // A full-size detail's memory goes back once let go (it is kept 150 ms).
        h.store.setZoom(2);
        h.settle();
        QCOMPARE(h.store.detailImage().size(), QSize(6000, 4000));
        h.store.select(1);
        h.settle();
        QVERIFY(h.store.detailImage().isNull());
        // The 96 MB of the detail go back to the system; a screen image's scratch may stay.
        QTRY_VERIFY_WITH_TIMEOUT(h.store.renderer().spareBytes() < (size_t(64) << 20), 5000);

        // Away to the big photo, undecoded again, and straight back: its slow render is
        // superseded by the quick one of the cached photo, and lands long after it.
        h.store.resetZoom();
        h.store.renderer().forget({dir.filePath(u"BIG.JPG"_s)});
        states.clear();
        h.store.select(0);
        h.store.select(1);
        // Events are handled as they come while the big render runs to its end.
        QTRY_COMPARE_WITH_TIMEOUT(h.store.pools().userInitiated()->activeThreadCount(), 0, 20000);
        h.settle();
        QCOMPARE(colourIndex(h.store.displayedImage()), 0);
        QCOMPARE(h.store.photoLoad(), PhotoLoad::idle());
        const qsizetype finished = states.indexOf(PhotoLoad::idle());
        QVERIFY2(!states.mid(finished + 1).contains(PhotoLoad::loading()), "loading after the newer render");
    }

    void aFlickDecodesOnlyWhereItStops() {
        QTemporaryDir dir;
        const QStringList paths = writeShots(dir.path(), 10);
        StoreHarness h;
        h.openAndSettle(dir.path());
        h.store.renderer().forget(paths);
        {
            // Every render of the flick waits in the queue until the last press.
            PoolGate gate(h.store.pools().userInitiated());
            for (int i = 1; i < 10; ++i)
                h.store.select(i);
        }
        QTRY_COMPARE_WITH_TIMEOUT(colourIndex(h.store.displayedImage()), 2, 20000);
        h.settle();
        QCOMPARE(h.store.currentIndex(), 9);
        QCOMPARE(colourIndex(h.store.displayedImage()), 2);
        QCOMPARE(h.store.photoLoad(), PhotoLoad::idle());
        // The last shot, its neighbour and the one beyond it; none of those passed by.
        QCOMPARE(decoded(h.store, paths),
                 (QList<bool>{false, false, false, false, false, false, false, true, true, true}));
    }

    void zoomClampsAndRendersTheDetailOncePerView() {
        QTemporaryDir dir;
        writeShots(dir.path(), 2, QSize(3000, 2000));
        StoreHarness h;
        h.store.setZoom(3); // no shot: nothing
        QCOMPARE(h.store.zoom(), 1.0);
        h.openAndSettle(dir.path());

        h.store.setZoom(1.01);
        h.settle();
        QVERIFY(h.store.detailImage().isNull());
        h.store.setPan(QSizeF(10, 10));
        h.store.setZoom(0.5);
        QCOMPARE(h.store.zoom(), 1.0);
        QCOMPARE(h.store.pan(), QSizeF(0, 0));

        h.store.setZoom(1.02);
        h.settle();
        QCOMPARE(h.store.detailImage().size(), QSize(3000, 2000));
        const qint64 detail = h.store.detailImage().cacheKey();
        h.store.setZoom(20);
        QCOMPARE(h.store.zoom(), 8.0);
        h.settle();
        QCOMPARE(h.store.detailImage().cacheKey(), detail);
        // Back to the whole photo and in again: the detail was left alone.
        h.store.resetZoom();
        h.store.setZoom(4);
        h.settle();
        QCOMPARE(h.store.detailImage().cacheKey(), detail);

        // A new edit while zoomed: a new stage image, then a new detail for it.
        Edit edit = h.store.currentEdit();
        edit.look = Look::mono;
        h.store.setCurrentEdit(edit);
        QVERIFY(h.store.detailImage().isNull());
        h.settle();
        QVERIFY(!h.store.detailImage().isNull());
        QVERIFY(h.store.detailImage().cacheKey() != detail);
        const QColor grey = TestImages::meanColour(h.store.detailImage());
        QVERIFY(qAbs(grey.red() - grey.blue()) <= 2);

        // Zoom stays when the list changes; it does not while cropping.
        h.store.startCrop();
        QCOMPARE(h.store.zoom(), 1.0);
        h.store.setZoom(2);
        QCOMPARE(h.store.zoom(), 1.0);
        h.store.cancelCrop();
        h.store.setZoom(2);
        h.store.open(PhotoSource::folder(dir.path()));
        h.settle();
        QCOMPARE(h.store.zoom(), 2.0);
        QVERIFY(!h.store.detailImage().isNull());
    }

    void actualSizeFollowsPixelsScreenAndCrop() {
        QTemporaryDir dir;
        TestImages::writeJpeg(dir.filePath(u"wide/W.JPG"_s), QSize(6000, 4000), Qt::gray, 30);
        TestImages::writeJpeg(dir.filePath(u"small/S.JPG"_s), QSize(2000, 1333), Qt::gray, 30);
        StoreHarness h;
        QCOMPARE(h.store.actualSizeZoom(), 2.0); // no shot
        h.openAndSettle(dir.filePath(u"wide"_s));
        h.store.setFitWidth(1000);
        h.window.scale = 2.0;
        QCOMPARE(h.store.actualSizeZoom(), 3.0);
        Edit edit;
        edit.crop = UnitRect{0.25, 0, 0.5, 0.5};
        h.store.setCurrentEdit(edit);
        QCOMPARE(h.store.actualSizeZoom(), 1.5);
        // While cropping the whole width is on the stage.
        h.store.startCrop();
        QCOMPARE(h.store.actualSizeZoom(), 3.0);
        h.store.cancelCrop();
        h.window.scale = std::nullopt; // no screen: scale 2 is assumed
        QCOMPARE(h.store.actualSizeZoom(), 1.5);

        h.openAndSettle(dir.filePath(u"small"_s));
        h.store.setFitWidth(1000);
        QCOMPARE(h.store.actualSizeZoom(), 1.5); // computes 1.0, answers at least 1.5
    }

    void editsOfOnePhotoCoalesceAndNeverGoBack() {
        QTemporaryDir dir;
        TestImages::writeJpeg(dir.filePath(u"grey/G.JPG"_s), QSize(2560, 1707), QColor(60, 60, 60));
        StoreHarness h;
        h.openAndSettle(dir.filePath(u"grey"_s));

        // Exposure rises with every event, faster than renders land.
        QList<int> brightness;
        connect(&h.store, &ViewerStore::displayedImageChanged, this,
                [&] { brightness.append(TestImages::meanColour(h.store.displayedImage()).green()); });
        Edit edit;
        for (int step = 1; step <= 40; ++step) {
            edit.adjustments.exposure = step * 0.04;
            h.store.setCurrentEdit(edit);
            QCoreApplication::processEvents();
        }
        h.settle();
        QVERIFY2(brightness.size() >= 2, "renders land while the slider moves");
        QVERIFY(brightness.size() < 40);
        for (int i = 1; i < brightness.size(); ++i)
            QVERIFY2(brightness[i] >= brightness[i - 1], "an older edit was shown after a newer one");
        // The last image is the last edit's.
        const QImage expected =
            *h.store.renderer().render(dir.filePath(u"grey/G.JPG"_s), ShotFormat::jpeg, edit);
        QCOMPARE(TestImages::meanColour(h.store.displayedImage()), TestImages::meanColour(expected));
        QCOMPARE(h.store.photoLoad(), PhotoLoad::idle());
    }

    void pairsFlipBetweenJpegAndRaw() {
        QTemporaryDir card;
        QVERIFY(SampleCard::write(card.path()));
        StoreHarness h;
        h.openAndSettle(card.path());
        // The pair whose RAW is named in lower case: the JPEG first.
        h.show(u"ZRV_0004"_s);
        const QSize jpegSize = h.store.displayedImage().size();
        QVERIFY(!jpegSize.isEmpty());
        h.store.toggleFormat();
        QCOMPARE(h.store.preferredFormat(), ShotFormat::raw);
        h.settle();
        QCOMPARE(h.store.photoLoad(), PhotoLoad::idle());
        const QSize rawSize = h.store.displayedImage().size();
        QVERIFY(!rawSize.isEmpty() && rawSize != jpegSize); // the sample RAWs are smaller than their JPEGs

        // The preference carries to the next pair; a shot without a RAW shows its JPEG.
        h.show(u"ZRV_0003"_s);
        QCOMPARE(h.store.displayedImage().size(),
                 h.store.renderer()
                     .base(h.store.currentShot()->files.url(ShotFormat::raw).value(), ShotFormat::raw)
                     ->size());
        h.show(u"ZRV_0001"_s);
        h.store.toggleFormat(); // nothing to flip to
        QCOMPARE(h.store.preferredFormat(), ShotFormat::raw);
        QCOMPARE(h.store.displayedImage().size(), QSize(2000, 1333));

        // A RAW-only shot shows its RAW whatever is preferred, and saves as " RAW".
        h.show(u"ZRV_0005"_s);
        h.store.setPreferredFormat(ShotFormat::jpeg);
        h.settle();
        QVERIFY(!h.store.displayedImage().isNull());
        Edit edit;
        edit.crop = UnitRect{0.1, 0.1, 0.5, 0.5};
        h.store.setCurrentEdit(edit);
        h.store.saveCopy();
        h.settle();
        QCOMPARE(h.store.toast()->message, u"Saved ZRV_0005 RAW crop.jpg to Pictures \u203A Zorva Edits"_s);
    }

    void immersiveFollowsTheWindow() {
        StoreHarness h;
        h.store.toggleImmersive();
        QVERIFY(h.store.isImmersive());
        QVERIFY(h.window.fullScreen);
        h.window.leaveFullScreen();
        h.store.start();
        h.window.fullScreen = true;
        h.window.leaveFullScreen();
        QVERIFY(!h.store.isImmersive());
        // Entered by other means: the flag follows, the window stays.
        h.window.fullScreen = true;
        h.store.toggleImmersive();
        QVERIFY(h.store.isImmersive());
        QVERIFY(h.window.fullScreen);
    }
};

QTEST_GUILESS_MAIN(StoreDisplayTest)
#include "StoreDisplayTest.moc"
