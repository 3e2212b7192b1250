#include "platform/SingleInstance.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

const QString kViewer = QString::fromUtf8(ZV_VIEWER_EXECUTABLE);
const QString kService =
    u"config/systemd/user/"_s + QString::fromLatin1(ZV_APPLICATION_ID) + u".on-mount.service"_s;

// A user of its own: home, XDG folders and runtime folder in the sandbox, no
// display of any kind unless offscreen, no session bus.
struct Sandbox {
    QTemporaryDir dir;
    Sandbox() {
        QDir(dir.path()).mkdir(u"runtime"_s);
        QFile::setPermissions(dir.filePath(u"runtime"_s),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    QString stateFile() const { return dir.filePath(u"data/Zorva Viewer/mounted-cards"_s); }
    QString instanceName() const { return SingleInstance::nameFor(dir.filePath(u"runtime"_s)); }

    void start(QProcess& process, const QStringList& arguments, bool offscreen) const {
        QProcessEnvironment environment;
        environment.insert(u"PATH"_s, u"/usr/bin:/bin"_s);
        environment.insert(u"HOME"_s, dir.path());
        for (const QString& folder : {u"DATA"_s, u"CONFIG"_s, u"CACHE"_s})
            environment.insert(u"XDG_"_s + folder + u"_HOME"_s, dir.filePath(folder.toLower()));
        environment.insert(u"XDG_RUNTIME_DIR"_s, dir.filePath(u"runtime"_s));
        const QProcessEnvironment own = QProcessEnvironment::systemEnvironment();
        for (const QString& sanitizer : {u"ASAN_OPTIONS"_s, u"UBSAN_OPTIONS"_s, u"LSAN_OPTIONS"_s}) {
            if (own.contains(sanitizer))
                environment.insert(sanitizer, own.value(sanitizer));
        }
        if (offscreen)
            environment.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
        process.setProcessEnvironment(environment);
        process.setWorkingDirectory(dir.path());
        process.start(kViewer, arguments);
    }

    // Starts and waits for the end: whether it exited normally with 0.
    bool run(QProcess& process, const QStringList& arguments, bool offscreen = false) const {
        start(process, arguments, offscreen);
        return process.waitForFinished(30'000) && process.exitStatus() == QProcess::NormalExit &&
               process.exitCode() == 0;
    }
};

} // namespace

class ProcessEntryTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void onMountRunsTheAgentWithoutADisplay_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("alone") << QStringList{u"--on-mount"_s};
        QTest::newRow("after a folder") << QStringList{u"/srv/photos"_s, u"--on-mount"_s};
        QTest::newRow("beside a look-alike") << QStringList{u"--ON-MOUNT"_s, u"--on-mount"_s};
    }
    void onMountRunsTheAgentWithoutADisplay() {
        QFETCH(QStringList, arguments);
        Sandbox sandbox;
        QProcess agent;
        // With no display, creating any window or GUI application would abort.
        QVERIFY2(sandbox.run(agent, arguments), agent.readAllStandardError().constData());
        QVERIFY(QFile::exists(sandbox.stateFile()));
        // The agent run does not register itself; only the viewer does.
        QVERIFY(!QFile::exists(sandbox.dir.filePath(u"config/systemd"_s)));
    }

