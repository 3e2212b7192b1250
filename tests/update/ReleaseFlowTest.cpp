#include "support/LocalHttpServer.h"

#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

QString script(const QString& name) {
    return QStringLiteral(ZV_SOURCE_DIR "/scripts/") + name;
}

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class ReleaseFlowTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void releaseInstallUpdate();

private:
    // Runs a program with the event loop going (the feed server lives here);
    // answers its standard output, failing the test on a non-zero exit.
    QByteArray run(const QString& program, const QStringList& arguments) {
        QProcess process;
        process.setProcessEnvironment(environment_);
        QSignalSpy finished(&process, &QProcess::finished);
        process.start(program, arguments);
        if (!finished.wait(120000))
            qWarning("%s did not finish", qPrintable(program));
        const QByteArray errors = process.readAllStandardError();
        const QByteArray output = process.readAllStandardOutput();
        if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
            qWarning("%s exited with %d:\n%s%s", qPrintable(program), process.exitCode(), output.constData(),
                     errors.constData());
        return process.exitCode() == 0 ? output
                                       : QByteArray("exit ") + QByteArray::number(process.exitCode());
    }

    QProcessEnvironment environment_ = QProcessEnvironment::systemEnvironment();
};

void ReleaseFlowTest::releaseInstallUpdate() {
    QTemporaryDir root;
    const QString keys = root.filePath(u"keys"_s);
    const QString out = root.filePath(u"out"_s);
    const QString home = root.filePath(u"home"_s);
    environment_.insert(u"HOME"_s, home);
    LocalHttpServer server;

    run(script(u"make-signing-key"_s), {keys});
    QVERIFY(QFileInfo(keys + u"/private.pem"_s).permissions().testFlag(QFile::ReadOwner));
    QVERIFY(!QFileInfo(keys + u"/private.pem"_s).permissions().testFlag(QFile::ReadOther));
    run(script(u"make-release"_s), {u"--build-dir"_s, QStringLiteral(ZV_BINARY_DIR), u"--key"_s,
                                    keys + u"/private.pem"_s, u"--version"_s, u"9.1"_s, u"--build"_s, u"9"_s,
                                    u"--url-base"_s, server.url(u"/releases"_s), u"--out"_s, out});
    const QByteArray feed = readAll(out + u"/latest.json"_s);
    QVERIFY(feed.contains(
        QByteArray("\"url\": \"" + server.url(u"/releases/zorva-viewer-9.1.zip"_s).toUtf8() + '"')));
    server.serve(u"/latest.json"_s, {200, feed, "application/json"});
    server.serve(u"/releases/zorva-viewer-9.1.zip"_s, {200, readAll(out + u"/zorva-viewer-9.1.zip"_s)});

    // A user install of this build: build number 0, linked and with its desktop entry.
    run(script(u"install"_s), {u"--build-dir"_s, QStringLiteral(ZV_BINARY_DIR)});
    const QString bundle = home + u"/.local/zorva-viewer.app"_s;
    QVERIFY(readAll(bundle + u"/bundle.json"_s).contains("\"build\": \"0\""));
    QCOMPARE(QFileInfo(home + u"/.local/bin/zorva-viewer"_s).symLinkTarget(),
             bundle + u"/bin/zorva-viewer"_s);
    QVERIFY(readAll(home + u"/.local/share/applications/org.zorva.Viewer.desktop"_s)
                .contains(QByteArray("Exec=\"" + bundle.toUtf8() + "/bin/zorva-viewer\" %f")));

    const QStringList check = {u"--feed"_s, server.url(u"/latest.json"_s), u"--bundle"_s, bundle,
                               u"--key"_s,  keys + u"/public.pem"_s};
    QCOMPARE(run(QStringLiteral(ZV_UPDATE_TOOL), check),
             QByteArray("checking\ndownloading 9.1\ninstalled 9.1\n"));
    QVERIFY(readAll(bundle + u"/bundle.json"_s).contains("\"version\": \"9.1\""));
    QCOMPARE(QDir(home + u"/.local"_s).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             (QStringList{u"bin"_s, u"share"_s, u"zorva-viewer.app"_s}));
    QVERIFY(run(bundle + u"/bin/zorva-viewer"_s, {u"--version"_s}).startsWith("Zorva Viewer "));

    // Now current: the same feed installs nothing.
    QCOMPARE(run(QStringLiteral(ZV_UPDATE_TOOL), check), QByteArray("checking\nidle\n"));
}

QTEST_GUILESS_MAIN(ReleaseFlowTest)
#include "ReleaseFlowTest.moc"
