#include "platform/SingleInstanceLauncher.h"
#include "platform/SingleInstance.h"

#include <QElapsedTimer>
#include <QFile>
#include <QLocalServer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUuid>
#include <QtConcurrent>

using namespace Qt::StringLiterals;

namespace {
QString uniqueName() {
    return u"zorva-test."_s + QUuid::createUuid().toString(QUuid::WithoutBraces);
}
} // namespace

class SingleInstanceLauncherTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void runningViewerComesToTheFront() {
        const QString name = uniqueName();
        SingleInstance viewer(name);
        QCOMPARE(viewer.claim({}, QDeadlineTimer(5000)), SingleInstance::Claim::primary);
        QSignalSpy activated(&viewer, &SingleInstance::activationRequested);
        QTemporaryDir dir;
        const QString marker = dir.filePath(u"started"_s);

        // The launcher blocks for the answer, so it runs beside this thread's event loop.
        QFuture<std::expected<void, SystemError>> opened = QtConcurrent::run([&] {
            SingleInstanceLauncher launcher(name, u"/bin/sh"_s, {u"-c"_s, u"touch \"$0\""_s, marker});
            return launcher.openViewer(QDeadlineTimer(5000));
        });
        QVERIFY(activated.wait(5000));
        QCOMPARE(activated.first().first().toString(), QString());
        QTRY_VERIFY(opened.isFinished());
        QVERIFY(opened.result().has_value());
        QVERIFY2(!QFile::exists(marker), "a second viewer was started");
    }

    void withNoViewerTheProgramIsStarted() {
        QTemporaryDir dir;
        const QString marker = dir.filePath(u"started"_s);
        SingleInstanceLauncher launcher(uniqueName(), u"/bin/sh"_s, {u"-c"_s, u"touch \"$0\""_s, marker});
        QVERIFY(launcher.openViewer(QDeadlineTimer(5000)).has_value());
        QTRY_VERIFY(QFile::exists(marker));
    }

    void missingProgramIsAnError() {
        SingleInstanceLauncher launcher(uniqueName(), u"/nonexistent/zorva-viewer"_s);
        const auto opened = launcher.openViewer(QDeadlineTimer(5000));
        QVERIFY(!opened.has_value());
        QVERIFY(!opened.error().message.isEmpty());
    }

    void silentListenerEndsAtTheDeadline() {
        // Connections are queued by the kernel, and this listener never answers.
        const QString name = uniqueName();
        QLocalServer silent;
        silent.setSocketOptions(QLocalServer::AbstractNamespaceOption);
        QVERIFY(silent.listen(name));

        SingleInstanceLauncher launcher(name, u"/nonexistent/zorva-viewer"_s);
        QElapsedTimer clock;
        clock.start();
        const auto opened = launcher.openViewer(QDeadlineTimer(300));
        QVERIFY(!opened.has_value());
        QCOMPARE(opened.error().message, u"The running viewer did not answer."_s);
        QVERIFY2(clock.elapsed() < 3000, qPrintable(QString::number(clock.elapsed())));
    }
};

QTEST_GUILESS_MAIN(SingleInstanceLauncherTest)
#include "SingleInstanceLauncherTest.moc"
