#include "platform/FreedesktopTrash.h"
#include "support/FileTree.h"

#include <QDirIterator>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {
QByteArray contentOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
} // namespace

class TrashTest : public QObject {
    Q_OBJECT

    QTemporaryDir home_;

    int trashInfoCount() const {
        return int(QDir(home_.filePath(u"data/Trash/info"_s)).entryList(QDir::Files).size());
    }

private Q_SLOTS:
    void initTestCase() {
        // The home Trash lives in a folder of the test's own.
        qputenv("XDG_DATA_HOME", home_.filePath(u"data"_s).toUtf8());
    }

    // Restoring never overwrites a file that took the name meanwhile, and
    // never loses the Trash copy.
    void movesToTheTrashAndBackWithoutLoss() {
        QTemporaryDir card;
        const QString jpeg = FileTree::write(card.filePath(u"ZRV_0001.JPG"_s), "jpeg bytes");
        FreedesktopTrash trash;

        // The data folder does not exist yet: moving must create what it needs.
        const auto moved = trash.moveToTrash(jpeg);
        QVERIFY2(moved, qPrintable(moved.error()));
        QVERIFY(moved->has_value());
        const QString inTrash = **moved;
        QVERIFY(!QFileInfo::exists(jpeg));
        QCOMPARE(contentOf(inTrash), QByteArray("jpeg bytes"));
        QCOMPARE(trashInfoCount(), 1);

        // A new file took the name: both survive, the old one stays in the Trash.
        FileTree::write(jpeg, "new");
        QVERIFY(!trash.restore(inTrash, jpeg));
        QCOMPARE(contentOf(jpeg), QByteArray("new"));
        QCOMPARE(contentOf(inTrash), QByteArray("jpeg bytes"));

        QVERIFY(QFile::remove(jpeg));
        QVERIFY(trash.restore(inTrash, jpeg));
        QCOMPARE(contentOf(jpeg), QByteArray("jpeg bytes"));
        QVERIFY(!QFileInfo::exists(inTrash));
        QCOMPARE(trashInfoCount(), 0);

        // A Trash copy that vanished is an error, not a crash.
        const QString vanished = **trash.moveToTrash(jpeg);
        QVERIFY(QFile::remove(vanished));
        QVERIFY(!trash.restore(vanished, jpeg));
        QVERIFY(!QFileInfo::exists(jpeg));
    }

    void movesAcrossFileSystemsByVerifiedCopy() {
        QTemporaryDir local;
        QTemporaryDir shared(u"/dev/shm/zorva-trash-XXXXXX"_s);
        struct stat a;
        struct stat b;
        if (!shared.isValid() || ::stat(QFile::encodeName(local.path()).constData(), &a) != 0 ||
            ::stat(QFile::encodeName(shared.path()).constData(), &b) != 0 || a.st_dev == b.st_dev)
            QSKIP("needs two file systems");

        QByteArray payload(3 << 20, '\0');
        for (qsizetype i = 0; i < payload.size(); ++i)
            payload[i] = char(i * 7);
        const QString from = FileTree::write(shared.filePath(u"RAW.DNG"_s), payload);
        const QString to = local.filePath(u"RAW.DNG"_s);
        QVERIFY(FreedesktopTrash::moveNoReplace(from, to));
        QCOMPARE(contentOf(to), payload);
        QVERIFY(!QFileInfo::exists(from));
        // No temporary file is left beside it.
        QCOMPARE(QDir(local.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);

        // Never onto an existing file, even across file systems.
        const QString again = FileTree::write(shared.filePath(u"RAW.DNG"_s), "other");
        QVERIFY(!FreedesktopTrash::moveNoReplace(again, to));
        QCOMPARE(contentOf(to), payload);
        QCOMPARE(contentOf(again), QByteArray("other"));
    }
};

QTEST_GUILESS_MAIN(TrashTest)
#include "TrashTest.moc"
