#include "UpdateFixtures.h"

#include "support/LocalHttpServer.h"

#include "update/ArchiveUnpacker.h"
#include "update/BundleSignature.h"
#include "update/InstalledBundle.h"
#include "update/Updater.h"

#include <QJsonValue>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace UpdateFixtures;

namespace {

// An installed bundle, a signing key and a feed server in one temporary folder.
struct Rig {
    QTemporaryDir root;
    LocalHttpServer server;
    KeyPair key = makeKeyPair();
    QString installed;
    QMap<QString, QByteArray> before;
    UpdateSettings settings;
    int quits = 0;

    explicit Rig(const QByteArray& installedBuild = "\"5\"") {
        installed = makeBundle(root.filePath(u"installed"_s), u"1.0"_s, installedBuild);
        before = snapshot(installed);
        settings.feed = QUrl(server.url(u"/latest.json"_s));
        settings.publicKey = key.publicPem;
        settings.identifier = u"org.zorva.Viewer"_s;
        settings.team = u"zorva"_s;
        settings.executable = installed + u"/bin/zorva-viewer"_s;
        settings.allowLocalHttp = true;
        settings.quit = [this] { ++quits; };
    }

    // A signed release bundle of its own folder.
    QString release(const QString& version, const QByteArray& build, const QByteArray& signingKey) {
        const QString bundle = makeBundle(root.filePath(u"release-"_s + version), version, '"' + build + '"');
        // Signed by a relative path, as the release scripts name bundles.
        const QString relative = QDir::current().relativeFilePath(bundle);
        if (!signingKey.isEmpty() &&
            !BundleSignature::sign(relative, signingKey, u"org.zorva.Viewer"_s, u"zorva"_s))
            qFatal("cannot sign");
        return bundle;
    }

    // Serves a signed release of `build` and answers its folder.
    QString offer(const QByteArray& build) {
        const QString bundle = release(u"2.0"_s, build, key.privatePem);
        const QByteArray archive = zip(entriesOf(QFileInfo(bundle).path(), u"zorva-viewer.app"_s));
        // In capitals: the hash's case does not matter (the failure rows give it in small letters).
        publish(archive, build.toLongLong(), UpdateFixtures::sha256(archive).toUpper());
        return bundle;
    }

    void publish(const QByteArray& archive, qint64 build, const QString& sha256,
                 const QByteArray& feed = {}) {
        server.serve(u"/zorva-viewer.zip"_s, {200, archive});
        const QByteArray json = "{\"version\": \"2.0\", \"build\": " + QByteArray::number(build) +
                                ", \"url\": \"" + server.url(u"/zorva-viewer.zip"_s).toUtf8() +
                                "\", \"sha256\": \"" + sha256.toUtf8() + "\"}";
        server.serve(u"/latest.json"_s, {200, feed.isEmpty() ? json : feed, "application/json"});
    }

    // The installed bundle is byte for byte what it was, alone in its folder.
    bool untouched() const {
        return snapshot(installed) == before &&
               QDir(QFileInfo(installed).path())
                       .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot) ==
                   QStringList{u"zorva-viewer.app"_s};
    }
};

UpdateState finalState(Updater& updater) {
    updater.check();
    (void)QTest::qWaitFor(
        [&] {
            return updater.state().kind != UpdateState::Kind::checking &&
                   updater.state().kind != UpdateState::Kind::downloading;
        },
        20000);
    return updater.state();
}

} // namespace

class UpdaterTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void buildNumberRule();
    void decidesByBuild();
    void installsAndRelaunches();
    void failuresLeaveTheBundle_data();
    void failuresLeaveTheBundle();
    void zipBombsAreRefused();
};

void UpdaterTest::buildNumberRule() {
    const QList<std::pair<QJsonValue, qint64>> cases = {
        {u"42"_s, 42}, {u"+7"_s, 7}, {u"-3"_s, -3},       {u"abc"_s, 0},     {u"1.5"_s, 0},
        {u""_s, 0},    {u" 4"_s, 0}, {QJsonValue(12), 0}, {QJsonValue(), 0},
    };
    for (const auto& [value, build] : cases)
        QCOMPARE(InstalledBundle::buildNumber(value), build);
}

