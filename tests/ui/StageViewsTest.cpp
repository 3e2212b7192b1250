// Mouse events go through the window, so that moving the pointer onto and off
// the stage enters and leaves it, as on the desktop.
#define QTEST_QPA_MOUSE_HANDLING

#include "UiHarness.h"

#include "ui/CapsuleLabel.h"
#include "ui/FailureNotice.h"
#include "ui/PhotoCanvas.h"
#include "ui/StageArrow.h"
#include "ui/ViewerToolbar.h"

#include <QElapsedTimer>
#include <QGraphicsOpacityEffect>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;

namespace {

double opacity(QWidget* widget) {
    return static_cast<QGraphicsOpacityEffect*>(widget->graphicsEffect())->opacity();
}

QPoint centreOf(QWidget* widget) {
    return widget->geometry().center();
}

} // namespace

class StageViewsTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;

private Q_SLOTS:
    void initTestCase() { writeShots(dir_.path(), 4); }

    void readingArrowsBannerAndSpinner() {
        ViewerHarness h;
        auto* scanning = child<QWidget>(h.window, u"scanningView"_s);
        auto* spinner = child<QWidget>(h.window, u"loadingSpinner"_s);
        PhotoStage* stage = h.stage();
        {
            PoolGate gate(h.store.pools().userInitiated());
            h.store.open(PhotoSource::folder(dir_.path()));
            QVERIFY(scanning->isVisible());
            QVERIFY(!child<QWidget>(h.window, u"emptyLibrary"_s)->isVisible());
        }
        h.settle();
        QVERIFY(!scanning->isVisible());
        QVERIFY(stage->canvas()->isVisible());

        auto* previous = child<StageArrow>(h.window, u"previousArrow"_s);
        auto* next = child<StageArrow>(h.window, u"nextArrow"_s);
        QWidget* toolbar = h.window.toolbar();
        QTest::mouseMove(toolbar, toolbar->rect().center());
        QTRY_VERIFY(!next->isVisible());

        // They fade in over 0.15 seconds while the pointer is over the stage.
        QElapsedTimer fading;
        fading.start();
        QTest::mouseMove(stage, stage->rect().center());
        QVERIFY(next->isVisible() && previous->isVisible());
        QTRY_COMPARE(opacity(next), 1.0);
        QVERIFY2(fading.elapsed() >= 140, qPrintable(QString::number(fading.elapsed())));
        // 12 points from the stage's sides, centred on its height.
        QCOMPARE(previous->geometry(), QRect(12, (stage->height() - 88) / 2, 44, 88));
        QCOMPARE(stage->width() - next->geometry().right() - 1, 12);

        const std::pair<StageArrow*, int> clicks[] = {{next, 1}, {next, 2}, {previous, 1}};
        for (const auto& [arrow, index] : clicks) {
            QTest::mouseClick(arrow, Qt::LeftButton);
            QCOMPARE(h.store.currentIndex(), index);
        }

        // Off the stage they fade out and take no clicks.
        QTest::mouseMove(toolbar, toolbar->rect().center());
        QVERIFY(opacity(next) > 0);
        QTRY_VERIFY(!next->isVisible() && !previous->isVisible());

        // A look's name shows, then fades.
        auto* banner = child<CapsuleLabel>(h.window, u"lookBanner"_s);
        QVERIFY(!banner->isVisible());

        h.store.selectLook(Look::chrome);
        QVERIFY(banner->isVisible());
        QCOMPARE(banner->text(), u"Chrome"_s);
        QVERIFY((centreOf(banner) - stage->rect().center()).manhattanLength() <= 1);
        QTRY_COMPARE(opacity(banner), 1.0);
        // The pointer passes through it: a double click on it zooms the photo.
        QTest::mouseDClick(stage, Qt::LeftButton, {}, stage->rect().center());
        QVERIFY(h.store.zoom() > 1);
        // The store lets it go after 0.9 seconds; it fades out, then hides.
        std::optional<bool> shownWhenLetGo;
        connect(&h.store, &ViewerStore::lookBannerChanged, this,
                [&] { shownWhenLetGo = banner->isVisible(); });
        QTRY_VERIFY(!banner->isVisible());
        QCOMPARE(shownWhenLetGo, true);

        // A photo not shown yet that takes longer than 0.15 seconds shows the spinner, and only then.
        PoolGate gate(h.store.pools().userInitiated());
        QElapsedTimer waiting;
        waiting.start();
        h.store.select(3);
        QVERIFY(!spinner->isVisible());
        QTRY_VERIFY(spinner->isVisible());
        QVERIFY2(waiting.elapsed() >= 140, qPrintable(QString::number(waiting.elapsed())));
        // In the top-right corner, 12 points in.
        QCOMPARE(spinner->y(), 12);
        QCOMPARE(stage->width() - spinner->geometry().right() - 1, 12);
        gate.release();
        h.settle();
        QVERIFY(!spinner->isVisible());
    }

    void failureNoticeAndFormatBadge() {
        // A card whose newest JPEG is cut short, a JPEG + RAW pair whose RAW is
        // damaged, and a RAW on its own.
        QTemporaryDir card;
        const QString folder = card.filePath(u"DCIM/100ZORVA/"_s);
        QFile jpeg(TestImages::writeJpeg(card.filePath(u"red.jpg"_s), QSize(600, 400), Qt::red));
        QVERIFY(jpeg.open(QIODevice::ReadOnly));
        const QByteArray good = jpeg.readAll();
        FileTree::writeAt(folder + u"ZRV_0001.JPG"_s, at(1), good);
        FileTree::writeAt(folder + u"ZRV_0002.JPG"_s, at(2), good);
        FileTree::writeAt(folder + u"ZRV_0002.DNG"_s, at(2), "not a raw");
        FileTree::writeAt(folder + u"ZRV_0003.RW2"_s, at(3), "not a raw");
        FileTree::writeAt(folder + u"ZRV_0004.JPG"_s, at(4), good.left(300));

        ViewerHarness h;
        h.store.open(PhotoSource::camera(u"ZR-1"_s, card.filePath(u"DCIM"_s)));
        h.settle();
        PhotoStage* stage = h.stage();
        auto* notice = child<FailureNotice>(h.window, u"failureNotice"_s);
        auto* format = child<CapsuleLabel>(h.window, u"formatBadge"_s);
        QCOMPARE(h.store.currentShot()->name, u"ZRV_0004"_s);
        QVERIFY(notice->isVisible());
        QCOMPARE(notice->message(), u"Can't read ZRV_0004.JPG."_s);
        QVERIFY((centreOf(notice) - stage->rect().center()).manhattanLength() <= 1);
        QVERIFY(!stage->canvas()->isVisible());
        h.store.toggleImmersive();
        QVERIFY(notice->isVisible());
        h.store.toggleImmersive();

        h.store.select(1);
        h.settle();
        QCOMPARE(format->text(), u"RAW"_s);
        QCOMPARE(format->toolTip(), u"This shot has only a RAW"_s);
        QCOMPARE(notice->message(), u"Can't read ZRV_0003.RW2."_s);

        h.store.select(2);
        h.settle();
        QVERIFY(!notice->isVisible());
        QVERIFY(stage->canvas()->isVisible());
        QCOMPARE(format->text(), u"JPEG"_s);
        QCOMPARE(format->toolTip(), u"Press R to switch between JPEG and RAW"_s);
        h.key(Qt::Key_R);
        h.settle();
        QCOMPARE(format->text(), u"RAW"_s);
        QCOMPARE(format->toolTip(), u"Press R to switch between JPEG and RAW"_s);
        QVERIFY(notice->isVisible());
        QCOMPARE(notice->message(), u"Can't read ZRV_0002.DNG."_s);
    }
};

QTEST_MAIN(StageViewsTest)
#include "StageViewsTest.moc"
