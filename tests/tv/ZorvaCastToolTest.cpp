#include "support/FakeCastReceiver.h"
#include "support/HttpGet.h"
#include "support/TestImages.h"

#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

// The developer tool against a Cast receiver it knows nothing about: the
// tests' fake TV, which fetches every photo it is told to load.
class ZorvaCastToolTest : public QObject {
    Q_OBJECT

    static QString tool() { return QStringLiteral(ZV_BINARY_DIR "/tools/zorva-cast"); }

    static qsizetype fetch(const QString& url) {
        const std::optional<QByteArray> body = httpGet(url);
        return body ? body->size() : -1;
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