void UpdaterTest::decidesByBuild() {
    const struct {
        QByteArray installedBuild;
        int feedBuild;
        bool installs;
    } cases[] = {
        {"\"6\"", 6, false},  // same build
        {"\"7\"", 6, false},  // older feed
        {"\"+6\"", 6, false}, // signed running build
        {"\"abc\"", 1, true}, // a non-numeric running build counts 0
        {"6", 6, true},       // so does one that is not text
    };
    for (const auto& c : cases) {
        Rig rig(c.installedBuild);
        rig.offer(QByteArray::number(c.feedBuild));
        Updater updater(rig.settings);
        QCOMPARE(finalState(updater), c.installs ? UpdateState::installed(u"2.0"_s) : UpdateState::idle());
        QCOMPARE(rig.server.requests(u"/zorva-viewer.zip"_s), c.installs ? 1 : 0);
        QVERIFY(c.installs || rig.untouched());
    }
}

void UpdaterTest::installsAndRelaunches() {
    Rig rig;
    const QString release = rig.offer("6");
    // Left by a check that crashed.
    FileTree::write(
        rig.root.filePath(u"installed/.zorva-viewer-update-a1b2c3/zorva-viewer.app/bundle.json"_s));

    Updater updater(rig.settings);
    QStringList states;
    connect(&updater, &Updater::stateChanged, this, [&] { states.append(updater.state().describe()); });
    QStringList installedVersions;
    updater.onInstalled = [&](const QString& version) { installedVersions.append(version); };
    updater.check();
    updater.check(); // overlapping: nothing
    QTRY_COMPARE_WITH_TIMEOUT(updater.state(), UpdateState::installed(u"2.0"_s), 20000);
    QCOMPARE(states, (QStringList{u"checking"_s, u"downloading 2.0"_s, u"installed 2.0"_s}));
    QCOMPARE(installedVersions, QStringList{u"2.0"_s});
    QCOMPARE(rig.server.requests(u"/latest.json"_s), 1);

    // The new bundle stands whole under the installed name; the old one and
    // the working folders are gone.
    QCOMPARE(snapshot(rig.installed), snapshot(release));
    QCOMPARE(QDir(QFileInfo(rig.installed).path())
                 .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{u"zorva-viewer.app"_s});

    // After an installation further checks do nothing.
    updater.check();
    QCOMPARE(updater.state(), UpdateState::installed(u"2.0"_s));
    QCOMPARE(rig.server.requests(u"/latest.json"_s), 1);

    updater.restart();
    QCOMPARE(rig.quits, 1);
    QFile relaunched(rig.root.filePath(u"installed/relaunched"_s));
    QTRY_VERIFY_WITH_TIMEOUT(relaunched.exists() && relaunched.size() > 0, 10000);
    QVERIFY(relaunched.open(QIODevice::ReadOnly));
    QCOMPARE(relaunched.readAll().trimmed(), QByteArray("2.0"));
}

void UpdaterTest::failuresLeaveTheBundle_data() {
    QTest::addColumn<QString>("text");
    const QString notSigned =
        u"The new version is not signed by Zorva Viewer's developer, so it was not installed."_s;
    QTest::newRow("hash mismatch") << u"The download was damaged."_s;
    QTest::newRow("another key") << notSigned;
    QTest::newRow("modified after signing") << notSigned;
    QTest::newRow("unlisted file") << notSigned;
    QTest::newRow("no signature") << u"Can't read the new version's signature."_s;
    QTest::newRow("zip-slip entry") << u"libarchive failed."_s;
    QTest::newRow("symlink entry") << u"libarchive failed."_s;
    QTest::newRow("over the size cap") << u"The download is larger than 1 MiB."_s;
    QTest::newRow("HTML error page") << u"The release feed could not be read"_s;
    QTest::newRow("feed missing a key") << u"The release feed has no valid \"sha256\"."_s;
    QTest::newRow("build as text") << u"The release feed has no valid \"build\"."_s;
    QTest::newRow("server stalls") << u"The download stopped: the server did not answer in time."_s;
    QTest::newRow("wrong build in the bundle") << u"The download is not the announced version."_s;
    QTest::newRow("no update key") << u"This build of Zorva Viewer can't install updates"_s;
    QTest::newRow("not a bundle") << u"This copy of Zorva Viewer was not installed"_s;
}

