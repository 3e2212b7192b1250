#include "card/PhotoScanner.h"

#include "CardFakes.h"
#include "support/FileTree.h"

#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// Sets a file's modification time to the nanosecond.
void setModified(const QString& path, qint64 seconds, long nanoseconds) {
    const timespec times[2] = {{time_t(seconds), nanoseconds}, {time_t(seconds), nanoseconds}};
    if (::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0) != 0)
        qFatal("cannot set the time of %s", qPrintable(path));
}

// A file whose name is the given bytes, which need not be valid UTF-8.
void createRaw(const QByteArray& path) {
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0 || ::write(fd, "x", 1) != 1)
        qFatal("cannot create %s", path.constData());
    ::close(fd);
}

} // namespace

class PhotoScannerTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void pairsByNameWithinOneFolderInAnyLetterCase() {
        QTemporaryDir dir;
        const QString a = dir.filePath(u"DCIM/100ZORVA"_s);
        // Another folder of the same name in other letter case.
        const QString b = dir.filePath(u"DCIM/100zorva"_s);
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
        QCOMPARE(shots[1].id, b + u"/ABCD0123"_s);
        QCOMPARE(shots[2].files, ShotFiles::both(lowerJpeg, mixedRaw));
        QCOMPARE(shots[2].id, a + u"/ABCD0124"_s);
        QCOMPARE(shots[3].files, ShotFiles::both(jpeg, dng));
        // The oldest file dates the shot.
        QCOMPARE(shots[3].captured, at(1));
        QCOMPARE(shots[3].id, a + u"/ABCD0123"_s);

