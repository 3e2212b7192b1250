#include "tv/CastMessage.h"

#include <QJsonObject>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

QByteArray varint(quint64 value) {
    QByteArray bytes;
    CastMessage::appendVarint(bytes, value);
    return bytes;
}

QByteArray field(quint64 number, const QByteArray& bytes) {
    return varint(number * 8 + 2) + varint(quint64(bytes.size())) + bytes;
}

const QByteArray kSource = field(2, "sender-0");
const QByteArray kDestination = field(3, "receiver-0");
const QByteArray kNamespace = field(4, "urn:x-cast:com.google.cast.tp.heartbeat");

} // namespace

class CastMessageTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void varints() {
        QCOMPARE(varint(0), QByteArray::fromHex("00"));
        QCOMPARE(varint(127), QByteArray::fromHex("7f"));
        QCOMPARE(varint(300), QByteArray::fromHex("ac02"));
        QCOMPARE(varint(~quint64(0)), QByteArray::fromHex("ffffffffffffffffff01"));
        QByteArray text;
        CastMessage::appendStringField(text, 6, u"é"_s);
        QCOMPARE(text, QByteArray::fromHex("3202c3a9"));
    }

    void connectFrameMatchesTheProtocol() {
        const CastMessage connect(u"receiver-0"_s, CastMessage::Namespace::connection,
                                  QJsonObject{{u"type"_s, u"CONNECT"_s}});
        const QByteArray frame = connect.framed();
        QCOMPARE(frame.size(), 4 + 88);
        QVERIFY(frame.startsWith(QByteArray::fromHex("00000058080012087365 6e6465722d301a0a7265")));
        QCOMPARE(CastMessage::decode(QByteArrayView(frame).sliced(4)), connect);
    }

    void decodeAccepts_data() {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("payload");
        QTest::newRow("any order, unknown varints between")
            << kNamespace + varint(9 * 8) + varint(300) + kDestination + varint(8) + varint(0) + kSource +
                   field(6, R"({"type":"PING"})")
            << uR"({"type":"PING"})"_s;
        QTest::newRow("binary payload only")
            << kSource + kDestination + kNamespace + field(7, "\x01\x02") << QString();
        QTest::newRow("second payload wins")
            << kSource + kDestination + kNamespace + field(6, "one") + field(6, "two") << u"two"_s;
        QTest::newRow("ends inside a key")
            << kSource + kDestination + kNamespace + field(6, "x") + QByteArray::fromHex("80") << u"x"_s;
        QTest::newRow("invalid UTF-8 replaced") << kSource + kDestination + kNamespace +
                                                       field(6, "a\xff"
                                                                "b")
                                                << u"a\uFFFDb"_s;
    }
    void decodeAccepts() {
        QFETCH(QByteArray, body);
        QFETCH(QString, payload);
        const auto message = CastMessage::decode(body);
        QVERIFY(message);
        QCOMPARE(message->source, u"sender-0"_s);
        QCOMPARE(message->destination, u"receiver-0"_s);
        QCOMPARE(message->namespaceUrn, u"urn:x-cast:com.google.cast.tp.heartbeat"_s);
        QCOMPARE(message->payload, payload);
    }

    void decodeRejects_data() {
        QTest::addColumn<QByteArray>("body");
        QTest::newRow("32-bit field") << kSource + kDestination + kNamespace + varint(8 * 8 + 5) + "abcd";
        QTest::newRow("64-bit field") << kSource + kDestination + kNamespace + varint(8 * 8 + 1) + "abcdefgh";
        QTest::newRow("missing namespace") << kSource + kDestination + field(6, "{}");
        QTest::newRow("length past the end")
            << kSource + kDestination + kNamespace + varint(6 * 8 + 2) + varint(10) + "abc";
        QTest::newRow("no byte after a text key") << kSource + kDestination + kNamespace + varint(6 * 8 + 2);
        QTest::newRow("length of eleven bytes")
            << kSource + kDestination + kNamespace + varint(6 * 8 + 2) + QByteArray(10, '\x80') + "\x01";
        QTest::newRow("empty") << QByteArray();
    }
    void decodeRejects() {
        QFETCH(QByteArray, body);
        QVERIFY(!CastMessage::decode(body));
    }
};

QTEST_GUILESS_MAIN(CastMessageTest)
#include "CastMessageTest.moc"
