#include "card/Shot.h"

#include <QTest>

using namespace Qt::StringLiterals;

class ShotModelTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void displayFormatFallsBackToWhatTheShotHas() {
        const Shot both{u"/C/A"_s, u"A"_s, ShotFiles::both(u"/c/A.JPG"_s, u"/c/A.DNG"_s), {}};
        const Shot jpegOnly{u"/C/B"_s, u"B"_s, ShotFiles::jpegOnly(u"/c/B.JPG"_s), {}};
        const Shot rawOnly{u"/C/R"_s, u"R"_s, ShotFiles::rawOnly(u"/c/R.RW2"_s), {}};

        QCOMPARE(both.displayFormat(ShotFormat::raw), ShotFormat::raw);
        QCOMPARE(both.displayFormat(ShotFormat::jpeg), ShotFormat::jpeg);
        QCOMPARE(jpegOnly.displayFormat(ShotFormat::raw), ShotFormat::jpeg);
        QCOMPARE(rawOnly.displayFormat(ShotFormat::jpeg), ShotFormat::raw);

        // Formats in declaration order, whatever is preferred; thumbnails from the JPEG.
        QCOMPARE(both.files.formats(), (QList<ShotFormat>{ShotFormat::jpeg, ShotFormat::raw}));
        QCOMPARE(both.files.all(), (QStringList{u"/c/A.JPG"_s, u"/c/A.DNG"_s}));
        QCOMPARE(both.thumbnailSource(), u"/c/A.JPG"_s);
        QCOMPARE(rawOnly.thumbnailSource(), u"/c/R.RW2"_s);
        QCOMPARE(jpegOnly.files.url(ShotFormat::raw), std::nullopt);
        QCOMPARE(rawOnly.files.url(ShotFormat::raw), u"/c/R.RW2"_s);
        QCOMPARE(rawValue(ShotFormat::jpeg), u"JPEG"_s);
        QCOMPARE(rawValue(ShotFormat::raw), u"RAW"_s);
    }

    void equalityAndHashingUseEveryField() {
        const QDateTime noon(QDate(2026, 5, 1), QTime(12, 0), Qt::UTC);
        const Shot a{u"/C/A"_s, u"A"_s, ShotFiles::jpegOnly(u"/c/A.JPG"_s), noon};
        Shot later = a;
        later.captured = noon.addSecs(1);
        QVERIFY(a != later);
        QVERIFY(qHash(a) != qHash(later));
        QCOMPARE(a.id, later.id); // still the same edit record

        // The case takes part: the same path as JPEG-only or RAW-only differs.
        QVERIFY(ShotFiles::jpegOnly(u"/x"_s) != ShotFiles::rawOnly(u"/x"_s));
        QVERIFY(qHash(ShotFiles::jpegOnly(u"/x"_s)) != qHash(ShotFiles::rawOnly(u"/x"_s)));
        QCOMPARE(qHash(a), qHash(Shot(a)));
    }
};

QTEST_GUILESS_MAIN(ShotModelTest)
#include "ShotModelTest.moc"
