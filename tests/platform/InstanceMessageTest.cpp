#include "platform/InstanceMessage.h"

#include <QTest>
#include <QtEndian>

using namespace Qt::StringLiterals;

class InstanceMessageTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void roundTrip_data() {
        QTest::addColumn<QString>("folder");
        QTest::newRow("none") << QString();
        QTest::newRow("plain") << u"/media/anna/ZORVA/DCIM"_s;
        QTest::newRow("blanks and accents") << u"/home/anna/Bilder/Sommer in Ühlingen"_s;
        QTest::newRow("line feed") << u"/tmp/a\nb"_s;
    }
    // Every message reads back whole; every shorter prefix waits for more.
    void roundTrip() {
        QFETCH(QString, folder);
        const QByteArray bytes = InstanceMessage{folder}.encode();
        const auto decoded = InstanceMessage::decode(bytes);
        QVERIFY(decoded.has_value() && decoded->has_value());
        QCOMPARE((*decoded)->folder, folder);
        for (qsizetype size = 0; size < bytes.size(); ++size) {
            const auto partial = InstanceMessage::decode(bytes.first(size));
            QVERIFY2(partial.has_value() && !partial->has_value(), qPrintable(QString::number(size)));
        }
    }

    void badBytesAreRejected_data() {
        QTest::addColumn<QByteArray>("bytes");
        auto header = [](quint32 length) {
            const quint32 big = qToBigEndian(length);
            return QByteArray("ZVH1").append(reinterpret_cast<const char*>(&big), 4);
        };
        QTest::newRow("other protocol") << QByteArray("GET / HTTP/1.1\r\n");
        QTest::newRow("wrong first byte") << QByteArray("X");
        QTest::newRow("too long") << header(InstanceMessage::kMaxFolderBytes + 1);
        QTest::newRow("length near 4 GiB") << header(0xffffffffu);
        QTest::newRow("relative path") << header(6) + "photos";
        QTest::newRow("not UTF-8") << header(4) + "/\xff\xfe" + "a";
        QTest::newRow("null character") << header(4) + QByteArray("/a\0b", 4);
        QTest::newRow("bytes after the end") << header(2) + "/a" + "ZVH1";
    }
    void badBytesAreRejected() {
        QFETCH(QByteArray, bytes);
        const auto decoded = InstanceMessage::decode(bytes);
        QVERIFY(!decoded.has_value());
        QVERIFY(decoded.error().message.startsWith(u"Bad hand-over message: "_s));
    }
};

QTEST_GUILESS_MAIN(InstanceMessageTest)
#include "InstanceMessageTest.moc"
