#include "card/MountAgent.h"

#include "CardFakes.h"
#include "platform/SystemdUserUnits.h"
#include "support/FileTree.h"

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

QByteArray read(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<none>");
}

const QString kPath = QString::fromLatin1(ZV_APPLICATION_ID) + u".on-mount.path"_s;
const QString kService = QString::fromLatin1(ZV_APPLICATION_ID) + u".on-mount.service"_s;
const QString kInstalled = u"/opt/zorva/bin/zorva-viewer"_s;

} // namespace

class MountAgentRegistrationTest : public QObject {
    Q_OBJECT

    std::optional<QTemporaryDir> sandbox_;
    FakeUnits units_;
    RecordingLog log_;

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

private Q_SLOTS:
    void init() {
        sandbox_.emplace();
        units_ = {};
        units_.unitFolder = sandbox_->filePath(u"config/systemd/user"_s);
        log_ = {};
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

    void executablePathIsQuotedForSystemd_data() {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QByteArray>("execStart");
        QTest::newRow("plain") << u"bin"_s << QByteArray("bin/zorva-viewer\" --on-mount");
        QTest::newRow("blank, percent and dollar")
            << u"my bin 100% $HOME"_s << QByteArray("my bin 100%% $HOME/zorva-viewer\" --on-mount");
    }
    void executablePathIsQuotedForSystemd() {
        QFETCH(QString, folder);
        QFETCH(QByteArray, execStart);
        // A real program at that path, since the verifier checks that it can run.
        const QString executable = sandbox_->filePath(folder + u"/zorva-viewer"_s);
        QVERIFY(QDir().mkpath(QFileInfo(executable).path()));
        QVERIFY(QFile::copy(u"/bin/true"_s, executable));
        MountAgent::registerAgent(units_, log_, executable);
        QCOMPARE(log_.messages, QStringList());
        const QByteArray expected = "\nExecStart=\"" + sandbox_->path().toUtf8() + '/' + execStart + '\n';
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
};

QTEST_GUILESS_MAIN(MountAgentRegistrationTest)
#include "MountAgentRegistrationTest.moc"
