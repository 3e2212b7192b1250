#include "support/FakeCastReceiver.h"
#include "support/FileTree.h"
#include "support/HttpGet.h"
#include "support/TestImages.h"
#include "tv/TvFakes.h"

#include "store/ViewerStore.h"

#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

std::optional<QImage> fetchImage(const QString& url) {
    const std::optional<QByteArray> body = httpGet(url);
    if (!body)
        return std::nullopt;
    return QImage::fromData(*body, "JPEG");
}

} // namespace

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
        FileTree::setModified(folder.filePath(u"IMG_1.JPG"_s), QDateTime::currentDateTime());
        TestImages::writeJpeg(folder.filePath(u"IMG_2.JPG"_s), {640, 480}, Qt::blue);
        FileTree::setModified(folder.filePath(u"IMG_2.JPG"_s), QDateTime::currentDateTime().addSecs(-60));

        FakeDnsSdBrowser browser;
        StoreServices services;
        services.castBrowser = &browser;
        ViewerStore store(services);
        QVERIFY(browser.started.isEmpty());
        store.start();
        QCOMPARE(browser.started, QStringList{u"_googlecast._tcp"_s});
        browser.announce(
            {DnsSdResult{{u"127.0.0.1"_s, tv.port()}, QMap<QString, QString>{{u"fn"_s, u"Den"_s}}}});
        QCOMPARE(store.cast().devices().size(), 1);

        store.cast().connectTo(store.cast().devices().first());
        QTRY_COMPARE_WITH_TIMEOUT(store.cast().state(), CastState::casting(u"Den"_s), 10000);
        store.open(PhotoSource::folder(folder.path()));
        QTRY_COMPARE_WITH_TIMEOUT(tv.ofType(u"LOAD"_s).size(), 1, 20000);
        const auto first = fetchImage(tv.ofType(u"LOAD"_s)[0][u"media"_s][u"contentId"_s].toString());
        QVERIFY(first && !first->isNull());
        QVERIFY(TestImages::meanColour(*first).redF() > 0.8);

        store.select(1);
        QTRY_COMPARE_WITH_TIMEOUT(tv.ofType(u"LOAD"_s).size(), 2, 20000);
        const auto second = fetchImage(tv.ofType(u"LOAD"_s)[1][u"media"_s][u"contentId"_s].toString());
        QVERIFY(second && !second->isNull());
        QVERIFY(TestImages::meanColour(*second).blueF() > 0.8);
    }
};

QTEST_MAIN(StoreCastTest)
#include "StoreCastTest.moc"
