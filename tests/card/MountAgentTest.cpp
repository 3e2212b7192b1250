#include "card/MountAgent.h"

#include "CardFakes.h"
#include "support/FileTree.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

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

} // namespace

class MountAgentTest : public QObject {
    Q_OBJECT

    std::optional<QTemporaryDir> sandbox_;
    FakeVolumes volumes_;
    FakeDevices devices_;
    FakeLauncher launcher_;
    RecordingLog log_;

    QString stateFolder() const { return sandbox_->filePath(u"data/Zorva Viewer"_s); }
    QString stateFile() const { return stateFolder() + u"/mounted-cards"_s; }

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

    QByteArray state() const {
        QFile file(stateFile());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<none>");
    }

    static QByteArray line(const Volume& volume) {
        return QByteArray::number(volume.mountId) + ' ' + volume.mountPoint.toUtf8();
    }

private Q_SLOTS:
    void init() {
        sandbox_.emplace();
        QVERIFY(sandbox_->isValid());
        volumes_.answers.clear();
        volumes_.reads = 0;
        devices_.byMountPoint.clear();
        launcher_ = {};
        log_ = {};
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
