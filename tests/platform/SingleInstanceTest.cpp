#include "platform/SingleInstance.h"
#include "platform/InstanceMessage.h"
#include "platform/SingleInstanceLauncher.h"

#include <QElapsedTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUuid>
#include <QtConcurrent>

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// Every test listens under its own name, so it never meets a running viewer.
QString uniqueName() {
    return u"zorva-test."_s + QUuid::createUuid().toString(QUuid::WithoutBraces);
}

struct Run {
    int exitCode = -1;
    QString errors;
};

// Runs the helper while this thread's event loop keeps serving the listener.
Run runHelper(const QStringList& arguments) {
    QProcess helper;
    helper.start(QString::fromUtf8(ZV_INSTANCE_HELPER), arguments);
    if (!helper.waitForStarted())
        return {};
    QSignalSpy finished(&helper, &QProcess::finished);
    if (!finished.wait(15'000))
        return {};
    return {helper.exitStatus() == QProcess::NormalExit ? helper.exitCode() : -1,
            QString::fromUtf8(helper.readAllStandardError())};
}

} // namespace

// The viewer's single instance, and the launcher that starts it or brings it
// to the front.
class SingleInstanceTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Each later launch hands its folder, or none, to the first instance and exits.
    void laterLaunchesHandOverTheirFolderAndExit() {
        const QString name = uniqueName();
        SingleInstance first(name);
        QCOMPARE(first.claim({}, QDeadlineTimer(5000)), SingleInstance::Claim::primary);
        QSignalSpy activated(&first, &SingleInstance::activationRequested);
        for (const QString& folder : {u"/media/anna/ZORVA 1/DCIM"_s, QString()}) {
            const Run later = runHelper({u"claim"_s, name, folder});
            QVERIFY2(later.exitCode == 0, qPrintable(later.errors));
            QCOMPARE(activated.size(), 1);
            QCOMPARE(activated.takeFirst().first().toString(), folder);
        }
    }

    void nameIsFreeOnceTheFirstInstanceIsGone() {
        const QString name = uniqueName();
        {
            SingleInstance first(name);
            QCOMPARE(first.claim({}, QDeadlineTimer(5000)), SingleInstance::Claim::primary);
        }
        // Nobody listens: the helper becomes the first instance itself.
        QCOMPARE(runHelper({u"claim"_s, name, u"/tmp"_s}).exitCode, 2);
        SingleInstance again(name);
        QCOMPARE(again.claim({}, QDeadlineTimer(5000)), SingleInstance::Claim::primary);
        QCOMPARE(SingleInstance::handOver(uniqueName(), {}, QDeadlineTimer(1000)), false);
        // An instance that is quitting lets go of the name before it is gone.
        again.release();
        QCOMPARE(runHelper({u"claim"_s, name, u"/tmp"_s}).exitCode, 2);
    }

    void badOrSilentClientsAreDroppedWithoutBlockingOthers() {
        const QString name = uniqueName();
        SingleInstance first(name);
        QCOMPARE(first.claim({}, QDeadlineTimer(5000)), SingleInstance::Claim::primary);
        QSignalSpy activated(&first, &SingleInstance::activationRequested);

        // Garbage: the connection is closed without an answer.
        QCOMPARE(runHelper({u"send"_s, name, QString::fromLatin1(QByteArray("GET / HTTP/1.1\r\n").toHex())})
                     .exitCode,
                 1);
        // Half a message from a client that then says nothing more.
        QLocalSocket silent;
        silent.setSocketOptions(QLocalSocket::AbstractNamespaceOption);
        silent.connectToServer(name);
        QVERIFY(silent.waitForConnected(5000));
        silent.write(InstanceMessage{u"/tmp"_s}.encode().first(6));
        QVERIFY(silent.waitForBytesWritten(5000));

        // Meanwhile a real launch is served.
        QCOMPARE(runHelper({u"claim"_s, name, u"/srv/photos"_s}).exitCode, 0);
        QCOMPARE(activated.size(), 1);
        QCOMPARE(activated.first().first().toString(), u"/srv/photos"_s);
        QCOMPARE(silent.state(), QLocalSocket::ConnectedState);

        // A message that arrives in pieces counts once complete.
        const QByteArray message = InstanceMessage{u"/tmp/slow"_s}.encode();
        silent.write(message.sliced(6));
        QVERIFY(activated.wait(5000));
        QCOMPARE(activated.last().first().toString(), u"/tmp/slow"_s);
    }

    void anotherUserIsRefusedOnBothEnds() {
        if (::getuid() != 0)
            QSKIP("needs root to run the other end as another user");
        const QString name = uniqueName();
        SingleInstance first(name);
        QCOMPARE(first.claim({}, QDeadlineTimer(5000)), SingleInstance::Claim::primary);
        QSignalSpy activated(&first, &SingleInstance::activationRequested);

        // Another user's launch refuses to hand its folder to our listener...
        const Run claim = runHelper({u"claim"_s, name, u"/tmp"_s, u"--as-nobody"_s});
        QCOMPARE(claim.exitCode, 1);
        QVERIFY2(claim.errors.contains(u"another user"_s), qPrintable(claim.errors));
        // ...and our listener takes nothing from another user.
        const QString bytes = QString::fromLatin1(InstanceMessage{u"/tmp"_s}.encode().toHex());
        QCOMPARE(runHelper({u"send"_s, name, bytes, u"--as-nobody"_s}).exitCode, 1);
        QCOMPARE(activated.size(), 0);
        QCOMPARE(runHelper({u"send"_s, name, bytes}).exitCode, 0);
        QCOMPARE(activated.size(), 1);
    }

    void nameBelongsToTheUserAndTheSession() {
        const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
        qputenv("XDG_RUNTIME_DIR", "/run/user/1000");
        const QString session = SingleInstance::nameForCurrentUser();
        qputenv("XDG_RUNTIME_DIR", "/tmp/another-runtime");
        const QString other = SingleInstance::nameForCurrentUser();
        qputenv("XDG_RUNTIME_DIR", saved);

        QVERIFY(session.startsWith(QString::fromLatin1(ZV_APPLICATION_ID) + u'.' +
                                   QString::number(::getuid()) + u'.'));
        QVERIFY(session != other);
        // An abstract socket name has room for 107 bytes.
        QVERIFY(session.toUtf8().size() < 100);
    }

    // The launcher brings a running viewer to the front instead of starting another.
    void launcherBringsTheRunningViewerToTheFront() {
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

    // With no viewer the launcher starts the program; a missing program, or a
    // listener that never answers, is an error, and reported in time.
    void launcherStartsTheProgramOrSaysWhyNot() {
        QTemporaryDir dir;
        const QString marker = dir.filePath(u"started"_s);
        SingleInstanceLauncher launcher(uniqueName(), u"/bin/sh"_s, {u"-c"_s, u"touch \"$0\""_s, marker});
        QVERIFY(launcher.openViewer(QDeadlineTimer(5000)).has_value());
        QTRY_VERIFY(QFile::exists(marker));
        const auto missing = SingleInstanceLauncher(uniqueName(), u"/nonexistent/zorva-viewer"_s)
                                 .openViewer(QDeadlineTimer(5000));
        QVERIFY(!missing.has_value());
        QVERIFY(!missing.error().message.isEmpty());

        // Connections are queued by the kernel, and this listener never answers.
        const QString name = uniqueName();
        QLocalServer silent;
        silent.setSocketOptions(QLocalServer::AbstractNamespaceOption);
        QVERIFY(silent.listen(name));
        QElapsedTimer clock;
        clock.start();
        const auto unanswered =
            SingleInstanceLauncher(name, u"/nonexistent/zorva-viewer"_s).openViewer(QDeadlineTimer(300));
        QVERIFY(!unanswered.has_value());
        QCOMPARE(unanswered.error().message, u"The running viewer did not answer."_s);
        QVERIFY2(clock.elapsed() < 3000, qPrintable(QString::number(clock.elapsed())));
    }
};

QTEST_GUILESS_MAIN(SingleInstanceTest)
#include "SingleInstanceTest.moc"
