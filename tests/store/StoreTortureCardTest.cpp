#include "StoreFakes.h"

#include <QElapsedTimer>
#include <QScopeGuard>
#include <QTest>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

using namespace Qt::StringLiterals;

namespace {

void check(bool done, const QByteArray& what) {
    if (!done)
        qFatal("cannot make %s", what.constData());
}

// A socket file at `path`, as a program would leave one behind.
void makeSocket(const QByteArray& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    check(fd >= 0 && size_t(path.size()) < sizeof(address.sun_path), path);
    std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
    check(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0, path);
    ::close(fd);
}

} // namespace

// A card built to break a scanner: thousands of files, deep folders, loops,
// special files and names no path can hold. The scan finishes, and the store
// lists and shows what can be shown.
class StoreTortureCardTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void aTortureCardScansAndShowsWhatItCan() {
        QTemporaryDir root;
        const QString card = root.filePath(u"DCIM"_s);
        const QByteArray folder = QFile::encodeName(card + u"/100ZORVA"_s);
        const QString photo =
            TestImages::writeJpeg(card + u"/100ZORVA/REAL0001.JPG"_s, QSize(64, 48), Qt::red);
        const QByteArray photoPath = QFile::encodeName(photo);

        // 20,000 names for one small photo, 1,000 to a folder.
        for (int f = 0; f < 20; ++f) {
            const QByteArray many = folder + "/MANY" + QByteArray::number(f);
            check(::mkdir(many.constData(), 0755) == 0, many);
            for (int i = 0; i < 1000; ++i) {
                const QByteArray name = many + "/IMG_" + QByteArray::number(i) + ".JPG";
                check(::link(photoPath.constData(), name.constData()) == 0, name);
            }
        }
        // 200 nested folders with a photo at the bottom.
        QByteArray deep = folder;
        for (int level = 0; level < 200; ++level) {
            deep += "/d";
            check(::mkdir(deep.constData(), 0755) == 0, deep);
        }
        check(::link(photoPath.constData(), QByteArray(deep + "/DEEP.JPG").constData()) == 0, deep);
        // Loops, special files named like photos, names that are not UTF-8 or hold a newline.
        check(::symlink("..", QByteArray(folder + "/UP").constData()) == 0, "a folder loop");
        check(::symlink("SELF.JPG", QByteArray(folder + "/SELF.JPG").constData()) == 0, "a link loop");
        check(::mkfifo(QByteArray(folder + "/FIFO.JPG").constData(), 0644) == 0, "a FIFO");
        makeSocket(folder + "/SOCK.JPG");
        const QByteArray notUtf8 = folder + "/\xff\xfe.JPG";
        check(::link(photoPath.constData(), notUtf8.constData()) == 0, "a non-UTF-8 name");
        check(::link(photoPath.constData(), QByteArray(folder + "/NEW\nLINE.JPG").constData()) == 0,
              "a newline");
        // A folder nobody may read (root may read anything, so it is not made then).
        const bool asRoot = ::geteuid() == 0;
        if (!asRoot) {
            TestImages::writeJpeg(card + u"/LOCKED/HIDDEN.JPG"_s, QSize(8, 8), Qt::blue);
            check(::chmod(QFile::encodeName(card + u"/LOCKED"_s).constData(), 0) == 0, "a locked folder");
        }
        // QTemporaryDir cannot remove what it cannot name or open.
        auto cleanUp = qScopeGuard([&] {
            ::unlink(notUtf8.constData());
            ::chmod(QFile::encodeName(card + u"/LOCKED"_s).constData(), 0755);
        });
        // The oldest photos, never shown before they change.
        const QStringList changing{u"VANISH"_s, u"FOLDER"_s, u"PIPE"_s};
        for (const QString& name : changing)
            FileTree::setModified(
                TestImages::writeJpeg(card + u"/100ZORVA/"_s + name + u".JPG"_s, QSize(32, 32), Qt::green),
                QDateTime(QDate(2001, 1, 1), QTime(0, 0)));
        StoreHarness h;
        QElapsedTimer clock;
        clock.start();
        h.openAndSettle(card);
        qInfo() << "scanned and settled in" << clock.elapsed() << "ms";
        QCOMPARE(h.store.library().state, Library::State::loaded);
        const QStringList listed = names(h.store.shots());
        QCOMPARE(listed.size(), 20'000 + 6);
        QCOMPARE(listed.last(3), (QStringList{u"VANISH"_s, u"PIPE"_s, u"FOLDER"_s}));
        for (const QString& name : {u"REAL0001"_s, u"DEEP"_s, u"NEW\nLINE"_s})
            QVERIFY2(listed.contains(name), qPrintable(name));
        for (const QString& name : {u"SELF"_s, u"FIFO"_s, u"SOCK"_s, u"HIDDEN"_s})
            QVERIFY2(!listed.contains(name), qPrintable(name));

        // Between scan and render, one photo goes, one becomes a folder, one a FIFO.
        const QByteArray changed = folder + "/";
        check(::unlink(QByteArray(changed + "VANISH.JPG").constData()) == 0, "a vanished file");
        check(::unlink(QByteArray(changed + "FOLDER.JPG").constData()) == 0 &&
                  ::mkdir(QByteArray(changed + "FOLDER.JPG").constData(), 0755) == 0,
              "a file turned folder");
        check(::unlink(QByteArray(changed + "PIPE.JPG").constData()) == 0 &&
                  ::mkfifo(QByteArray(changed + "PIPE.JPG").constData(), 0644) == 0,
              "a file turned FIFO");
        for (const QString& name : changing) {
            h.show(name);
            QCOMPARE(h.store.photoLoad().state, PhotoLoad::State::failed);
            QVERIFY(!h.store.photoLoad().message.isEmpty());
            QVERIFY(h.store.displayedImage().isNull());
        }
        h.show(u"NEW\nLINE"_s);
        QCOMPARE(h.store.photoLoad(), PhotoLoad::idle());
        QCOMPARE(h.store.displayedImage().size(), QSize(64, 48));
        QVERIFY2(clock.elapsed() < 20'000, "the torture card took more than 20 s");
    }
};

QTEST_GUILESS_MAIN(StoreTortureCardTest)
#include "StoreTortureCardTest.moc"
