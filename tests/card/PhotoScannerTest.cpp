#include "card/PhotoScanner.h"

#include "CardFakes.h"
#include "support/FileTree.h"

#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

using namespace Qt::StringLiterals;

class PhotoScannerTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void pairsByNameWithinOneFolderInAnyLetterCase() {
        QTemporaryDir dir;
        const QString a = dir.filePath(u"DCIM/100ZORVA"_s);
        const QString b = dir.filePath(u"DCIM/101ZORVA"_s);
        const QString jpeg = FileTree::writeAt(a + u"/ABCD0123.JPG"_s, at(1));
        const QString dng = FileTree::writeAt(a + u"/ABCD0123.DNG"_s, at(2));
        const QString lowerJpeg = FileTree::writeAt(a + u"/abcd0124.jpg"_s, at(3));
        const QString mixedRaw = FileTree::writeAt(a + u"/ABCD0124.Rw2"_s, at(3));
        const QString otherFolder = FileTree::writeAt(b + u"/ABCD0123.JPG"_s, at(4));
        const QString rawOnly = FileTree::writeAt(b + u"/EFGH0001.RW2"_s, at(5));

        const QList<Shot> shots = PhotoScanner::shots(dir.filePath(u"DCIM"_s));
        QCOMPARE(names(shots), (QStringList{u"EFGH0001"_s, u"ABCD0123"_s, u"abcd0124"_s, u"ABCD0123"_s}));

        QCOMPARE(shots[0].files, ShotFiles::rawOnly(rawOnly));
        QCOMPARE(shots[1].files, ShotFiles::jpegOnly(otherFolder));
        QCOMPARE(shots[2].files, ShotFiles::both(lowerJpeg, mixedRaw));
        QCOMPARE(shots[2].id, (a + u"/abcd0124"_s).toUpper());
        QCOMPARE(shots[3].files, ShotFiles::both(jpeg, dng));
        // The oldest file dates the shot.
        QCOMPARE(shots[3].captured, at(1));
        QCOMPARE(shots[3].id, (a + u"/ABCD0123"_s).toUpper());

