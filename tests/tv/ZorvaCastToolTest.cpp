#include "support/FakeCastReceiver.h"
#include "support/TestImages.h"

#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

using namespace Qt::StringLiterals;

// The developer tool against a Cast receiver it knows nothing about: the
// tests' fake TV, which fetches every photo it is told to load.
class ZorvaCastToolTest : public QObject {
    Q_OBJECT

    static QString tool() { return QStringLiteral(ZV_BINARY_DIR "/tools/zorva-cast"); }

    static qsizetype fetch(const QString& url) {
        const QUrl parsed(url);
        QTcpSocket socket;
        socket.connectToHost(parsed.host(), quint16(parsed.port()));
        if (!socket.waitForConnected(5000))
            return -1;
        socket.write("GET " + parsed.path().toUtf8() + " HTTP/1.1\r\n\r\n");
        QByteArray reply;
        while (socket.state() == QAbstractSocket::ConnectedState && socket.waitForReadyRead(5000))
            reply += socket.readAll();
        reply += socket.readAll();
        if (!reply.startsWith("HTTP/1.1 200 OK\r\n"))
            return -1;
        return reply.size() - reply.indexOf("\r\n\r\n") - 4;
    }

    static bool finished(QProcess& process) { return process.state() == QProcess::NotRunning; }

private Q_SLOTS:
    void castsAFileByAddress() {
        FakeCastReceiver tv;
        QString error;
        if (!tv.start(&error))
            QSKIP(qPrintable(u"no TLS test receiver: "_s + error));
        qsizetype fetched = -1;
        tv.onMessage = [&](const CastMessage& message) {
            if (message.payload.contains(u"\"LOAD\""_s)) {
                const QJsonObject load = QJsonDocument::fromJson(message.payload.toUtf8()).object();
                fetched = fetch(load[u"media"_s][u"contentId"_s].toString());
            }
        };
        QTemporaryDir dir;
        const QString file = TestImages::writeJpeg(dir.filePath(u"IMG_1.JPG"_s), {3000, 2000}, Qt::darkCyan);

        QProcess process;
        const QString target = u"127.0.0.1:"_s + QString::number(tv.port());
        process.start(tool(), {target, file});
        QTRY_VERIFY_WITH_TIMEOUT(finished(process), 30000);
        const QString output = QString::fromUtf8(process.readAllStandardOutput());
        QCOMPARE(process.exitCode(), 0);
        QVERIFY(fetched > 1000);
        QVERIFY2(output.contains(u"connecting to "_s + target), qPrintable(output));
        QVERIFY2(output.contains(u"casting to "_s + target), qPrintable(output));
        QVERIFY2(output.contains(u"The TV fetched /photo/1.jpg"_s), qPrintable(output));
    }

    void failuresExitWithTheirText() {
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        const quint16 port = closed.serverPort();
        closed.close();
        QTemporaryDir dir;
        const QString file = TestImages::writeJpeg(dir.filePath(u"IMG_1.JPG"_s), {64, 48}, Qt::red);
        QProcess process;
        process.start(tool(), {u"127.0.0.1:"_s + QString::number(port), file});
        QVERIFY(process.waitForFinished(30000));
        QCOMPARE(process.exitCode(), 1);
        QVERIFY(!process.readAllStandardError().trimmed().isEmpty());

        process.start(tool(), {u"127.0.0.1:1"_s, dir.filePath(u"missing.jpg"_s)});
        QVERIFY(process.waitForFinished(30000));
        QCOMPARE(process.exitCode(), 1);

        process.start(tool(), {});
        QVERIFY(process.waitForFinished(30000));
        QCOMPARE(process.exitCode(), 2);
    }
};

QTEST_MAIN(ZorvaCastToolTest)
#include "ZorvaCastToolTest.moc"
