#include "support/FileTree.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

class ZorvaScanTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void endsEachLineWithTheShotsId() {
        QTemporaryDir dir;
        const QDateTime morning(QDate(2026, 6, 1), QTime(10, 0), Qt::UTC);
        FileTree::writeAt(dir.filePath(u"a/X.JPG"_s), morning.addSecs(60));
        FileTree::writeAt(dir.filePath(u"A/X.JPG"_s), morning);

        QProcess scan;
        scan.start(QString::fromUtf8(ZV_SCAN_EXECUTABLE), {dir.path()});
        QVERIFY(scan.waitForFinished(30'000));
        QCOMPARE(scan.exitCode(), 0);
        const QStringList lines =
            QString::fromUtf8(scan.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(lines, (QStringList{u"X jpeg 2026-06-01T10:01:00.000Z "_s + dir.filePath(u"a/X.JPG"_s) +
                                         u" id="_s + dir.filePath(u"a/X"_s),
                                     u"X jpeg 2026-06-01T10:00:00.000Z "_s + dir.filePath(u"A/X.JPG"_s) +
                                         u" id="_s + dir.filePath(u"A/X"_s)}));
    }
};

QTEST_GUILESS_MAIN(ZorvaScanTest)
#include "ZorvaScanTest.moc"
