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

int trashInfoCount(const QString& dataHome) {
    return int(QDir(dataHome + u"/Trash/info"_s).entryList(QDir::Files).size());
}
} // namespace

class TrashTest : public QObject {
    Q_OBJECT

    QTemporaryDir home_;

private Q_SLOTS:
    void initTestCase() {
        // The home Trash lives in a folder of the test's own.
        qputenv("XDG_DATA_HOME", home_.filePath(u"data"_s).toUtf8());
    }

    void movesToTheTrashAndBack() {
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
        QCOMPARE(trashInfoCount(home_.filePath(u"data"_s)), 1);

        QVERIFY(trash.restore(inTrash, jpeg));
        QCOMPARE(contentOf(jpeg), QByteArray("jpeg bytes"));
        QVERIFY(!QFileInfo::exists(inTrash));
        QCOMPARE(trashInfoCount(home_.filePath(u"data"_s)), 0);
    }

    void restoreNeverOverwritesOrLoses() {
        QTemporaryDir card;
        const QString jpeg = FileTree::write(card.filePath(u"A.JPG"_s), "old");
        FreedesktopTrash trash;
        const QString inTrash = **trash.moveToTrash(jpeg);

        // A new file took the name meanwhile: both survive, the old one stays in the Trash.
        FileTree::write(jpeg, "new");
        QVERIFY(!trash.restore(inTrash, jpeg));
        QCOMPARE(contentOf(jpeg), QByteArray("new"));
        QCOMPARE(contentOf(inTrash), QByteArray("old"));

        // A Trash copy that vanished is an error, not a crash.
        QFile::remove(inTrash);
        QFile::remove(jpeg);
        QVERIFY(!trash.restore(inTrash, jpeg));
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