void UpdaterTest::failuresLeaveTheBundle() {
    QFETCH(QString, text);
    const QByteArray fault = QTest::currentDataTag();
    Rig rig;
    const QByteArray signingKey = fault == "another key"    ? makeKeyPair().privatePem
                                  : fault == "no signature" ? QByteArray()
                                                            : rig.key.privatePem;
    const QString release =
        rig.release(u"2.0"_s, fault == "wrong build in the bundle" ? "7" : "6", signingKey);
    if (fault == "modified after signing")
        FileTree::write(release + u"/share/zorva-viewer/notes.txt"_s, "changed");
    if (fault == "unlisted file")
        FileTree::write(release + u"/share/zorva-viewer/extra.txt"_s);
    if (fault == "over the size cap") {
        QByteArray noise(1536 << 10, '\0');
        QRandomGenerator(7).fillRange(reinterpret_cast<quint32*>(noise.data()), noise.size() / 4);
        FileTree::write(release + u"/share/zorva-viewer/noise"_s, noise);
        rig.settings.maxArchiveBytes = 1 << 20;
    }
    QList<Entry> entries = entriesOf(QFileInfo(release).path(), u"zorva-viewer.app"_s);
    if (fault == "zip-slip entry")
        entries.append(Entry{"zorva-viewer.app/../../escaped.txt", "x"});
    if (fault == "symlink entry")
        entries.append(Entry{"zorva-viewer.app/bin/passwd", {}, 0777, "/etc/passwd"});
    const QByteArray archive = zip(entries);
    rig.publish(archive, 6, fault == "hash mismatch" ? sha256("other") : sha256(archive));
    if (fault == "HTML error page")
        rig.server.serve(u"/latest.json"_s, {500, "<html><body>Internal error</body></html>", "text/html"});
    if (fault == "feed missing a key")
        rig.publish(archive, 6, {},
                    "{\"version\": \"2.0\", \"build\": 6, \"url\": \"https://example.org/a.zip\"}");
    if (fault == "build as text")
        rig.publish(archive, 6, {},
                    "{\"version\": \"2.0\", \"build\": \"6\", \"url\": \"https://example.org/a.zip\", "
                    "\"sha256\": \"00\"}");
    if (fault == "server stalls") {
        rig.server.serve(u"/zorva-viewer.zip"_s, {200, archive, "application/zip", true});
        rig.settings.timeoutMs = 300;
    }
    if (fault == "no update key")
        rig.settings.publicKey.clear();
    if (fault == "not a bundle")
        rig.settings.executable = FileTree::write(rig.root.filePath(u"build/zorva-viewer"_s));

    Updater updater(rig.settings);
    const UpdateState state = finalState(updater);
    QCOMPARE(state.kind, UpdateState::Kind::failed);
    QVERIFY2(state.message.startsWith(text), qPrintable(state.message));
    QVERIFY(rig.untouched());
    QVERIFY(!QFileInfo::exists(rig.root.filePath(u"escaped.txt"_s)));
}

void UpdaterTest::zipBombsAreRefused() {
    // 8 MiB of zeros packs into a few kilobytes; the unpacker stops at its limit.
    QTemporaryDir dir;
    const QByteArray archive =
        zip({{"zorva-viewer.app/", {}}, {"zorva-viewer.app/zeros", QByteArray(8 << 20, 0)}});
    QVERIFY(archive.size() < 256 << 10);
    const QString path = FileTree::write(dir.filePath(u"update.zip"_s), archive);
    const auto unpack = [&](qint64 maxBytes, int maxEntries) {
        const QString into = dir.filePath(u"out-%1-%2"_s.arg(maxBytes).arg(maxEntries));
        QDir().mkpath(into);
        return ArchiveUnpacker::unpack(path, into, maxBytes, maxEntries);
    };
    QVERIFY(unpack(16 << 20, 10));
    const auto tooBig = unpack(4 << 20, 10);
    QVERIFY(!tooBig);
    QCOMPARE(tooBig.error().errorDescription, u"libarchive failed."_s);
    QVERIFY(!unpack(16 << 20, 1));
}

QTEST_GUILESS_MAIN(UpdaterTest)
#include "UpdaterTest.moc"
