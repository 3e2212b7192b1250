#include "tv/CastSession.h"
#include "platform/Background.h"
#include "support/FakeCastReceiver.h"

#include <QJsonObject>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>

#include <cerrno>
#include <memory>

using namespace Qt::StringLiterals;
using Event = CastSession::Event;

namespace {

const QString kHeartbeatUrn = u"urn:x-cast:com.google.cast.tp.heartbeat"_s;

} // namespace

class CastSessionTest : public QObject {
    Q_OBJECT

    // Events arrive on the session's thread and are collected on this one.
    QList<Event> events_;
    std::unique_ptr<FakeCastReceiver> tv_;
    std::unique_ptr<CastSession> session_;
    int barriers_ = 0;

    void open(std::chrono::milliseconds heartbeat = CastSession::kHeartbeatInterval, quint16 port = 0) {
        session_ = std::make_unique<CastSession>(
            ServiceEndpoint{u"127.0.0.1"_s, port ? port : tv_->port()},
            [this](const Event& event) {
                Background::toMainThread(this, [this, event] { events_.append(event); });
            },
            heartbeat);
        session_->start();
    }
    // Opens a session and waits for it to join the application.
    bool openReady() {
        open();
        return QTest::qWaitFor([&] { return events_.size() == 1; }, 10000);
    }

    // Waits until everything the session was told before has been answered:
    // a PING from a unique source comes back as a PONG to that source.
    bool roundTrip() {
        const QString source = u"barrier-"_s + QString::number(++barriers_);
        tv_->sendJson(source, CastMessage::Namespace::heartbeat, QJsonObject{{u"type"_s, u"PING"_s}});
        const CastMessage pong(u"sender-0"_s, source, kHeartbeatUrn, uR"({"type":"PONG"})"_s);
        return QTest::qWaitFor([&] { return tv_->received.contains(pong); }, 10000);
    }
    // Delivers every event the session produced for the calls made so far: a
    // synchronous call runs after them on its queue.
    void settle() {
        session_->localIPv4();
        QCoreApplication::processEvents();
    }

private Q_SLOTS:
    void init() {
        events_.clear();
        tv_ = std::make_unique<FakeCastReceiver>();
        QString error;
        if (!tv_->start(&error))
            QSKIP(qPrintable(u"no TLS test receiver: "_s + error));
    }
    void cleanup() {
        session_.reset();
        tv_.reset();
    }

    // Connect, launch, join, load, answer pings, stop: the messages and their request ids.
    void wholeFlow() {
        open();
        QTRY_COMPARE_WITH_TIMEOUT(events_, QList<Event>{Event::ready()}, 10000);
        QVERIFY(roundTrip());
        QCOMPARE(tv_->received.size(), 4); // CONNECT, LAUNCH, CONNECT to the app, PONG
        QCOMPARE(tv_->received[0],
                 CastMessage(u"sender-0"_s, u"receiver-0"_s, u"urn:x-cast:com.google.cast.tp.connection"_s,
                             uR"({"type":"CONNECT"})"_s));
        QCOMPARE(tv_->received[1].destination, u"receiver-0"_s);
        QCOMPARE(tv_->received[1].namespaceUrn, u"urn:x-cast:com.google.cast.receiver"_s);
        QCOMPARE(tv_->ofType(u"LAUNCH"_s).value(0),
                 (QJsonObject{{u"type"_s, u"LAUNCH"_s}, {u"appId"_s, u"CC1AD845"_s}, {u"requestId"_s, 1}}));
        QCOMPARE(tv_->received[2].destination, u"web-7"_s);
        QCOMPARE(tv_->received[2].payload, uR"({"type":"CONNECT"})"_s);

        QCOMPARE(session_->localIPv4(), u"127.0.0.1"_s);

        session_->showJPEG(u"http://127.0.0.1:9/photo/1.jpg"_s);
        QVERIFY(roundTrip());
        QCOMPARE(tv_->received.size(), 6); // ..., LOAD, PONG
        QCOMPARE(tv_->received[4].destination, u"web-7"_s);
        QCOMPARE(tv_->received[4].namespaceUrn, u"urn:x-cast:com.google.cast.media"_s);
        const QJsonObject media{{u"contentId"_s, u"http://127.0.0.1:9/photo/1.jpg"_s},
                                {u"contentType"_s, u"image/jpeg"_s},
                                {u"streamType"_s, u"NONE"_s}};
        QCOMPARE(tv_->ofType(u"LOAD"_s).value(0), (QJsonObject{{u"type"_s, u"LOAD"_s},
                                                               {u"requestId"_s, 2},
                                                               {u"sessionId"_s, u"session-7"_s},
                                                               {u"autoplay"_s, true},
                                                               {u"media"_s, media}}));

        // The application listed again changes nothing and sends nothing.
        const qsizetype before = tv_->received.size();
        tv_->sendStatus(true);
        QVERIFY(roundTrip());
        QCOMPARE(tv_->received.size(), before + 1);
        QCOMPARE(events_.size(), 1);

        session_->stop();
        QTRY_COMPARE_WITH_TIMEOUT(events_.size(), 2, 10000);
        QCOMPARE(events_[1], Event::ended());
        QTRY_VERIFY_WITH_TIMEOUT(tv_->peerClosed, 10000);
        QCOMPARE(
            tv_->ofType(u"STOP"_s).value(0),
            (QJsonObject{{u"type"_s, u"STOP"_s}, {u"sessionId"_s, u"session-7"_s}, {u"requestId"_s, 3}}));
        session_->stop();
        settle();
        QCOMPARE(events_.size(), 2);
    }

