#include "platform/AvahiBrowser.h"
#include "support/FileTree.h"

#include <QDir>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

#include <memory>

using namespace Qt::StringLiterals;

// Discovery against a real avahi-daemon. The daemon, its private system bus
// and the published services live in a network namespace with only loopback
// that the test makes and removes, so nothing is announced on the machine's
// own network. Needs root (CI runs as root); elsewhere the test is skipped.
class AvahiBrowserTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString namespace_;
    std::unique_ptr<QProcess> bus_;
    std::unique_ptr<QProcess> daemon_;
    std::unique_ptr<QProcess> publisher_;
    QString publishedName_;

    static bool run(const QStringList& command, QString* error = nullptr) {
        QProcess process;
        process.start(command.first(), command.mid(1));
        const bool ok = process.waitForFinished(10000) && process.exitStatus() == QProcess::NormalExit &&
                        process.exitCode() == 0;
        if (!ok && error)
            *error = QString::fromLocal8Bit(process.readAllStandardError()).trimmed();
        return ok;
    }

    static void stop(std::unique_ptr<QProcess>& process) {
        if (!process)
            return;
        process->terminate();
        if (!process->waitForFinished(3000)) {
            process->kill();
            process->waitForFinished(3000);
        }
        process.reset();
    }

    std::unique_ptr<QProcess> launch(const QStringList& command) const {
        auto process = std::make_unique<QProcess>();
        process->setStandardErrorFile(QProcess::nullDevice());
        process->setStandardOutputFile(QProcess::nullDevice());
        process->start(command.first(), command.mid(1));
        if (!process->waitForStarted(5000))
            return nullptr;
        return process;
    }

    bool startDaemon() {
        // The daemon keeps its pid file and socket under /run: a private /run
        // in its own mount namespace keeps them apart from any host daemon.
        daemon_ =
            launch({u"ip"_s, u"netns"_s, u"exec"_s, namespace_, u"sh"_s, u"-c"_s,
                    u"mount -t tmpfs tmpfs /run && exec avahi-daemon -f '"_s +
                        dir_.filePath(u"avahi.conf"_s) + u"' --no-rlimits --no-drop-root --no-chroot"_s});
        return daemon_ != nullptr;
    }

    // (Re)starts the publisher when it is not running: right after the daemon
    // starts, the publisher may find no daemon yet and exit.
    bool published(const QString& name, const QStringList& txt) {
        if (publisher_ && publisher_->state() == QProcess::Running && publishedName_ == name)
            return true;
        stop(publisher_);
        publishedName_ = name;
        publisher_ =
            launch(QStringList{u"avahi-publish"_s, u"-s"_s, name, u"_googlecast._tcp"_s, u"8009"_s} + txt);
        return publisher_ != nullptr;
    }

    static bool has(const QList<DnsSdResult>& results, const QString& fn) {
        return std::any_of(results.begin(), results.end(), [&](const DnsSdResult& result) {
            return result.endpoint == ServiceEndpoint{u"127.0.0.1"_s, 8009} && result.txt &&
                   result.txt->value(u"fn"_s) == fn;
        });
    }

