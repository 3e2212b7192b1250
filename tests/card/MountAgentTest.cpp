#include "card/MountAgent.h"

#include "CardFakes.h"
#include "platform/SystemdUserUnits.h"
#include "support/FileTree.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// The user's service manager, which a test cannot own: records the calls.
class FakeUnits final : public UserUnits {
public:
    QString unitFolder;
    bool enabled = false;
    QString failing; // the call that fails: "isEnabled", "reload" or "enableAndStart"
    QStringList calls;

    QString folder() const override { return unitFolder; }
    std::expected<bool, SystemError> isEnabled(const QString& unit) override {
        calls.append(u"isEnabled "_s + unit);
        if (failing == u"isEnabled"_s)
            return std::unexpected(SystemError{u"is-enabled broke"_s});
        return enabled;
    }
    std::expected<void, SystemError> reload() override {
        calls.append(u"reload"_s);
        if (failing == u"reload"_s)
            return std::unexpected(SystemError{u"Failed to connect to bus: No medium found"_s});
        return {};
    }
    std::expected<void, SystemError> enableAndStart(const QString& unit, bool restart) override {
        calls.append(u"enableAndStart "_s + unit + (restart ? u" restart"_s : u""_s));
        if (failing == u"enableAndStart"_s)
            return std::unexpected(SystemError{u"Unit not found."_s});
        enabled = true;
        return {};
    }
};

// The mount table, as a script of successive answers: the last one repeats.
class FakeVolumes final : public VolumeMonitor {
public:
    QList<QList<Volume>> answers;
    mutable int reads = 0;

    QList<Volume> mountedVolumes() const override {
        const int index = std::min(reads++, int(answers.size()) - 1);
        return index < 0 ? QList<Volume>() : answers[index];
    }
    void startWatching() override {}
};

class FakeLauncher final : public ViewerLauncher {
public:
    int opened = 0;
    std::optional<SystemError> failure;
    qint64 remainingMs = -1;

    std::expected<void, SystemError> openViewer(QDeadlineTimer deadline) override {
        ++opened;
        remainingMs = deadline.remainingTime();
        if (failure)
            return std::unexpected(*failure);
        return {};
    }
};

QByteArray read(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<none>");
}

const QString kPath = QString::fromLatin1(ZV_APPLICATION_ID) + u".on-mount.path"_s;
const QString kService = QString::fromLatin1(ZV_APPLICATION_ID) + u".on-mount.service"_s;
const QString kInstalled = u"/opt/zorva/bin/zorva-viewer"_s;

} // namespace

// The agent's registration in the viewer, then its runs on mounts: each test
// a user of its own in a temporary folder.
class MountAgentTest : public QObject {
    Q_OBJECT

    std::optional<QTemporaryDir> sandbox_;
    RecordingLog log_;
    FakeUnits units_;
    FakeVolumes volumes_;
    FakeDevices devices_;
    FakeLauncher launcher_;

    QString unitFile(const QString& name) const { return units_.unitFolder + u'/' + name; }

    // A user session inside the sandbox, with no service manager to reach.
    QProcessEnvironment sandboxEnvironment() const {
        QProcessEnvironment environment;
        environment.insert(u"PATH"_s, u"/usr/bin:/bin"_s);
        environment.insert(u"HOME"_s, sandbox_->path());
        environment.insert(u"XDG_CONFIG_HOME"_s, sandbox_->filePath(u"config"_s));
        environment.insert(u"XDG_RUNTIME_DIR"_s, sandbox_->path());
        return environment;
    }

    QString stateFolder() const { return sandbox_->filePath(u"data/Zorva Viewer"_s); }
    QString stateFile() const { return stateFolder() + u"/mounted-cards"_s; }
    QByteArray state() const { return read(stateFile()); }

    // A mount point under the sandbox, with or without a DCIM folder.
    Volume card(const QString& name, int mountId, bool withDcim = true) {
        const QString mountPoint = sandbox_->filePath(u"media/"_s + name);
        QDir().mkpath(withDcim ? mountPoint + u"/DCIM/100ZORVA"_s : mountPoint);
        return Volume{mountPoint, name, mountId, 0};
    }

    void mount(const QList<Volume>& volumes) { volumes_.answers = {volumes}; }

    int run(std::chrono::milliseconds settleTime = std::chrono::milliseconds(0)) {
        const int before = launcher_.opened;
        MountAgent::openViewerIfNewCameraMounted(
            {volumes_, devices_, launcher_, log_, stateFolder(), settleTime, std::chrono::milliseconds(10)});
        return launcher_.opened - before;
    }