    // Photos asked for before the application is joined: only the last is loaded, once.
    void pendingUrlIsReplaced() {
        tv_->answersLaunch = false;
        open();
        QTRY_VERIFY_WITH_TIMEOUT(!tv_->ofType(u"LAUNCH"_s).isEmpty(), 10000);
        session_->showJPEG(u"http://h/photo/1.jpg"_s);
        session_->showJPEG(u"http://h/photo/2.jpg"_s);
        // A status without the application before the launch completed is ignored.
        tv_->sendStatus(false);
        QVERIFY(roundTrip());
        QVERIFY(events_.isEmpty());
        QVERIFY(tv_->ofType(u"LOAD"_s).isEmpty());
        tv_->sendStatus(true);
        QTRY_COMPARE_WITH_TIMEOUT(events_, QList<Event>{Event::ready()}, 10000);
        QVERIFY(roundTrip());
        const QList<QJsonObject> loads = tv_->ofType(u"LOAD"_s);
        QCOMPARE(loads.size(), 1);
        QCOMPARE(loads[0][u"media"_s][u"contentId"_s].toString(), u"http://h/photo/2.jpg"_s);
        QCOMPARE(loads[0][u"requestId"_s].toInt(), 2);

        // The application gone from a status while joined ends the session.
        tv_->sendStatus(false);
        QTRY_COMPARE_WITH_TIMEOUT(events_, (QList<Event>{Event::ready(), Event::ended()}), 10000);
    }