        // A shot shows the preferred format when it has it; thumbnails and
        // trashing start from the JPEG.
        QCOMPARE(shots[0].displayFormat(ShotFormat::jpeg), ShotFormat::raw);
        QCOMPARE(shots[1].displayFormat(ShotFormat::raw), ShotFormat::jpeg);
        QCOMPARE(shots[2].displayFormat(ShotFormat::raw), ShotFormat::raw);
        QCOMPARE(shots[2].displayFormat(ShotFormat::jpeg), ShotFormat::jpeg);
        QCOMPARE(shots[0].thumbnailSource(), rawOnly);
        QCOMPARE(shots[2].thumbnailSource(), lowerJpeg);
        QCOMPARE(shots[3].files.all(), (QStringList{jpeg, dng}));
        QCOMPARE(shots[1].files.url(ShotFormat::raw), std::nullopt);
        // A rescanned shot with another date is another value with the same id.
        Shot later = shots[3];
        later.captured = at(9);
        QVERIFY(later != shots[3] && qHash(later) != qHash(shots[3]));
        QVERIFY(ShotFiles::jpegOnly(jpeg) != ShotFiles::rawOnly(jpeg));
        QVERIFY(qHash(ShotFiles::jpegOnly(jpeg)) != qHash(ShotFiles::rawOnly(jpeg)));
    }

    void skipsHiddenEntriesOtherKindsAndFolders() {
        QTemporaryDir dir;
        const QString root = dir.path();
        FileTree::writeAt(root + u"/ABCD0001.JPG"_s, at(1));
        FileTree::writeAt(root + u"/._ABCD0001.JPG"_s, at(2));
        FileTree::writeAt(root + u"/.hidden/ABCD0002.JPG"_s, at(3));
        for (const QString& name : {u"clip.mov"_s, u"photo.heic"_s, u"notes.txt"_s, u"jpg"_s})
            FileTree::writeAt(root + u'/' + name, at(4));
        // A folder named like a photo is walked into, never listed as a shot.
        FileTree::writeAt(root + u"/Album.jpg/ABCD0003.jpeg"_s, at(5));

        const QList<Shot> shots = PhotoScanner::shots(root);
        QCOMPARE(names(shots), (QStringList{u"ABCD0003"_s, u"ABCD0001"_s}));
        QCOMPARE(shots[0].files.url(ShotFormat::jpeg), root + u"/Album.jpg/ABCD0003.jpeg"_s);

        QTemporaryDir empty;
        FileTree::write(empty.filePath(u"readme.txt"_s));
        QVERIFY(PhotoScanner::shots(empty.path()).isEmpty());
        QVERIFY(PhotoScanner::shots(empty.filePath(u"missing"_s)).isEmpty());
    }

    void ordersNewestFirstThenByGreaterName() {
        QTemporaryDir dir;
        FileTree::writeAt(dir.filePath(u"ABCD0123.JPG"_s), at(7));
        FileTree::writeAt(dir.filePath(u"ABCD0124.JPG"_s), at(7));
        FileTree::writeAt(dir.filePath(u"ABCD0125.JPG"_s), at(8));
        FileTree::writeAt(dir.filePath(u"ABCD0100.JPG"_s), at(9));
        // The later of two same-kind files of one key wins; the older date stays.
        FileTree::writeAt(dir.filePath(u"ABCD0200.JPG"_s), at(3));
        FileTree::writeAt(dir.filePath(u"ABCD0200.jpeg"_s), at(1));

        const QList<Shot> shots = PhotoScanner::shots(dir.path());
        QCOMPARE(names(shots).mid(0, 4),
                 (QStringList{u"ABCD0100"_s, u"ABCD0125"_s, u"ABCD0124"_s, u"ABCD0123"_s}));
        QCOMPARE(shots.size(), 5);
        QCOMPARE(shots[4].captured, at(1));
        QVERIFY(shots[4].files.url(ShotFormat::jpeg)->startsWith(dir.filePath(u"ABCD0200."_s)));
    }

    void passesOverUnreadableFolders() {
        if (::geteuid() == 0)
            QSKIP("permissions do not apply to root");
        QTemporaryDir dir;
        FileTree::writeAt(dir.filePath(u"ok/A.JPG"_s), at(1));
        FileTree::writeAt(dir.filePath(u"locked/B.JPG"_s), at(2));
        QFile::setPermissions(dir.filePath(u"locked"_s), QFileDevice::Permissions());
        QCOMPARE(names(PhotoScanner::shots(dir.path())), QStringList{u"A"_s});
        QFile::setPermissions(dir.filePath(u"locked"_s),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }

    void choosesTheCameraVolume() {
        QTemporaryDir dir;
        auto volume = [&](const QString& name, int id) {
            return Volume{dir.filePath(name), name, id, dev_t(id)};
        };
        const Volume reader = volume(u"CARD_READER"_s, 1);
        const Volume camera = volume(u"NO_NAME"_s, 2);
        const Volume stick = volume(u"STICK"_s, 3);
        const Volume dcimFile = volume(u"ODD"_s, 4);
        QDir().mkpath(reader.mountPoint + u"/DCIM"_s);
        QDir().mkpath(camera.mountPoint + u"/DCIM"_s);
        QDir().mkpath(stick.mountPoint);
        FileTree::write(dcimFile.mountPoint + u"/DCIM"_s);

        FakeDevices devices;
        devices.byMountPoint[reader.mountPoint] = {u"Generic"_s, u"Card Reader"_s};
        devices.byMountPoint[camera.mountPoint] = {u" \tzorva  "_s, u"ZR-1 "_s};

        // A Zorva camera wins over an earlier card reader, named after its model.
        QCOMPARE(PhotoScanner::mountedCamera({stick, dcimFile, reader, camera}, devices),
                 (PhotoScanner::Camera{u"Zorva ZR-1"_s, camera.mountPoint + u"/DCIM"_s}));
        // Without one, the first volume with a DCIM folder, by its volume name.
        QCOMPARE(PhotoScanner::mountedCamera({stick, reader}, devices),
                 (PhotoScanner::Camera{u"CARD_READER"_s, reader.mountPoint + u"/DCIM"_s}));
        // A "DCIM" file is not a camera.
        QCOMPARE(PhotoScanner::mountedCamera({dcimFile, stick}, devices), std::nullopt);

        // A Zorva vendor with an empty model is just another volume.
        devices.byMountPoint[camera.mountPoint] = {u"ZORVA"_s, u" \t"_s};
        QCOMPARE(PhotoScanner::deviceIdentity(camera, devices), std::nullopt);
        QCOMPARE(PhotoScanner::mountedCamera({camera, reader}, devices),
                 (PhotoScanner::Camera{u"NO_NAME"_s, camera.mountPoint + u"/DCIM"_s}));
        devices.byMountPoint[camera.mountPoint] = {u"Zorvax"_s, u"ZR-1"_s};
        QCOMPARE(PhotoScanner::deviceIdentity(camera, devices), std::nullopt);
    }
};

QTEST_GUILESS_MAIN(PhotoScannerTest)
#include "PhotoScannerTest.moc"
