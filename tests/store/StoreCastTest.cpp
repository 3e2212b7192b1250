#include "StoreFakes.h"
#include "support/FakeCastReceiver.h"
#include "support/HttpGet.h"

#include <QTest>

using namespace Qt::StringLiterals;

class StoreCastTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Discovery starts with the store, and each new stage image reaches the TV while casting.
    void stageImagesGoToTheTv() {
        FakeCastReceiver tv;
        QString error;
        if (!tv.start(&error))
            QSKIP(qPrintable(u"no TLS test receiver: "_s + error));
        QTemporaryDir folder;
        TestImages::writeJpeg(folder.filePath(u"IMG_1.JPG"_s), {640, 480}, Qt::red);
        FileTree::setModified(folder.filePath(u"IMG_1.JPG"_s), at(2));
        TestImages::writeJpeg(folder.filePath(u"IMG_2.JPG"_s), {640, 480}, Qt::blue);
        FileTree::setModified(folder.filePath(u"IMG_2.JPG"_s), at(1));

        StoreHarness h;
        QVERIFY(h.castBrowser.started.isEmpty());
        h.store.start();
        QCOMPARE(h.castBrowser.started, QStringList{u"_googlecast._tcp"_s});
        h.castBrowser.announce(
            {DnsSdResult{{u"127.0.0.1"_s, tv.port()}, QMap<QString, QString>{{u"fn"_s, u"Den"_s}}}});
        QCOMPARE(h.store.cast().devices().size(), 1);

        h.store.cast().connectTo(h.store.cast().devices().first());
        QTRY_COMPARE_WITH_TIMEOUT(h.store.cast().state(), CastState::casting(u"Den"_s), 10000);
        // The image the TV was sent with its n-th LOAD, fetched from the address it was given.
        const auto loaded = [&](int n) {
            const auto body = httpGet(tv.ofType(u"LOAD"_s)[n][u"media"_s][u"contentId"_s].toString());
            return body ? QImage::fromData(*body, "JPEG") : QImage();
        };
        h.store.open(PhotoSource::folder(folder.path()));
        QTRY_COMPARE_WITH_TIMEOUT(tv.ofType(u"LOAD"_s).size(), 1, 20000);
        const QImage first = loaded(0);
        QVERIFY(!first.isNull() && TestImages::meanColour(first).redF() > 0.8);
        h.store.select(1);
        QTRY_COMPARE_WITH_TIMEOUT(tv.ofType(u"LOAD"_s).size(), 2, 20000);
        const QImage second = loaded(1);
        QVERIFY(!second.isNull() && TestImages::meanColour(second).blueF() > 0.8);
    }
};

QTEST_MAIN(StoreCastTest)
#include "StoreCastTest.moc"
