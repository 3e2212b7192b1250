#include "platform/FileManagerReveal.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// A file manager on the test's session bus: answers ShowItems, or never answers.
class FakeFileManager : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")
public:
    bool answer = true;
    QStringList shown;
    QList<QDBusMessage> unanswered;

public Q_SLOTS:
    void ShowItems(const QStringList& uris, const QString& startupId, const QDBusMessage& message) {
        Q_UNUSED(startupId);
        shown += uris;
        if (!answer) {
            message.setDelayedReply(true);
            unanswered.append(message);
        }
    }
};

} // namespace

class FileManagerRevealTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void asksTheFileManagerThenFallsBackToTheFolder() {
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (!bus.isConnected())
            QSKIP("no session bus (scripts/test provides one)");

        QList<QUrl> opened;
        FileManagerReveal reveal([&](const QUrl& folder) { opened.append(folder); });

        // No file manager on the bus: the folder opens instead.
        reveal.reveal(u"/tmp/Zorva Edits/ZRV_0001 edit.jpg"_s);
        QTRY_COMPARE(opened.size(), 1);
        QCOMPARE(opened.first(), QUrl::fromLocalFile(u"/tmp/Zorva Edits"_s));

        // The file manager has a bus connection of its own, so calls really cross the bus.
        QDBusConnection managerBus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, u"fm"_s);
        FakeFileManager manager;
        QVERIFY(managerBus.registerObject(u"/org/freedesktop/FileManager1"_s, &manager,
                                          QDBusConnection::ExportAllSlots));
        QVERIFY(managerBus.registerService(u"org.freedesktop.FileManager1"_s));

        reveal.reveal(u"/tmp/Zorva Edits/ZRV_0002 edit.jpg"_s);
        QTRY_COMPARE(manager.shown.size(), 1);
        QCOMPARE(manager.shown.first(), u"file:///tmp/Zorva%20Edits/ZRV_0002%20edit.jpg"_s);
        QTest::qWait(100);
        QCOMPARE(opened.size(), 1);

        // A file manager that never answers cannot hang anything: the call times out.
        manager.answer = false;
        QElapsedTimer clock;
        clock.start();
        reveal.reveal(u"/tmp/x/ZRV_0003.jpg"_s);
        QVERIFY(clock.elapsed() < 500);
        QTRY_COMPARE_WITH_TIMEOUT(opened.size(), 2, FileManagerReveal::kTimeoutMs + 3000);
        QCOMPARE(opened.last(), QUrl::fromLocalFile(u"/tmp/x"_s));
    }
};

QTEST_GUILESS_MAIN(FileManagerRevealTest)
#include "FileManagerRevealTest.moc"