    static QByteArray line(const Volume& volume) {
        return QByteArray::number(volume.mountId) + ' ' + volume.mountPoint.toUtf8();
    }

private Q_SLOTS:
    void init() {
        sandbox_.emplace();
        QVERIFY(sandbox_->isValid());
        log_ = {};
        units_ = {};
        units_.unitFolder = sandbox_->filePath(u"config/systemd/user"_s);
        volumes_.answers.clear();
        volumes_.reads = 0;
        devices_.byMountPoint.clear();
        launcher_ = {};
    }

    void firstRegistrationWritesEnablesAndStarts() {
        MountAgent::registerAgent(units_, log_, kInstalled);
        QCOMPARE(units_.calls, (QStringList{u"reload"_s, u"enableAndStart "_s + kPath + u" restart"_s}));
        QCOMPARE(log_.messages, QStringList());

        QCOMPARE(read(unitFile(kPath)), "[Unit]\n"
                                        "Description=Open Zorva Viewer when a camera card is mounted\n"
                                        "\n"
                                        "[Path]\n"
                                        "PathChanged=/media/%u\n"
                                        "PathChanged=/run/media/%u\n"
                                        "Unit=" ZV_APPLICATION_ID ".on-mount.service\n"
                                        "\n"
                                        "[Install]\n"
                                        "WantedBy=default.target\n");
        const QByteArray service = read(unitFile(kService));
        QVERIFY2(service.startsWith("[Unit]\n"), service.constData());
        QVERIFY(service.contains("\n[Service]\nType=oneshot\n"));
        QVERIFY(service.contains("\nExecStart=\"/opt/zorva/bin/zorva-viewer\" --on-mount\n"));
        QVERIFY(service.contains("\nKillMode=process\n"));
    }

    void laterRegistrationsDoOnlyWhatChanged() {
        MountAgent::registerAgent(units_, log_, kInstalled);
        const QDateTime old = QDateTime::currentDateTimeUtc().addDays(-1);
        for (const QString& name : {kPath, kService}) {
            QFile file(unitFile(name));
            QVERIFY(file.open(QIODevice::ReadWrite) &&
                    file.setFileTime(old, QFileDevice::FileModificationTime));
        }
        // Same content, already enabled: nothing is written or started.
        units_.calls.clear();
        MountAgent::registerAgent(units_, log_, kInstalled);
        QCOMPARE(units_.calls, QStringList{u"isEnabled "_s + kPath});
        for (const QString& name : {kPath, kService})
            QCOMPARE(QFileInfo(unitFile(name)).lastModified().toUTC(), old);

        // Same content, disabled by the user meanwhile: enabled without a reload.
        units_.enabled = false;
        units_.calls.clear();
        MountAgent::registerAgent(units_, log_, kInstalled);
        QCOMPARE(units_.calls, (QStringList{u"isEnabled "_s + kPath, u"enableAndStart "_s + kPath}));

        // The executable moved: rewritten, reloaded and restarted.
        units_.calls.clear();
        MountAgent::registerAgent(units_, log_, u"/home/anna/.local/bin/zorva-viewer"_s);
        QCOMPARE(units_.calls, (QStringList{u"reload"_s, u"enableAndStart "_s + kPath + u" restart"_s}));
        QVERIFY(read(unitFile(kService))
                    .contains("ExecStart=\"/home/anna/.local/bin/zorva-viewer\" --on-mount\n"));
        QCOMPARE(log_.messages, QStringList());
    }

    void failuresAreLoggedAndNothingThrows_data() {
        QTest::addColumn<QString>("failing");
        QTest::addColumn<bool>("registeredBefore");
        QTest::addColumn<QString>("message");
        QTest::newRow("is-enabled") << u"isEnabled"_s << true << u"MountAgent.register: is-enabled broke"_s;
        QTest::newRow("no user manager")
            << u"reload"_s << false << u"MountAgent.register: Failed to connect to bus: No medium found"_s;
        QTest::newRow("enable") << u"enableAndStart"_s << false << u"MountAgent.register: Unit not found."_s;
    }
    void failuresAreLoggedAndNothingThrows() {
        QFETCH(QString, failing);
        QFETCH(bool, registeredBefore);
        QFETCH(QString, message);
        if (registeredBefore)
            MountAgent::registerAgent(units_, log_, kInstalled);
        units_.failing = failing;
        MountAgent::registerAgent(units_, log_, kInstalled);
        QCOMPARE(log_.messages, QStringList{message});
    }

