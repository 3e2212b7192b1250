#include "platform/TaskPools.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QSemaphore>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace Qt::StringLiterals;

class TaskPoolsTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void aStuckJobDoesNotKeepTheProcessFromEnding() {
        QTemporaryDir dir;
        const QString fifo = dir.filePath(u"card.jpg"_s);
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);

        QProcess stuck;
        auto cleanup = qScopeGuard([&] {
            stuck.kill();
            stuck.waitForFinished();
        });
        QElapsedTimer clock;
        clock.start();
        stuck.start(QString::fromUtf8(ZV_STUCK_JOB_HELPER), {fifo});
        QVERIFY(stuck.waitForFinished(20'000));
        // Two seconds of waiting, then out, with the output that was still buffered.
        QVERIFY2(clock.elapsed() < 15'000, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(stuck.exitStatus(), QProcess::NormalExit);
        QCOMPARE(stuck.exitCode(), 0);
        QCOMPARE(stuck.readAllStandardOutput(), QByteArray("waiting\n"));

        // With nothing stuck, the wait returns and the program ends as usual.
        QProcess quick;
        quick.start(QString::fromUtf8(ZV_STUCK_JOB_HELPER), {u"--quick"_s});
        QVERIFY(quick.waitForFinished(20'000));
        QCOMPARE(quick.exitCode(), 0);
        QCOMPARE(quick.readAllStandardOutput(), QByteArray("waiting\nreturned\n"));
    }

    void waitingIsBounded() {
        QSemaphore release;
        TaskPools pools;
        pools.utility()->start([&release] { release.acquire(); });
        const bool doneWhileBlocked = pools.waitForDone(QDeadlineTimer(50));
        release.release();
        QVERIFY(!doneWhileBlocked);
        QVERIFY(pools.waitForDone(QDeadlineTimer(10'000)));
    }
};

QTEST_GUILESS_MAIN(TaskPoolsTest)
#include "TaskPoolsTest.moc"