private Q_SLOTS:
    void initTestCase() {
        if (geteuid() != 0)
            QSKIP("DNS-SD test skipped: making a network namespace needs root");
        for (const QString& tool : {u"ip"_s, u"dbus-daemon"_s, u"avahi-daemon"_s, u"avahi-publish"_s}) {
            if (QStandardPaths::findExecutable(tool).isEmpty() &&
                QStandardPaths::findExecutable(tool, {u"/usr/sbin"_s, u"/sbin"_s}).isEmpty())
                QSKIP(qPrintable(u"DNS-SD test skipped: "_s + tool + u" is not installed (scripts/setup)"_s));
        }
        namespace_ = u"zv-dnssd-"_s + QString::number(QCoreApplication::applicationPid());
        QString error;
        if (!run({u"ip"_s, u"netns"_s, u"add"_s, namespace_}, &error)) {
            namespace_.clear();
            QSKIP(qPrintable(u"DNS-SD test skipped: cannot make a network namespace: "_s + error));
        }
        QVERIFY(run(
            {u"ip"_s, u"netns"_s, u"exec"_s, namespace_, u"ip"_s, u"link"_s, u"set"_s, u"lo"_s, u"up"_s}));
        if (!run({u"ip"_s, u"netns"_s, u"exec"_s, namespace_, u"mount"_s, u"-t"_s, u"tmpfs"_s, u"tmpfs"_s,
                  u"/run"_s},
                 &error))
            QSKIP(qPrintable(u"DNS-SD test skipped: cannot mount a private /run for the daemon: "_s + error));

        const QString socket = dir_.filePath(u"system_bus_socket"_s);
        const QString busConfig = FileTree::write(
            dir_.filePath(u"bus.conf"_s),
            "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
            " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
            "<busconfig><type>system</type><listen>unix:path=" +
                socket.toUtf8() +
                "</listen><auth>EXTERNAL</auth><policy context=\"default\"><allow user=\"*\"/>"
                "<allow own=\"*\"/><allow send_destination=\"*\"/><allow receive_sender=\"*\"/>"
                "</policy></busconfig>\n");
        FileTree::write(dir_.filePath(u"avahi.conf"_s),
                        "[server]\nuse-ipv4=yes\nuse-ipv6=no\nenable-dbus=yes\n"
                        "[wide-area]\nenable-wide-area=no\n[publish]\n");

        // Every D-Bus client of this process and its children uses the private bus.
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + socket.toUtf8());
        bus_ = launch({u"dbus-daemon"_s, u"--config-file="_s + busConfig, u"--nofork"_s, u"--nopidfile"_s});
        QVERIFY(bus_);
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(socket), 10000);
    }

    void cleanupTestCase() {
        stop(publisher_);
        stop(daemon_);
        stop(bus_);
        if (!namespace_.isEmpty())
            run({u"ip"_s, u"netns"_s, u"del"_s, namespace_});
    }

    // No daemon at first, then a TV appears, goes, and comes back across a
    // restart of the daemon; the set is empty whenever the daemon is away.
    void followsServicesAndTheDaemon() {
        AvahiBrowser browser;
        QList<DnsSdResult> results;
        connect(&browser, &DnsSdBrowser::resultsChanged, this,
                [&](const QList<DnsSdResult>& current) { results = current; });
        browser.start(u"_googlecast._tcp"_s);
        QCoreApplication::processEvents();
        QVERIFY(results.isEmpty());

        QVERIFY(startDaemon());
        QTRY_VERIFY_WITH_TIMEOUT(
            published(u"Den TV"_s, {u"fn=Den"_s, u"md=Chromecast"_s}) && has(results, u"Den"_s), 20000);
        QCOMPARE(results.size(), 1);
        QCOMPARE(results[0].txt->value(u"md"_s), u"Chromecast"_s);

        stop(publisher_);
        QTRY_VERIFY_WITH_TIMEOUT(results.isEmpty(), 20000);

        QTRY_VERIFY_WITH_TIMEOUT(published(u"Kitchen TV"_s, {u"fn=Kitchen"_s}) && has(results, u"Kitchen"_s),
                                 20000);
        stop(publisher_);
        stop(daemon_);
        QTRY_VERIFY_WITH_TIMEOUT(results.isEmpty(), 20000);

        QVERIFY(startDaemon());
        QTRY_VERIFY_WITH_TIMEOUT(published(u"Kitchen TV"_s, {u"fn=Kitchen"_s}) && has(results, u"Kitchen"_s),
                                 20000);
    }
};

QTEST_GUILESS_MAIN(AvahiBrowserTest)
#include "AvahiBrowserTest.moc"