    void unitsThatCannotBeWrittenAreLoggedBeforeAnyCall() {
        // A file stands where the unit folder goes.
        FileTree::write(sandbox_->filePath(u"config/systemd"_s));
        MountAgent::registerAgent(units_, log_, kInstalled);
        QFile::remove(sandbox_->filePath(u"config/systemd"_s));
        // A path systemd cannot run: no service file at all.
        MountAgent::registerAgent(units_, log_, u"/opt/zorva \"new\"/zorva-viewer"_s);
        QVERIFY(!QFile::exists(unitFile(kService)));
        QCOMPARE(log_.messages.size(), 2);
        QVERIFY2(log_.messages[0].startsWith(u"MountAgent.register: Cannot create the folder "_s),
                 qPrintable(log_.messages[0]));
        QVERIFY2(log_.messages[1].startsWith(u"MountAgent.register: systemd cannot start a program"_s),
                 qPrintable(log_.messages[1]));
        QCOMPARE(units_.calls, QStringList());
    }

    // Blanks, percent signs and dollars in the path (the plain path's bytes
    // are checked above); systemd's own verifier accepts both units.
    void executablePathIsQuotedForSystemd() {
        // A real program at that path, since the verifier checks that it can run.
        const QString executable = sandbox_->filePath(u"my bin 100% $HOME/zorva-viewer"_s);
        QVERIFY(QDir().mkpath(QFileInfo(executable).path()));
        QVERIFY(QFile::copy(u"/bin/true"_s, executable));
        MountAgent::registerAgent(units_, log_, executable);
        QCOMPARE(log_.messages, QStringList());
        const QByteArray expected =
            "\nExecStart=\"" + sandbox_->path().toUtf8() + "/my bin 100%% $HOME/zorva-viewer\" --on-mount\n";
        QVERIFY2(read(unitFile(kService)).contains(expected), read(unitFile(kService)).constData());

        const QString analyze = QStandardPaths::findExecutable(u"systemd-analyze"_s);
        if (analyze.isEmpty())
            QSKIP("systemd-analyze is not installed");
        QProcess verify;
        verify.setProcessEnvironment(sandboxEnvironment());
        verify.start(analyze, {u"--user"_s, u"verify"_s, unitFile(kPath), unitFile(kService)});
        QVERIFY(verify.waitForFinished(60'000));
        const QString complaints =
            QString::fromUtf8(verify.readAllStandardError() + verify.readAllStandardOutput());
        // The verifier also exits 0 on settings it ignores: it must say nothing at all.
        QVERIFY2(verify.exitCode() == 0 && complaints.isEmpty(), qPrintable(complaints));
    }

    void withoutUserSystemdRegistrationIsLogged() {
        // The real systemctl, with no user manager to reach: the case of
        // containers and CI, and of a desktop session without systemd.
        SystemdUserUnits units(units_.unitFolder, sandboxEnvironment());
        // The files are written all the same; unchanged on the next launch.
        for (int launch = 0; launch < 2; ++launch) {
            log_ = {};
            MountAgent::registerAgent(units, log_, kInstalled);
            QCOMPARE(log_.messages.size(), 1);
            QVERIFY2(log_.messages.first().startsWith(u"MountAgent.register: "_s) &&
                         log_.messages.first().size() > u"MountAgent.register: "_s.size(),
                     qPrintable(log_.messages.first()));
            QVERIFY(QFile::exists(unitFile(kPath)));
        }
    }
    void newCardOpensOnceAndIsRecorded() {
        const Volume zorva = card(u"ZORVA"_s, 41);
        mount({zorva});
        QCOMPARE(run(), 1);
        QCOMPARE(state(), line(zorva));

        // Still mounted on the next run (another volume came or went): nothing.
        QCOMPARE(run(), 0);
        QCOMPARE(state(), line(zorva));

        // Unmounted: forgotten. Mounted again it has a new mount id and opens again.
        mount({});
        QCOMPARE(run(), 0);
        QCOMPARE(state(), QByteArray());
        const Volume again = card(u"ZORVA"_s, 57);
        mount({again});
        QCOMPARE(run(), 1);
        QCOMPARE(state(), line(again));
        // Remounted with no run in between: the new mount id still opens it.
        mount({card(u"ZORVA"_s, 58)});
        QCOMPARE(run(), 1);
        QVERIFY(log_.messages.isEmpty());
    }

    void anotherCardUnderAReusedMountIdOpens() {
        const Volume first = card(u"NO_NAME"_s, 41);
        devices_.byMountPoint[first.mountPoint] = {u"ZORVA"_s, u"ZR-1"_s, u"1A2B-3C4D"_s};
        mount({first});
        QCOMPARE(run(), 1);
        QCOMPARE(state(), "41 1A2B-3C4D " + first.mountPoint.toUtf8());
        QCOMPARE(run(), 0);

        // Swapped for another card at once: the kernel gave out the same mount
        // ID again, at the same mount point, but the file system is another one.
        devices_.byMountPoint[first.mountPoint] = {u"ZORVA"_s, u"ZR-1"_s, u"5E6F-7081"_s};
        QCOMPARE(run(), 1);
        QCOMPARE(state(), "41 5E6F-7081 " + first.mountPoint.toUtf8());
    }

    void onlyNewVolumesWithADcimFolderOpen() {
        const Volume known = card(u"A"_s, 41);
        const Volume stick = card(u"STICK"_s, 42, false);
        const Volume dcimFile = card(u"ODD"_s, 44, false);
        FileTree::write(dcimFile.mountPoint + u"/DCIM"_s);
        mount({stick, dcimFile});
        QCOMPARE(run(), 0);
        QCOMPARE(state(), QByteArray());

        const Volume fresh = card(u"B"_s, 43);
        FileTree::write(stateFile(), line(known));
        mount({known, stick, dcimFile, fresh});
        QCOMPARE(run(), 1);
        // Mount order, one per line, no final line feed.
        QCOMPARE(state(), line(known) + '\n' + line(fresh));
    }

    void unusableStateFileCountsAsNone_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("asFolder");
        QTest::newRow("a folder") << QByteArray() << true;
        QTest::newRow("binary garbage") << QByteArray("\xff\xfe\x00\x01garbage\n\x80", 13) << false;
        QTest::newRow("truncated identifier") << QByteArray("41 /media/ZOR") << false;
        QTest::newRow("far too large") << QByteArray(2 * 1024 * 1024, 'x') << false;
    }
    void unusableStateFileCountsAsNone() {
        QFETCH(QByteArray, content);
        QFETCH(bool, asFolder);
        const Volume zorva = card(u"ZORVA"_s, 41);
        if (asFolder) {
            QVERIFY(QDir().mkpath(stateFile()));
        } else {
            // Even with the card's line among the bad bytes, the file is not trusted.
            FileTree::write(stateFile(), content.size() > 1024 ? content + '\n' + line(zorva) : content);
        }
        mount({zorva});
        QCOMPARE(run(), 1);
        if (!asFolder)
            QCOMPARE(state(), line(zorva));
    }

    void unwritableStateFolderStillOpens() {
        FileTree::write(stateFolder());
        mount({card(u"ZORVA"_s, 41)});
        QCOMPARE(run(), 1);
        QCOMPARE(run(), 1); // no memory, so the card is new every time
    }

    void mountPointWithLineFeedIsOneCard() {
        mount({card(u"CARD\nTWO"_s, 44)});
        QCOMPARE(run(), 1);
        QCOMPARE(run(), 0);
        QCOMPARE(state(), QByteArray("44 ") + sandbox_->filePath(u"media/CARD\\nTWO"_s).toUtf8());
    }

    void mountsAreReadAgainWhileTheySettle() {
        const Volume zorva = card(u"ZORVA"_s, 41);
        // The automount folder is there before the file system: two empty answers first.
        volumes_.answers = {{}, {}, {zorva}};
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(run(std::chrono::milliseconds(2000)), 1);
        QCOMPARE(volumes_.reads, 3);
        QVERIFY2(clock.elapsed() < 1500, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(state(), line(zorva));

        // Nothing new: the run ends once the settle time is over.
        mount({zorva});
        volumes_.reads = 0;
        clock.restart();
        QCOMPARE(run(std::chrono::milliseconds(300)), 0);
        QVERIFY2(clock.elapsed() >= 300 && clock.elapsed() < 2000,
                 qPrintable(QString::number(clock.elapsed())));
        QVERIFY(volumes_.reads > 2);
    }

    void openingIsBoundedAndFailuresAreLogged() {
        mount({card(u"ZORVA"_s, 41)});
        launcher_.failure = SystemError{u"No such file or directory"_s};
        QCOMPARE(run(), 1);
        QVERIFY2(launcher_.remainingMs > 9000 && launcher_.remainingMs <= 10'000,
                 qPrintable(QString::number(launcher_.remainingMs)));
        QCOMPARE(log_.messages,
                 QStringList{u"MountAgent: cannot open the viewer: No such file or directory"_s});
        // The card is remembered all the same: the agent does not retry.
        QCOMPARE(run(), 0);
    }
};

QTEST_GUILESS_MAIN(MountAgentTest)
#include "MountAgentTest.moc"
