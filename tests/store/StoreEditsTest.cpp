#include "StoreFakes.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

void compareRect(const UnitRect& actual, const UnitRect& expected) {
    QVERIFY2(
        qAbs(actual.x - expected.x) < 1e-9 && qAbs(actual.y - expected.y) < 1e-9 &&
            qAbs(actual.width - expected.width) < 1e-9 && qAbs(actual.height - expected.height) < 1e-9,
        qPrintable(u"(%1, %2, %3, %4)"_s.arg(actual.x).arg(actual.y).arg(actual.width).arg(actual.height)));
}

// Two 3:2 photos, A newer than B.
struct TwoPhotos {
    QTemporaryDir dir;
    TwoPhotos() {
        writePhoto(dir.filePath(u"A.JPG"_s), QSize(600, 400), Qt::darkCyan, at(2));
        writePhoto(dir.filePath(u"B.JPG"_s), QSize(600, 400), Qt::darkYellow, at(1));
    }
};

} // namespace

class StoreEditsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void looksCycleAndFlashOneBannerAtATime() {
        TwoPhotos photos;
        StoreHarness h(0.1);            // the banner stays 90 ms
        h.store.selectLook(Look::noir); // no shot: nothing
        h.openAndSettle(photos.dir.path());
        h.store.resetEdit(); // nothing to reset: no banner either
        QCOMPARE(h.store.lookBanner(), std::nullopt);

        // Quick changes replace the banner, which stays its full time after the first.
        QList<std::optional<Look>> banners;
        connect(&h.store, &ViewerStore::lookBannerChanged, this,
                [&] { banners.append(h.store.lookBanner()); });
        QElapsedTimer clock;
        clock.start();
        h.store.selectLook(Look::cool);
        h.store.cycleLook(1);
        h.store.cycleLook(-1);
        h.store.cycleLook(-17);
        QCOMPARE(h.store.currentEdit().look, Look::warm);
        QTRY_COMPARE(h.store.lookBanner(), std::nullopt);
        QVERIFY(clock.elapsed() >= 85);
        QCOMPARE(banners, (QList<std::optional<Look>>{Look::cool, Look::natural, Look::cool, Look::warm,
                                                      std::nullopt}));

        // The same look again still re-renders and flashes (once the renders
        // of the changes above have landed).
        h.settle();
        QSignalSpy renders(&h.store, &ViewerStore::displayedImageChanged);
        h.store.selectLook(Look::warm);
        QCOMPARE(h.store.lookBanner(), Look::warm);
        h.settle();
        QCOMPARE(renders.count(), 1);

        // Edits belong to their shot.
        h.store.select(1);
        QCOMPARE(h.store.currentEdit(), Edit{});
        h.store.select(0);
        QCOMPARE(h.store.currentEdit().look, Look::warm);

        // Reset clears everything at once and says Natural.
        Edit edit;
        edit.look = Look::fade;
        edit.adjustments.contrast = 1.2;
        edit.crop = UnitRect{0.1, 0.1, 0.5, 0.5};
        h.store.setCurrentEdit(edit);
        QCOMPARE(h.store.displayedImage().width(), 600); // not yet: the render runs in the background
        h.settle();
        QCOMPARE(h.store.displayedImage().size(), QSize(300, 200));
        h.store.resetEdit();
        QCOMPARE(h.store.currentEdit(), Edit{});
        QCOMPARE(h.store.lookBanner(), Look::natural);
        h.settle();
        QCOMPARE(h.store.displayedImage().size(), QSize(600, 400));
    }

    void cropCommitsCancelsRemovesAndTakesAnAspect() {
        TwoPhotos photos;
        StoreHarness h;
        h.openAndSettle(photos.dir.path());

        h.store.startCrop();
        QVERIFY(h.store.stageMode().isCropping());
        QVERIFY(h.store.isEditPanelShown());
        QCOMPARE(h.store.cropDraft(), UnitRect::whole());

        // Practically the whole photo: no crop.
        h.store.setCropDraft(UnitRect{0.002, 0.002, 0.996, 0.996});
        h.store.finishCrop();
        QCOMPARE(h.store.currentEdit().crop, std::nullopt);
        // One side short of it: a crop.
        h.store.startCrop();
        h.store.setCropDraft(UnitRect{0, 0, 1, 0.99});
        h.store.finishCrop();
        QCOMPARE(h.store.currentEdit().crop, (UnitRect{0, 0, 1, 0.99}));

        // Starting twice keeps the first previous crop; cancel restores it after a reset.
        h.store.startCrop();
        QCOMPARE(h.store.cropDraft(), (UnitRect{0, 0, 1, 0.99}));
        h.settle();
        QCOMPARE(h.store.displayedImage().size(), QSize(600, 400)); // the whole photo under the frame
        h.store.setCropDraft(UnitRect{0.2, 0.2, 0.3, 0.3});
        h.store.startCrop();
        QCOMPARE(h.store.stageMode(), StageMode::cropping(UnitRect{0, 0, 1, 0.99}));
        h.store.selectLook(Look::mono);
        h.store.resetEdit();
        QCOMPARE(h.store.currentEdit().crop, std::nullopt);
        h.store.cancelCrop();
        QCOMPARE(h.store.currentEdit().crop, (UnitRect{0, 0, 1, 0.99}));
        QCOMPARE(h.store.currentEdit().look, Look::natural);
        QCOMPARE(h.store.stageMode(), StageMode::viewing());

        // Leaving a shot commits its draft to it.
        h.store.startCrop();
        h.store.setCropDraft(UnitRect{0.25, 0.25, 0.5, 0.5});
        h.store.select(1);
        QCOMPARE(h.store.stageMode(), StageMode::viewing());
        QCOMPARE(h.store.currentEdit().crop, std::nullopt);
        h.store.select(0);
        QCOMPARE(h.store.currentEdit().crop, (UnitRect{0.25, 0.25, 0.5, 0.5}));

        // Aspects shape the draft, for this 3:2 photo.
        h.store.startCrop();
        h.store.resetCropDraft();
        compareRect(h.store.cropDraft(), UnitRect::whole());
        h.settle();
        QCOMPARE(h.store.cropUnitRatio(), std::nullopt);

        h.store.setCropAspect(CropAspect::square);
        compareRect(h.store.cropDraft(), UnitRect{1.0 / 6, 0, 2.0 / 3, 1});
        QCOMPARE(*h.store.cropUnitRatio(), 2.0 / 3);
        h.store.setCropDraft(UnitRect{0, 0, 1, 0.5});
        h.store.setCropAspect(CropAspect::original);
        compareRect(h.store.cropDraft(), UnitRect{0.25, 0, 0.5, 0.5});

        // A reset draft is the largest centred one of the aspect.
        for (auto [aspect, draft] : std::initializer_list<std::pair<CropAspect, UnitRect>>{
                 {CropAspect::landscape3x2, UnitRect::whole()},
                 {CropAspect::portrait4x5, UnitRect{0.5 - (0.8 / 1.5) / 2, 0, 0.8 / 1.5, 1}},
                 {CropAspect::free, UnitRect::whole()}}) {
            h.store.setCropAspect(aspect);
            h.store.resetCropDraft();
            compareRect(h.store.cropDraft(), draft);
        }
    }
};

QTEST_GUILESS_MAIN(StoreEditsTest)
#include "StoreEditsTest.moc"
