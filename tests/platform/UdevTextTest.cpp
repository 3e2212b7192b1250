#include "platform/UdevText.h"

#include <QTest>

using namespace Qt::StringLiterals;

class UdevTextTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void decodesEscapedBytes_data() {
        QTest::addColumn<QByteArray>("encoded");
        QTest::addColumn<QString>("text");
        QTest::newRow("blanks") << QByteArray("ZR-1\\x20Mark\\x20II\\x20\\x20") << u"ZR-1 Mark II  "_s;
        QTest::newRow("backslash and slash") << QByteArray("A\\x5cB\\x2fC") << u"A\\B/C"_s;
        QTest::newRow("upper-case digits") << QByteArray("\\x4A\\x4b") << u"JK"_s;
        QTest::newRow("escaped UTF-8") << QByteArray("Caf\\xc3\\xa9") << u"Caf\u00e9"_s;
        QTest::newRow("plain UTF-8") << QByteArray("Caf\xc3\xa9") << u"Caf\u00e9"_s;
        QTest::newRow("underscores stay") << QByteArray("ZR_1") << u"ZR_1"_s;
        QTest::newRow("incomplete escapes") << QByteArray("a\\xg1\\x4\\") << u"a\\xg1\\x4\\"_s;
        QTest::newRow("empty") << QByteArray() << QString();
    }
    void decodesEscapedBytes() {
        QFETCH(QByteArray, encoded);
        QFETCH(QString, text);
        QCOMPARE(UdevText::decode(encoded), text);
    }
};

QTEST_GUILESS_MAIN(UdevTextTest)
#include "UdevTextTest.moc"