    // Other look-alikes hand over to a running viewer below.
    void lookAlikeArgumentStartsTheViewer() {
        Sandbox sandbox;
        QProcess viewer;
        sandbox.start(viewer, {u"-on-mount"_s}, true);
        auto cleanup = qScopeGuard([&] {
            viewer.kill();
            viewer.waitForFinished();
        });

        // The viewer answers on its single-instance socket; the agent never listens.
        QTRY_VERIFY_WITH_TIMEOUT(
            SingleInstance::handOver(sandbox.instanceName(), {}, QDeadlineTimer(2000)) == true, 30'000);
        QCOMPARE(viewer.state(), QProcess::Running);
        QVERIFY(!QFile::exists(sandbox.stateFile()));
        // Once launched, the viewer registers the agent (there is no user
        // systemd here, so the units are written and their start fails): the
        // service runs this very executable as the agent.
        const auto service = [&] {
            QFile file(sandbox.dir.filePath(kService));
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        };
        const QByteArray execStart =
            "\nExecStart=\"" + QFileInfo(kViewer).canonicalFilePath().toUtf8() + "\" --on-mount\n";
        QTRY_VERIFY2_WITH_TIMEOUT(service().contains(execStart), execStart.constData(), 30'000);

        // A second launch of the same user hands its folder over and exits.
        QProcess second;
        QVERIFY(sandbox.run(second, {u"photos"_s}, true));
        QCOMPARE(viewer.state(), QProcess::Running);
    }

    void helpAndVersionAnswerWithoutADisplay() {
        Sandbox sandbox;
        QProcess help;
        QVERIFY2(sandbox.run(help, {u"--help"_s}), help.readAllStandardError().constData());
        const QByteArray text = help.readAllStandardOutput();
        QVERIFY2(text.startsWith("Usage: ") && text.contains("[folder]") && text.contains("--version"),
                 text.constData());

        QProcess version;
        QVERIFY(sandbox.run(version, {u"--version"_s}));
        QCOMPARE(version.readAllStandardOutput(), QByteArray("Zorva Viewer " ZV_VERSION "\n"));
    }

    void optionsAreNeverTakenForTheFolder_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QByteArray>("complaint");
        QTest::newRow("a folder") << QStringList{u"photos"_s} << u"photos"_s << QByteArray();
        // Look-alikes of the agent's flag are the viewer's unknown options.
        QTest::newRow("an option with a value")
            << QStringList{u"--on-mount=1"_s} << QString() << QByteArray("Unknown option 'on-mount'.");
        QTest::newRow("upper case") << QStringList{u"--ON-MOUNT"_s} << QString()
                                    << QByteArray("Unknown option 'ON-MOUNT'.");
        QTest::newRow("an unknown option, then a folder")
            << QStringList{u"--frobnicate"_s, u"photos"_s} << u"photos"_s
            << QByteArray("Unknown option 'frobnicate'.");
        QTest::newRow("after the end of the options")
            << QStringList{u"--"_s, u"--help"_s} << u"--help"_s << QByteArray();
    }
    void optionsAreNeverTakenForTheFolder() {
        QFETCH(QStringList, arguments);
        QFETCH(QString, folder);
        QFETCH(QByteArray, complaint);
        Sandbox sandbox;
        // This test is the running viewer: the launch hands over what it would open.
        SingleInstance running(sandbox.instanceName());
        QCOMPARE(running.claim({}, QDeadlineTimer(5000)), SingleInstance::Claim::primary);
        QSignalSpy handedOver(&running, &SingleInstance::activationRequested);

        QProcess launch;
        QSignalSpy finished(&launch, &QProcess::finished);
        sandbox.start(launch, arguments, true);
        auto cleanup = qScopeGuard([&] {
            launch.kill();
            launch.waitForFinished();
        });
        QVERIFY(handedOver.wait(30'000));
        QCOMPARE(handedOver.first().first().toString(),
                 folder.isEmpty() ? QString() : sandbox.dir.filePath(folder));
        // It waits for this side's answer: keep the event loop running.
        QVERIFY(!finished.isEmpty() || finished.wait(30'000));
        QCOMPARE(launch.exitCode(), 0);
        const QByteArray errors = launch.readAllStandardError();
        if (complaint.isEmpty())
            QVERIFY2(!errors.contains("Unknown option"), errors.constData());
        else
            QVERIFY2(errors.contains(QByteArray("zorva-viewer: " + complaint)), errors.constData());
    }
};

QTEST_GUILESS_MAIN(ProcessEntryTest)
#include "ProcessEntryTest.moc"
