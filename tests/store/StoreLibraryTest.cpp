#include "StoreFakes.h"

#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// A mounted card: a real folder with DCIM/100ZORVA and `count` JPEGs, newest last.
Volume makeCard(const QTemporaryDir& dir, const QString& name, int id, int count) {
    const QString mountPoint = dir.filePath(name);
    QDir().mkpath(mountPoint + u"/DCIM/100ZORVA"_s);
    for (int i = 0; i < count; ++i)
        FileTree::writeAt(mountPoint + u"/DCIM/100ZORVA/ZRV_%1.JPG"_s.arg(i, 4, 10, QLatin1Char('0')), at(i));
    return Volume{mountPoint, name, id, dev_t(id)};
}

} // namespace

class StoreLibraryTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void opensACameraMountedBeforeStartUntilAnotherAppears() {
        QTemporaryDir dir;
        StoreHarness h;
        const Volume card = makeCard(dir, u"CARD"_s, 10, 3);
        h.volumes.volumes = {card};

        QCOMPARE(h.store.library(), Library::empty(PhotoSource::none()));
        QList<Library> states;
        connect(&h.store, &ViewerStore::libraryChanged, this, [&] { states.append(h.store.library()); });
        h.store.start();
        QVERIFY(h.volumes.watching);
        const PhotoSource source = PhotoSource::camera(u"CARD"_s, card.mountPoint + u"/DCIM"_s);
        QCOMPARE(h.window.activations, 1);

        // A small card may finish scanning before start() returns.
        h.settle();
        QCOMPARE(states, (QList<Library>{Library::scanning(source), Library::loaded(source)}));
        QCOMPARE(h.store.shots().size(), 3);
        QCOMPARE(h.store.currentIndex(), 0);
        QCOMPARE(h.store.currentShot()->name, u"ZRV_0002"_s); // newest first

        // Selecting moves only within the list; reopening makes the newest current again.
        QSignalSpy spy(&h.store, &ViewerStore::currentIndexChanged);
        for (int outside : {0, -1, 3})
            h.store.select(outside);
        QCOMPARE(spy.count(), 0);
        h.store.select(2);
        QCOMPARE(spy.count(), 1);
        QCOMPARE(h.store.currentShot()->name, u"ZRV_0000"_s);
        h.store.open(source);
        h.settle();
        QCOMPARE(h.store.currentIndex(), 0);

        // A folder opened while the card stays mounted, with an edit on its second shot.
        const QString folder = dir.filePath(u"Trip"_s);
        FileTree::writeAt(folder + u"/A.JPG"_s, at(1));
        FileTree::writeAt(folder + u"/B.JPG"_s, at(2));
        h.openAndSettle(folder);
        h.store.select(1);
        Edit edit;
        edit.look = Look::noir;
        h.store.setCurrentEdit(edit);

        // Unrelated volumes coming and going leave the folder and its edit alone.
        QDir().mkpath(dir.filePath(u"LOOP"_s));
        h.volumes.mount(Volume{dir.filePath(u"LOOP"_s), u"LOOP"_s, 41, 41});
        h.volumes.unmount(dir.filePath(u"LOOP"_s));
        h.settle();
        QCOMPARE(h.store.library(), Library::loaded(PhotoSource::folder(folder)));
        QCOMPARE(h.store.currentIndex(), 1);
        QCOMPARE(h.store.currentEdit(), edit);
        QCOMPARE(h.window.activations, 1);

