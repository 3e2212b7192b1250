#include "tv/PhotoServer.h"
#include "support/HttpGet.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTcpSocket>
#include <QTest>
#include <QUrl>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

const QByteArray kMiss = "HTTP/1.1 404 Not Found\r\nContent-Type: text/plain\r\nContent-Length: 0\r\n"
                         "Access-Control-Allow-Origin: *\r\nConnection: close\r\n\r\n";

QByteArray randomBytes(qsizetype size) {
    QByteArray bytes(size, Qt::Uninitialized);
    for (char& byte : bytes)
        byte = char(QRandomGenerator::global()->bounded(256));
    return bytes;
}

struct Exchange {
    QByteArray reply;
    bool closedByServer = false;
};

// Sends raw bytes and reads until the server closes the connection.
Exchange exchange(quint16 port, const QByteArray& request) {
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!socket.waitForConnected(5000))
        return {};
    socket.write(request);
    Exchange result;
    while (socket.state() == QAbstractSocket::ConnectedState && socket.waitForReadyRead(5000))
        result.reply += socket.readAll();
    result.reply += socket.readAll();
    result.closedByServer = socket.state() != QAbstractSocket::ConnectedState;
    return result;
}

// Connections that send nothing; empty when one could not connect.
std::vector<std::unique_ptr<QTcpSocket>> connectSilent(quint16 port, int count) {
    std::vector<std::unique_ptr<QTcpSocket>> sockets;
    for (int i = 0; i < count; ++i) {
        sockets.push_back(std::make_unique<QTcpSocket>());
        sockets.back()->connectToHost(QHostAddress::LocalHost, port);
        if (!sockets.back()->waitForConnected(5000))
            return {};
    }
    return sockets;
}

// What a real HTTP client gets, head and body together. Under ThreadSanitizer
// the request goes through a socket of the test's own instead: across the
// fork that starting a process takes, the sanitizer loses track of what the
// main thread has handed over since, and reports its later hand-overs.
QByteArray curl(const QString& url) {
#ifdef __SANITIZE_THREAD__
    const QUrl parsed(url);
    return exchange(quint16(parsed.port()),
                    "GET " + parsed.path().toUtf8() + " HTTP/1.1\r\nHost: 127.0.0.1\r\nAccept: */*\r\n\r\n")
        .reply;
#endif
    QProcess process;
    process.start(u"curl"_s, {u"-s"_s, u"-i"_s, u"--max-time"_s, u"10"_s, url});
    if (!process.waitForFinished(15000) || process.exitCode() != 0)
        return "no reply";
    return process.readAllStandardOutput();
}

} // namespace

class PhotoServerTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() {
        if (QStandardPaths::findExecutable(u"curl"_s).isEmpty())
            QSKIP("curl is not installed (scripts/setup installs it)");
    }

    // A real HTTP client sees 404 before any photo, then only the newest path.
    void servesOnlyTheCurrentPhoto() {
        PhotoServer server;
        QVERIFY(!server.port());
        QVERIFY(server.start());
        const std::optional<quint16> port = server.port();
        QVERIFY(port && *port != 0);
        QVERIFY(server.start());
        QCOMPARE(server.port(), port);
        const QString base = u"http://127.0.0.1:"_s + QString::number(*port);

        QCOMPARE(curl(base + u"/photo/1.jpg"_s), kMiss);
        const QByteArray second = randomBytes(1'300'000);
        QCOMPARE(server.publish(randomBytes(200'000)), u"/photo/1.jpg"_s);
        QCOMPARE(server.publish(second), u"/photo/2.jpg"_s);
        QCOMPARE(curl(base + u"/photo/1.jpg"_s), kMiss);
        QVERIFY(curl(base + u"/photo/2.jpg"_s) ==
                "HTTP/1.1 200 OK\r\nContent-Type: image/jpeg\r\nContent-Length: 1300000\r\n"
                "Access-Control-Allow-Origin: *\r\nConnection: close\r\n\r\n" +
                    second);
    }

    // Raw request lines: what matches the current path, and what never does.
    void requestLines_data() {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<bool>("hit");
        QTest::newRow("several spaces") << QByteArray("GET    /photo/1.jpg   HTTP/1.1\r\n\r\n") << true;
        QTest::newRow("no version, no headers") << QByteArray("GET /photo/1.jpg\r\n") << true;
        QTest::newRow("head") << QByteArray("HEAD /photo/1.jpg HTTP/1.0\r\n\r\n") << true;
        QTest::newRow("lower-case method") << QByteArray("get /photo/1.jpg HTTP/1.1\r\n\r\n") << false;
        QTest::newRow("query") << QByteArray("GET /photo/1.jpg?a HTTP/1.1\r\n\r\n") << false;
        QTest::newRow("dot segments") << QByteArray("GET /photo/../photo/1.jpg HTTP/1.1\r\n\r\n") << false;
        QTest::newRow("a later photo") << QByteArray("GET /photo/2.jpg HTTP/1.1\r\n\r\n") << false;
        QTest::newRow("post") << QByteArray("POST /photo/1.jpg HTTP/1.1\r\n\r\n") << false;
        QTest::newRow("traversal") << QByteArray("GET /../../../../etc/passwd HTTP/1.1\r\n\r\n") << false;
        QTest::newRow("encoded traversal")
            << QByteArray("GET /photo/..%2f..%2fetc%2fpasswd HTTP/1.1\r\n\r\n") << false;
        QTest::newRow("absolute file") << QByteArray("GET /etc/passwd HTTP/1.1\r\n\r\n") << false;
        QTest::newRow("no path") << QByteArray("GET\r\n\r\n") << false;
        QTest::newRow("not UTF-8") << QByteArray("GET /photo/1.jpg\xff HTTP/1.1\r\n\r\n") << false;
        QTest::newRow("longer than the limit")
            << QByteArray("GET /photo/1.jpg" + QByteArray(3000, ' ')) << false;
    }
    void requestLines() {
        QFETCH(QByteArray, request);
        QFETCH(bool, hit);
        PhotoServer server({.maxRequestBytes = 2048});
        QVERIFY(server.start());
        const QByteArray jpeg = randomBytes(5000);
        server.publish(jpeg);
        const Exchange result = exchange(*server.port(), request);
        QVERIFY(result.closedByServer);
        if (!hit) {
            QCOMPARE(result.reply, kMiss);
        } else {
            const QByteArray head = PhotoServer::header(u"200 OK", 5000, u"image/jpeg");
            QCOMPARE(result.reply, request.startsWith("HEAD") ? head : head + jpeg);
        }
    }

    // A client that never sends its request is dropped after the idle time; past
    // the cap, the oldest of them gives way to a new connection.
    void idleConnectionsAndCap() {
        PhotoServer server({.idleTimeout = std::chrono::milliseconds(1000), .maxConnections = 3});
        QVERIFY(server.start());
        server.publish("jpeg");
        const quint16 port = *server.port();

        QElapsedTimer clock;
        clock.start();
        const auto held = connectSilent(port, 4);
        QCOMPARE(held.size(), 4u);
        QVERIFY(!held[0]->waitForReadyRead(3000));
        QCOMPARE(held[0]->state(), QAbstractSocket::UnconnectedState);
        QCOMPARE(held[1]->state(), QAbstractSocket::ConnectedState);

        held[3]->write("GET /photo/1.jpg HTTP/1.1\r\n\r\n");
        QVERIFY(held[3]->waitForDisconnected(3000) || held[3]->state() == QAbstractSocket::UnconnectedState);
        QVERIFY(held[3]->readAll().endsWith("\r\n\r\njpeg"));

        for (int i = 1; i < 3; ++i) {
            QVERIFY(held[i]->waitForDisconnected(5000) ||
                    held[i]->state() == QAbstractSocket::UnconnectedState);
            QVERIFY(held[i]->readAll().isEmpty());
        }
        QVERIFY(clock.elapsed() >= 1000);
        QCOMPARE(exchange(port, "GET /photo/1.jpg HTTP/1.1\r\n\r\n").reply,
                 PhotoServer::header(u"200 OK", 4, u"image/jpeg") + "jpeg");
    }

    // 200 clients that connect and say nothing, then a stream of garbage: the
    // server keeps at most its cap of sockets open and still serves the photo.
    void hostileClients() {
        PhotoServer server({.idleTimeout = std::chrono::minutes(5), .maxConnections = 16});
        QVERIFY(server.start());
        const QByteArray jpeg = randomBytes(300'000);
        const QString url = u"http://127.0.0.1:"_s + QString::number(*server.port()) + server.publish(jpeg);
        const auto openDescriptors = [] { return QDir(u"/proc/self/fd"_s).count(); };
        const qsizetype before = openDescriptors();

        const auto idle = connectSilent(*server.port(), 200);
        QCOMPARE(idle.size(), 200u);
        QCOMPARE(httpGet(url), jpeg);
        for (int i = 0; i < 100; ++i) {
            // Sized to end where the server stops reading, so no close resets the reply.
            const QByteArray garbage = i % 3 == 0   ? randomBytes(8193)
                                       : i % 3 == 1 ? QByteArray(8193, 'G')
                                                    : "GET " + randomBytes(50) + "\r\n";
            QCOMPARE(exchange(*server.port(), garbage).reply, kMiss);
        }
        QCOMPARE(httpGet(url), jpeg);
        // The test's own 200 sockets, the server's side of at most 16, and a few spare.
        QVERIFY2(openDescriptors() - before <= 200 + 16 + 4,
                 qPrintable(QString::number(openDescriptors() - before)));
    }
};

QTEST_GUILESS_MAIN(PhotoServerTest)
#include "PhotoServerTest.moc"
