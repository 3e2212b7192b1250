#include "StoreFakes.h"

#include <QImageReader>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

class StoreSaveToastTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void savesNumberedCopiesOneAtATime() {
        QTemporaryDir card;
        writePhoto(card.filePath(u"ZRV_0001.JPG"_s), QSize(800, 600), Qt::darkRed, at(2));
        writePhoto(card.filePath(u"ZRV_0002.JPG"_s), QSize(800, 600), Qt::darkBlue, at(1));
        StoreHarness h(1.0, u"Bilder"_s); // the Pictures folder as the desktop's language names it
        h.store.saveCopy();               // nothing to save
        QCOMPARE(h.store.toast(), std::nullopt);
        h.openAndSettle(card.path());
        QCOMPARE(h.store.currentShot()->name, u"ZRV_0001"_s);

        QSignalSpy toasts(&h.store, &ViewerStore::toastChanged);
        h.store.saveCopy();
        QVERIFY(h.store.isSaving());
        h.store.saveCopy(); // ignored while the first runs
        h.settle();
        QVERIFY(!h.store.isSaving());
        QCOMPARE(toasts.count(), 1);
        const QString first = h.editsFolder() + u"/ZRV_0001 edit.jpg"_s;
        QCOMPARE(h.store.toast()->message, u"Saved ZRV_0001 edit.jpg to Bilder \u203A Zorva Edits"_s);
        QCOMPARE(h.store.toast()->action, ToastAction::showInFinder(first));
        QCOMPARE(QDir(h.home.filePath(u"Bilder/Zorva Edits"_s)).entryList(QDir::Files),
                 QStringList{u"ZRV_0001 edit.jpg"_s});
        // The edit panel's hint names the same folders.
        QCOMPARE(h.store.editsFolderLabel(), u"Bilder \u203A Zorva Edits"_s);

        h.store.perform(*h.store.toast()->action);
        QCOMPARE(h.reveal.revealed, QStringList{first});
        QCOMPARE(h.store.toast(), std::nullopt);

        // Saved again with a crop, and a save finishing after moving on names its own file.
        Edit edit;
        edit.crop = UnitRect{0, 0, 0.5, 0.5};
        h.store.setCurrentEdit(edit);
        h.store.saveCopy();
        h.store.select(1);
        h.settle();
        QCOMPARE(h.store.toast()->message, u"Saved ZRV_0001 crop.jpg to Bilder \u203A Zorva Edits"_s);
        QCOMPARE(QImageReader(h.editsFolder() + u"/ZRV_0001 crop.jpg"_s).size(), QSize(400, 300));
        h.store.select(0);
        edit.crop.reset();
        h.store.setCurrentEdit(edit);
        h.store.saveCopy();
        h.settle();
        QCOMPARE(h.store.toast()->message, u"Saved ZRV_0001 edit 2.jpg to Bilder \u203A Zorva Edits"_s);

        // During crop mode the crop from before it is saved, not the draft.
        edit.crop = UnitRect{0, 0, 0.25, 0.25};
        h.store.setCurrentEdit(edit);
        h.store.startCrop();
        h.store.setCropDraft(UnitRect{0, 0, 1, 0.5});
        h.store.saveCopy();
        h.settle();
        QCOMPARE(QImageReader(h.editsFolder() + u"/ZRV_0001 crop 2.jpg"_s).size(), QSize(200, 150));

        // Something that is not a folder stands where the edits folder should be.
        h.store.cancelCrop();
        QVERIFY(QDir(h.editsFolder()).removeRecursively());
        FileTree::write(h.editsFolder(), "not a folder");
        h.store.saveCopy();
        h.settle();
        QVERIFY(h.store.toast()->message.startsWith(u"Couldn't save: "_s));
        QCOMPARE(h.store.toast()->action, std::nullopt);
        QVERIFY(!h.store.isSaving());
    }

    void toastsReplaceKeepTheirOwnTimeAndOfferARestart() {
        QTemporaryDir card;
        for (int i = 0; i < 3; ++i)
            TestImages::writeJpeg(card.filePath(u"S%1.JPG"_s.arg(i)), QSize(64, 48), Qt::gray);
        StoreHarness h(0.02); // toasts stay 200 ms
        h.openAndSettle(card.path());

        h.store.trashCurrent();
        const Toast first = *h.store.toast();
        QTest::qWait(120);
        h.store.trashCurrent();
        const Toast second = *h.store.toast();
        QVERIFY(second.id != first.id);
        // The first toast's time runs out; the second keeps its own full time.
        QTest::qWait(120);
        QCOMPARE(h.store.toast(), second);
        QTRY_COMPARE_WITH_TIMEOUT(h.store.toast(), std::nullopt, 1000);
        h.store.undoLastTrash(); // too late
        QCOMPARE(h.store.shots().size(), 1);

        // Closed by the user, then a new toast: it too gets its full time.
        h.store.trashCurrent();
        h.store.setToast(std::nullopt);
        QTest::qWait(180);
        h.store.undoLastTrash(); // nothing on screen: nothing to undo
        QCOMPARE(h.store.shots().size(), 0);

        // An installed update offers a restart, and every toast is new, even with the same text.
        // The updater is started with the store: this test program is no installed bundle, so
        // its check ends at once and says why.
        h.store.start();
        QCOMPARE(h.store.updater().state().kind, UpdateState::Kind::failed);
        QSignalSpy toasts(&h.store, &ViewerStore::toastChanged);
        for (int i = 0; i < 2; ++i)
            h.store.updater().onInstalled(u"2.1"_s);
        QCOMPARE(toasts.count(), 2);
        QCOMPARE(h.store.toast()->message, u"Zorva Viewer 2.1 is installed"_s);
        QCOMPARE(h.store.toast()->action, std::optional(ToastAction::restartForUpdate()));
    }
};

QTEST_GUILESS_MAIN(StoreSaveToastTest)
#include "StoreSaveToastTest.moc"