        // Another card appearing, here one the device database names, replaces the folder.
        const Volume other = makeCard(dir, u"OTHER"_s, 42, 4);
        h.devices.byMountPoint[other.mountPoint] = {u"ZORVA"_s, u"ZR-1"_s};
        h.volumes.mount(other);
        QCOMPARE(h.store.library().source,
                 PhotoSource::camera(u"Zorva ZR-1"_s, other.mountPoint + u"/DCIM"_s));
        QCOMPARE(h.window.activations, 2);
        h.settle();
        QCOMPARE(h.store.shots().size(), 4);
    }

    void followsMountsAndUnmounts() {
        QTemporaryDir dir;
        StoreHarness h;
        const QString folder = dir.filePath(u"Trip"_s);
        FileTree::writeAt(folder + u"/A.JPG"_s, at(1));
        FileTree::writeAt(folder + u"/B.JPG"_s, at(2));
        h.store.start();
        QCOMPARE(h.window.activations, 0);

        // A cancelled folder dialog and an empty folder.
        h.store.chooseFolder();
        QCOMPARE(h.chooser.asked, 1);
        QCOMPARE(h.store.library(), Library::empty(PhotoSource::none()));
        QDir().mkpath(dir.filePath(u"Empty"_s));
        h.openAndSettle(dir.filePath(u"Empty"_s));
        QCOMPARE(h.store.library(), Library::empty(PhotoSource::folder(dir.filePath(u"Empty"_s))));

        h.chooser.answer = folder;
        h.store.chooseFolder();
        h.settle();
        QCOMPARE(h.store.library(), Library::loaded(PhotoSource::folder(folder)));

        // A plain disk without DCIM changes nothing.
        QSignalSpy librarySpy(&h.store, &ViewerStore::libraryChanged);
        QSignalSpy shotsSpy(&h.store, &ViewerStore::shotsChanged);
        QDir().mkpath(dir.filePath(u"DISK"_s));
        h.volumes.mount(Volume{dir.filePath(u"DISK"_s), u"DISK"_s, 20, 20});
        h.settle();
        QCOMPARE(librarySpy.count(), 0);

        // A card replaces the folder and brings the window forward.
        const Volume card = makeCard(dir, u"CARD"_s, 21, 4);
        h.volumes.mount(card);
        const PhotoSource cardSource = PhotoSource::camera(u"CARD"_s, card.mountPoint + u"/DCIM"_s);
        QCOMPARE(h.store.library().source, cardSource); // scanning, or already loaded
        QCOMPARE(h.window.activations, 1);
        h.settle();
        QCOMPARE(h.store.library(), Library::loaded(cardSource));
        h.store.select(2);

        // Unrelated volumes coming and going keep the card's list and position.
        librarySpy.clear();
        shotsSpy.clear();
        h.volumes.unmount(dir.filePath(u"DISK"_s));
        QDir().mkpath(dir.filePath(u"OTHER"_s));
        h.volumes.mount(Volume{dir.filePath(u"OTHER"_s), u"OTHER"_s, 22, 22});
        h.settle();
        QCOMPARE(librarySpy.count(), 0);
        QCOMPARE(shotsSpy.count(), 0);
        QCOMPARE(h.store.currentIndex(), 2);
        QCOMPARE(h.window.activations, 1);

        // The card going away empties the library.
        h.volumes.unmount(card.mountPoint);
        QCOMPARE(h.store.library(), Library::empty(PhotoSource::none()));
        QVERIFY(h.store.shots().isEmpty());

        // With a folder open, the card going away (no camera left) leaves the folder alone.
        h.store.open(PhotoSource::folder(folder));
        h.settle();
        h.volumes.unmount(dir.filePath(u"OTHER"_s));
        QCOMPARE(h.store.library(), Library::loaded(PhotoSource::folder(folder)));
        h.store.open(PhotoSource::none());
        QCOMPARE(h.store.library(), Library::empty(PhotoSource::none()));
    }

    void dropsScansOvertakenByANewerOpen() {
        QTemporaryDir dir;
        StoreHarness h;
        // A slow scan of a large tree, then a quick one of a small folder.
        const QString large = dir.filePath(u"Large"_s);
        for (int f = 0; f < 20; ++f) {
            for (int i = 0; i < 200; ++i)
                FileTree::write(large + u"/%1/IMG_%2.JPG"_s.arg(f).arg(i));
        }
        const QString small = dir.filePath(u"Small"_s);
        FileTree::writeAt(small + u"/ONLY.JPG"_s, at(1));

        h.store.open(PhotoSource::folder(large));
        h.store.open(PhotoSource::folder(small));
        h.settle();
        QCOMPARE(h.store.library(), Library::loaded(PhotoSource::folder(small)));
        QCOMPARE(h.store.shots().size(), 1);

        // A card's scan that finishes after the card went away is dropped too.
        const Volume card = makeCard(dir, u"CARD"_s, 30, 2);
        h.store.start();
        h.volumes.mount(card);
        h.volumes.unmount(card.mountPoint);
        h.settle();
        QCOMPARE(h.store.library(), Library::empty(PhotoSource::none()));
        QVERIFY(h.store.shots().isEmpty());
    }
};

QTEST_GUILESS_MAIN(StoreLibraryTest)
#include "StoreLibraryTest.moc"
