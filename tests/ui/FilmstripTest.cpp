#include "UiHarness.h"

#include "ui/Filmstrip.h"
#include "ui/ShotListModel.h"
#include "ui/ThumbnailDelegate.h"
#include "ui/ThumbnailLoader.h"

#include "imaging/render/ImageRenderer.h"
#include "samplegen/CameraJpegWriter.h"

#include <QAccessible>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThreadPool>

using namespace Qt::StringLiterals;

class FilmstripTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void loadsOnlyCellsInView() {
        QTemporaryDir dir;
        // 2,000 shots; their files are empty, so every load fails and leaves a placeholder.
        for (int i = 0; i < 2000; ++i)
            FileTree::write(dir.filePath(u"IMG_%1.JPG"_s.arg(i, 4, 10, QLatin1Char('0'))), {});
        ViewerHarness h(dir.path(), QSize(1200, 800));
        Filmstrip* strip = h.window.content()->filmstrip();
        QScrollBar* bar = strip->horizontalScrollBar();
        // Selects the last or the first shot and waits for the strip to scroll to that end.
        const auto jump = [&](bool toEnd) {
            h.store.select(toEnd ? 1999 : 0);
            QTRY_COMPARE(bar->value(), toEnd ? bar->maximum() : 0);
        };
        QVERIFY(strip->isVisible() && strip->height() == 92);
        h.settleAndPaint();
        const int inView = strip->viewport()->width() / (108 + 6) + 2;
        QVERIFY2(
            strip->loader().loadsStarted() <= inView,
            qPrintable(u"%1 loads for %2 cells in view"_s.arg(strip->loader().loadsStarted()).arg(inView)));
        QVERIFY(strip->loader().loadsStarted() >= inView - 2);