        // A shot shows the preferred format when it has it; thumbnails and
        // trashing start from the JPEG.
        QCOMPARE(shots[0].displayFormat(ShotFormat::jpeg), ShotFormat::raw);
        QCOMPARE(shots[1].displayFormat(ShotFormat::raw), ShotFormat::jpeg);
        QCOMPARE(shots[2].displayFormat(ShotFormat::raw), ShotFormat::raw);
        QCOMPARE(shots[2].displayFormat(ShotFormat::jpeg), ShotFormat::jpeg);
        QCOMPARE(shots[0].thumbnailSource(), rawOnly);
        QCOMPARE(shots[2].thumbnailSource(), lowerJpeg);
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
        // 0.4 ms apart within one millisecond: the newer one first, whatever its name.
        const qint64 morning = at(0).toSecsSinceEpoch();
        setModified(FileTree::write(dir.filePath(u"A.JPG"_s)), morning, 500'000);
        setModified(FileTree::write(dir.filePath(u"B.JPG"_s)), morning, 100'000);

        const QList<Shot> shots = PhotoScanner::shots(dir.path());
        QCOMPARE(names(shots), (QStringList{u"ABCD0100"_s, u"ABCD0125"_s, u"ABCD0124"_s, u"ABCD0123"_s,
                                            u"ABCD0200"_s, u"A"_s, u"B"_s}));
        QCOMPARE(shots[4].captured, at(1));
        QVERIFY(shots[4].files.url(ShotFormat::jpeg)->startsWith(dir.filePath(u"ABCD0200."_s)));
    }

    void listsOnlyRegularFilesAndLinksToThem() {
        QTemporaryDir dir;
        QTemporaryDir elsewhere;
        const QString root = dir.path();
        const QString real = FileTree::writeAt(root + u"/REAL.JPG"_s, at(1));
        const QString target = FileTree::writeAt(elsewhere.filePath(u"target.jpg"_s), at(2));
        QVERIFY(QFile::link(target, root + u"/LINKED.JPG"_s));
        QVERIFY(QFile::link(elsewhere.filePath(u"missing.jpg"_s), root + u"/DANGLING.JPG"_s));
        QDir().mkpath(elsewhere.filePath(u"folder"_s));
        QVERIFY(QFile::link(elsewhere.filePath(u"folder"_s), root + u"/FOLDER.JPG"_s));
        const QByteArray fifo = QFile::encodeName(root + u"/PIPE.JPG"_s);
        QCOMPARE(::mkfifo(fifo.constData(), 0644), 0);
        QVERIFY(QFile::link(root + u"/PIPE.JPG"_s, root + u"/TOPIPE.DNG"_s));

        const QList<Shot> shots = PhotoScanner::shots(root);
        QCOMPARE(names(shots), (QStringList{u"LINKED"_s, u"REAL"_s}));
        // A link is listed under its own name, dated by the file it leads to.
        QCOMPARE(shots[0].files, ShotFiles::jpegOnly(root + u"/LINKED.JPG"_s));
        QCOMPARE(shots[0].captured, at(2));
        QCOMPARE(shots[1].files, ShotFiles::jpegOnly(real));
    }

    void passesOverNamesThatAreNotUtf8() {
        QTemporaryDir dir;
        const QByteArray root = QFile::encodeName(dir.path());
        // Octal escapes: bytes 0xff, 0xfe, 0xfd. QTemporaryDir cannot remove what it cannot name.
        const QList<QByteArray> files{"/\3771.JPG", "/\3761.JPG", "/\3761.DNG", "/\375/INSIDE.JPG"};
        auto removeByteNames = qScopeGuard([&] {
            for (const QByteArray& name : files)
                ::unlink(QByteArray(root + name).constData());
            ::rmdir(QByteArray(root + "/\xfd").constData());
        });
        QCOMPARE(::mkdir(QByteArray(root + "/\xfd").constData(), 0755), 0);
        for (const QByteArray& name : files)
            createRaw(root + name);
        const QString valid = FileTree::writeAt(dir.filePath(u"caf\u00e9.JPG"_s), at(1));

        QTest::ignoreMessage(
            QtWarningMsg,
            qPrintable(u"PhotoScanner: passed over 4 names that are not valid UTF-8 under "_s + dir.path()));
        const QList<Shot> shots = PhotoScanner::shots(dir.path());
        QCOMPARE(names(shots), QStringList{u"caf\u00e9"_s});
        QCOMPARE(shots[0].files, ShotFiles::jpegOnly(valid));
    }

    void farFileDatesSortAndShow() {
        // Dates past 2262 or before 1677 do not fit in 64-bit nanoseconds; they
        // still sort and show. tmpfs keeps any date, most disk file systems only
        // 1901 to 2446.
        QTemporaryDir far(QDir(u"/dev/shm"_s).exists() ? u"/dev/shm/scan-XXXXXX"_s : QString());
        const QDateTime year30000(QDate(30000, 1, 1), QTime(0, 0), Qt::UTC);
        const QDateTime year2300(QDate(2300, 1, 1), QTime(0, 0), Qt::UTC);
        const QDateTime year1600(QDate(1600, 1, 1), QTime(0, 0), Qt::UTC);
        const QString latest = far.filePath(u"LATEST.JPG"_s), late = far.filePath(u"LATE.JPG"_s),
                      early = far.filePath(u"EARLY.JPG"_s);
        for (const auto& [path, date] : {std::pair{latest, year30000}, {late, year2300}, {early, year1600}})
            setModified(FileTree::write(path), date.toSecsSinceEpoch(), 0);
        FileTree::writeAt(far.filePath(u"MIDDLE.JPG"_s), QDateTime(QDate(2200, 1, 1), QTime(0, 0), Qt::UTC));
        const QList<Shot> shots = PhotoScanner::shots(far.path());
        if (QFileInfo(latest).lastModified().toUTC() != year30000 ||
            QFileInfo(early).lastModified().toUTC() != year1600) {
            if (QFileInfo(late).lastModified().toUTC() != year2300)
                QSKIP("the temporary folder's file system cannot hold the year 2300");
            QCOMPARE(names(shots).mid(1, 2), (QStringList{u"LATE"_s, u"MIDDLE"_s}));
            QCOMPARE(shots[1].captured, year2300);
            return;
        }
        QCOMPARE(names(shots), (QStringList{u"LATEST"_s, u"LATE"_s, u"MIDDLE"_s, u"EARLY"_s}));
        QCOMPARE(shots[0].captured, year30000);
        QCOMPARE(shots[1].captured, year2300);
        QCOMPARE(shots[3].captured, year1600);
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