    // CLOSE ends the session only from the application's own channel.
    void closeFromTheApplication() {
        QVERIFY(openReady());
        tv_->sendJson(u"receiver-0"_s, CastMessage::Namespace::connection, {{u"type"_s, u"CLOSE"_s}});
        QVERIFY(roundTrip());
        QCOMPARE(events_.size(), 1);
        tv_->sendJson(u"web-7"_s, CastMessage::Namespace::connection, {{u"type"_s, u"CLOSE"_s}});
        QTRY_COMPARE_WITH_TIMEOUT(events_, (QList<Event>{Event::ready(), Event::ended()}), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(tv_->peerClosed, 10000);
    }

    // A refused LOAD is reported, and the connection stays open.
    void loadFailedKeepsTheConnection() {
        QVERIFY(openReady());
        tv_->sendJson(u"web-7"_s, CastMessage::Namespace::media, {{u"type"_s, u"LOAD_FAILED"_s}});
        QTRY_COMPARE_WITH_TIMEOUT(events_.size(), 2, 10000);
        QCOMPARE(events_[1], Event::failed(u"The TV could not load the photo."_s));
        tv_->sendJson(u"web-7"_s, CastMessage::Namespace::media, {{u"type"_s, u"INVALID_REQUEST"_s}});
        QTRY_COMPARE_WITH_TIMEOUT(events_.size(), 3, 10000);
        QVERIFY(roundTrip());
        QVERIFY(tv_->isConnected());
    }

    void stopBeforeJoining() {
        tv_->answersLaunch = false;
        open();
        QTRY_VERIFY_WITH_TIMEOUT(!tv_->ofType(u"LAUNCH"_s).isEmpty(), 10000);
        session_->stop();
        QTRY_COMPARE_WITH_TIMEOUT(events_, QList<Event>{Event::ended()}, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(tv_->peerClosed, 10000);
        QVERIFY(tv_->ofType(u"STOP"_s).isEmpty());
    }

    // The device closing the stream ends the session once; a later stop adds nothing.
    void deviceClosesTheStream() {
        QVERIFY(openReady());
        tv_->close();
        QTRY_COMPARE_WITH_TIMEOUT(events_, (QList<Event>{Event::ready(), Event::ended()}), 10000);
        session_->stop();
        settle();
        QCOMPARE(events_.size(), 2);
    }

    // A frame announcing more than 64 KiB fails the session; an undecodable one is skipped.
    void framesOverTheLimitOrMalformed() {
        QVERIFY(openReady());
        tv_->sendRaw(QByteArray::fromHex("00000006") + QByteArray::fromHex("2d0102030405"));
        tv_->sendRaw(QByteArray::fromHex("00000000"));
        QVERIFY(roundTrip());
        QCOMPARE(events_.size(), 1);
        // Exactly at the limit is still read.
        tv_->sendRaw(QByteArray::fromHex("00010000") + QByteArray(65536, '\x2d'));
        QVERIFY(roundTrip());
        QCOMPARE(events_.size(), 1);
        tv_->sendRaw(QByteArray::fromHex("ffffffff") + QByteArray(1000, 'x'));
        QTRY_COMPARE_WITH_TIMEOUT(events_.size(), 2, 10000);
        QCOMPARE(events_[1].kind, Event::Kind::failed);
        QCOMPARE(events_[1].message, u"The TV sent a message that is too long."_s);
        QTRY_VERIFY_WITH_TIMEOUT(tv_->peerClosed, 10000);
    }

    // A device that floods, garbles or hangs ends the session with a failure
    // soon, instead of making it buffer without bound.
    void hostileDevices_data() {
        QTest::addColumn<bool>("reads");
        QTest::addColumn<int>("heartbeatMs");
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<QString>("reason");
        const QString tooLong = u"The TV sent a message that is too long."_s;
        const QString gone = u"The TV stopped responding."_s;
        QTest::newRow("2 GiB length")
            << true << 5000 << QByteArray::fromHex("80000000") + QByteArray(1000, 'x') << tooLong;
        QByteArray noise(64 * 1024, Qt::Uninitialized);
        QRandomGenerator random(20);
        random.fillRange(reinterpret_cast<quint32*>(noise.data()), noise.size() / 4);
        QTest::newRow("random bytes") << true << 5000 << noise << tooLong;
        // 60,000 PINGs of 300 bytes: their PONGs overflow every socket buffer on the way.
        QByteArray flood;
        const QByteArray ping =
            CastMessage(QString(200, u'p'), u"receiver-0"_s, kHeartbeatUrn, uR"({"type":"PING"})"_s).framed();
        for (int i = 0; i < 60'000; ++i)
            flood += ping;
        QTest::newRow("PING flood, not reading") << false << 5000 << flood << gone;
        QTest::newRow("stops reading") << false << 100 << QByteArray() << gone;
    }
    void hostileDevices() {
        QFETCH(bool, reads);
        QFETCH(int, heartbeatMs);
        QFETCH(QByteArray, sent);
        QFETCH(QString, reason);
        tv_->reads = reads;
        open(std::chrono::milliseconds(heartbeatMs));
        QTRY_VERIFY_WITH_TIMEOUT(tv_->isConnected(), 10000);
        tv_->sendRaw(sent);
        QTRY_VERIFY_WITH_TIMEOUT(!events_.isEmpty() && events_.last().kind == Event::Kind::failed, 10000);
        QCOMPARE(events_.last(), Event::failed(reason));
        QTRY_VERIFY_WITH_TIMEOUT(!tv_->isConnected(), 10000);
    }

    void heartbeat() {
        open(std::chrono::milliseconds(100));
        const CastMessage ping(u"sender-0"_s, u"receiver-0"_s, kHeartbeatUrn, uR"({"type":"PING"})"_s);
        QTRY_VERIFY_WITH_TIMEOUT(tv_->received.count(ping) >= 3, 10000);
    }

    void unreachableDeviceFails() {
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        const quint16 port = closed.serverPort();
        closed.close();
        open(CastSession::kHeartbeatInterval, port);
        QCOMPARE(session_->localIPv4(), std::nullopt);
        QTRY_COMPARE_WITH_TIMEOUT(events_.size(), 1, 10000);
        QCOMPARE(events_[0].kind, Event::Kind::failed);
        QVERIFY(!events_[0].message.isEmpty());
    }

    void describe() {
        const QString local = u"Can't reach the TV. Check that this Mac may use the local network: System "
                              u"Settings › Privacy & Security › Local Network."_s;
        for (const int code : {ENETUNREACH, ETIMEDOUT, EHOSTUNREACH})
            QCOMPARE(CastSession::describe({code, u"Network problem"_s}), local);
        QCOMPARE(CastSession::describe({ECONNREFUSED, u"Connection refused"_s}), u"Connection refused"_s);
        QCOMPARE(CastSession::describe({0, u"Remote host closed"_s}), u"Remote host closed"_s);

        QCOMPARE(CastSession::ipv4Text(u"192.168.1.20%en0"_s), u"192.168.1.20"_s);
        QCOMPARE(CastSession::ipv4Text(u"10.0.0.7"_s), u"10.0.0.7"_s);
        QCOMPARE(CastSession::ipv4Text(u"fe80::1%eth0"_s), std::nullopt);
        QCOMPARE(CastSession::ipv4Text(QString()), std::nullopt);
    }
};

QTEST_GUILESS_MAIN(CastSessionTest)
#include "CastSessionTest.moc"