        // Jumping to the end loads the cells there, not the ones in between.
        jump(true);
        h.settleAndPaint();
        QVERIFY(strip->loader().loadsStarted() <= 3 * inView);
        // Back at the start, then the same trip again: a failed file is not
        // loaded again while its list stays.
        jump(false);
        h.settleAndPaint();
        QVERIFY(strip->loader().loadsStarted() <= 4 * inView);
        const int started = strip->loader().loadsStarted();
        jump(true);
        jump(false);
        h.settleAndPaint();
        QCOMPARE(strip->loader().loadsStarted(), started);
    }

    void showsEachFileAsItIsNowAndRetriesFailures() {
        QTemporaryDir dir;
        const QString a = dir.filePath(u"A.JPG"_s);
        const QString b = dir.filePath(u"B.JPG"_s);
        TestImages::writeJpeg(a, QSize(300, 200), Qt::red);
        FileTree::setModified(a, at(3)); // the newest: current
        FileTree::writeAt(b, at(2), {}); // empty: its thumbnail fails
        ViewerHarness h(dir.path(), QSize(1000, 700));
        ThumbnailLoader& loader = h.window.content()->filmstrip()->loader();
        h.settleAndPaint();
        QTRY_VERIFY(!loader.image(a).isNull());
        QVERIFY(TestImages::meanColour(loader.image(a)).red() > 200);
        QVERIFY(loader.image(b).isNull());

        // A trashed and another photo written under its name; B readable now.
        // Opened again, the strip shows both files as they are.
        h.store.trashCurrent();
        TestImages::writeJpeg(a, QSize(300, 200), Qt::blue);
        FileTree::setModified(a, at(3));
        TestImages::writeJpeg(b, QSize(300, 200), Qt::green);
        FileTree::setModified(b, at(2));
        h.openAndSettle(dir.path());
        h.settleAndPaint();
        QTRY_VERIFY(!loader.image(b).isNull());
        QTRY_VERIFY(TestImages::meanColour(loader.image(a)).blue() > 200);
        QVERIFY(TestImages::meanColour(loader.image(a)).red() < 60);
    }

    void sharpensSmallEmbeddedThumbnailsForHiDpiCells() {
        QTemporaryDir dir;
        const QString url = dir.filePath(u"IMG_0001.JPG"_s);
        QImage photo(1800, 1200, QImage::Format_RGB888);
        photo.fill(QColor(40, 160, 90));
        CaptureInfo info;
        info.captured = QDateTime(QDate(2024, 5, 17), QTime(9, 30));
        const auto written = CameraJpegWriter::write(url, photo, info);
        QVERIFY2(written, qPrintable(written ? QString() : written.error()));
        ImageRenderer renderer;
        QThreadPool pool;
        ThumbnailLoader loader(renderer, pool, [](const QImage& image) { return image; });
        QSignalSpy loaded(&loader, &ThumbnailLoader::loaded);

        // A 1x cell of 108 x 72: the camera's 160 x 120 thumbnail (bars cut: 160 x 107) is enough.
        loader.setCellSize(QSize(108, 72));
        loader.request(url);
        QVERIFY(loaded.wait());
        QCOMPARE(renderer.cachedThumbnail(url)->size(), QSize(160, 107));
        loader.request(url);
        QCOMPARE(loader.pending(), 0);

        // At 2x the picture is first made from the same thumbnail, at once...
        loader.setCellSize(QSize(216, 144));
        QCOMPARE(loader.image(url).size(), QSize(108, 72)); // the old one shows meanwhile
        loader.request(url);
        QVERIFY(loaded.wait());
        QCOMPARE(loader.image(url).size(), QSize(216, 144));
        QCOMPARE(renderer.cachedThumbnail(url)->size(), QSize(160, 107));
        // ...then replaced by one decoded from the photo at 240 pixels.
        loader.request(url);
        QVERIFY(loaded.wait());
        QCOMPARE(renderer.cachedThumbnail(url)->size(), QSize(240, 160));
        QCOMPARE(loader.image(url).size(), QSize(216, 144));
        QVERIFY(qAbs(TestImages::meanColour(loader.image(url)).green() - 160) < 6);
        const int started = loader.loadsStarted();
        loader.request(url);
        QCOMPARE(loader.loadsStarted(), started);
    }

    void centresTheCurrentCellAndSelectsOnClick() {
        QTemporaryDir dir;
        writeShots(dir.path(), 40, QSize(300, 200));
        ViewerHarness h(dir.path(), QSize(1000, 700));
        Filmstrip* strip = h.window.content()->filmstrip();
        QScrollBar* bar = strip->horizontalScrollBar();
        QCOMPARE(bar->value(), 0); // first display: no scroll

        h.store.select(20);
        QVERIFY(bar->value() < strip->centredOffset(20)); // it animates there
        QTRY_COMPARE(bar->value(), strip->centredOffset(20));
        const QRect cell = strip->visualRect(strip->model()->index(20, 0));
        QVERIFY(qAbs(cell.center().x() - strip->viewport()->width() / 2) <= 1);

        const QRect other = strip->visualRect(strip->model()->index(22, 0));
        QTest::mouseClick(strip->viewport(), Qt::LeftButton, {}, other.center());
        QCOMPARE(h.store.currentIndex(), 22);
        // Assistive technology hears which cell is the current one.
        QAccessibleTableInterface* cells = QAccessible::queryAccessibleInterface(strip)->tableInterface();
        QVERIFY(cells);
        QVERIFY(cells->cellAt(22, 0)->state().selected);
        QVERIFY(!cells->cellAt(20, 0)->state().selected);
        QCOMPARE(cells->selectedCellCount(), 1);

        // Thumbnails arrive and are painted.
        h.settleAndPaint();
        QCOMPARE(strip->loader().image(h.store.shots()[22].thumbnailSource()).size(), QSize(108, 72));

        // The badge names the files of a shot with a RAW.
        Shot shot = h.store.shots()[22];
        QCOMPARE(ThumbnailDelegate::badgeText(shot), QString());
        shot.files = ShotFiles::both(u"/a.jpg"_s, u"/a.dng"_s);
        QCOMPARE(ThumbnailDelegate::badgeText(shot), u"J+R"_s);
        shot.files = ShotFiles::rawOnly(u"/a.rw2"_s);
        QCOMPARE(ThumbnailDelegate::badgeText(shot), u"RAW"_s);
    }
};

QTEST_MAIN(FilmstripTest)
#include "FilmstripTest.moc"
