#include "tv/CastController.h"
#include "TvFakes.h"
#include "support/FakeCastReceiver.h"
#include "support/HttpGet.h"

#include "imaging/render/ImageRenderer.h"

#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>
#include <QThreadPool>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

QImage picture(QSize size, QColor from, QColor to) {
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient gradient(0, 0, size.width(), size.height());
    gradient.setColorAt(0, from);
    gradient.setColorAt(1, to);
    painter.fillRect(image.rect(), gradient);
    return image;
}

DnsSdResult service(const QString& host, quint16 port, std::optional<QString> name) {
    DnsSdResult result{{host, port}, QMap<QString, QString>{{u"md"_s, u"Chromecast"_s}}};
    if (name)
        result.txt->insert(u"fn"_s, *name);
    return result;
}

} // namespace

class CastControllerTest : public QObject {
    Q_OBJECT

    ImageRenderer renderer_;
    QThreadPool pool_;

    std::unique_ptr<FakeCastReceiver> startTv(const QString& transport = u"web-7"_s) {
        auto tv = std::make_unique<FakeCastReceiver>();
        tv->transportId = transport;
        QString error;
        if (!tv->start(&error))
            return nullptr;
        return tv;
    }
    static CastDevice deviceFor(const FakeCastReceiver& tv, const QString& name) {
        return CastDevice{name, ServiceEndpoint{u"127.0.0.1"_s, tv.port()}};
    }
    // Connects to the TV and waits until the cast is running.
    static bool castTo(CastController& controller, const FakeCastReceiver& tv) {
        controller.connectTo(deviceFor(tv, u"Den"_s));
        return QTest::qWaitFor([&] { return controller.state() == CastState::casting(u"Den"_s); }, 10000);
    }
    static QList<QString> loadedUrls(const FakeCastReceiver& tv) {
        QList<QString> urls;
        for (const QJsonObject& load : tv.ofType(u"LOAD"_s))
            urls.append(load[u"media"_s][u"contentId"_s].toString());
        return urls;
    }

private Q_SLOTS:
    void initTestCase() { pool_.setMaxThreadCount(2); }

    void devicesAreSortedAndDeduplicated() {
        FakeDnsSdBrowser browser;
        CastController controller(renderer_, pool_, &browser);
        QSignalSpy changed(&controller, &CastController::devicesChanged);
        controller.startBrowsing();
        controller.startBrowsing();
        QCOMPARE(browser.started, QStringList{u"_googlecast._tcp"_s});

        DnsSdResult bare{{u"10.0.0.9"_s, 8009}, std::nullopt};
        const QList<DnsSdResult> results{
            service(u"10.0.0.1"_s, 8009, u"Kitchen"_s), service(u"10.0.0.2"_s, 8009, u"attic"_s),
            service(u"10.0.0.3"_s, 8009, std::nullopt), bare,
            service(u"10.0.0.4"_s, 8009, u"Bedroom"_s), service(u"10.0.0.5"_s, 8010, u"Kitchen"_s)};
        browser.announce(results);
        const QList<CastDevice> expected{{u"Bedroom"_s, {u"10.0.0.4"_s, 8009}},
                                         {u"Kitchen"_s, {u"10.0.0.1"_s, 8009}},
                                         {u"attic"_s, {u"10.0.0.2"_s, 8009}}};
        QCOMPARE(controller.devices(), expected);
        QCOMPARE(changed.size(), 1);
        browser.announce(results);
        QCOMPARE(changed.size(), 1);
        browser.announce({service(u"10.0.0.2"_s, 8009, u"attic"_s)});
        QCOMPARE(controller.devices(), (QList<CastDevice>{{u"attic"_s, {u"10.0.0.2"_s, 8009}}}));
        browser.announce({});
        QVERIFY(controller.devices().isEmpty());
    }

    // From connect to a LOAD whose URL serves exactly the JPEG the renderer makes.
    void castsTheLatestPhoto() {
        auto tv = startTv();
        QVERIFY(tv);
        tv->answersLaunch = false;
        CastController controller(renderer_, pool_, nullptr);
        QSignalSpy states(&controller, &CastController::stateChanged);
        const QImage first = picture({2560, 1600}, Qt::red, Qt::blue);
        const QImage second = picture({1600, 2560}, Qt::green, Qt::black);
        controller.show(first);
        controller.connectTo(deviceFor(*tv, u"Den"_s));
        QCOMPARE(controller.state(), CastState::connecting(u"Den"_s));
        QTRY_VERIFY_WITH_TIMEOUT(!tv->ofType(u"LAUNCH"_s).isEmpty(), 10000);
        // While connecting only the newest photo is remembered.
        controller.show(second);
        tv->sendStatus(true);
        QTRY_COMPARE_WITH_TIMEOUT(controller.state(), CastState::casting(u"Den"_s), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(loadedUrls(*tv).size(), 1, 10000);

        const QString url = loadedUrls(*tv).first();
        const quint16 port = *controller.server().port();
        QCOMPARE(url, u"http://127.0.0.1:"_s + QString::number(port) + u"/photo/1.jpg"_s);
        const std::optional<QByteArray> served = httpGet(url);
        QVERIFY(served);
        QCOMPARE(*served, *renderer_.jpegData(second, 1920, 0.88));
        QCOMPARE(QImage::fromData(*served).size(), QSize(1200, 1920));

        controller.show(first);
        QTRY_COMPARE_WITH_TIMEOUT(loadedUrls(*tv).size(), 2, 10000);
        QVERIFY(loadedUrls(*tv)[1].endsWith(u"/photo/2.jpg"_s));
        QVERIFY(!httpGet(url));

        controller.disconnect();
        QCOMPARE(controller.state(), CastState::idle());
        QTRY_VERIFY_WITH_TIMEOUT(tv->peerClosed, 10000);
        QCOMPARE(tv->ofType(u"STOP"_s).size(), 1);
        QCOMPARE(states.size(), 3);
    }

    // An older photo that finishes encoding after a newer one is never shown.
    void sendsFinishingOutOfOrder() {
        auto tv = startTv();
        QVERIFY(tv);
        CastController controller(renderer_, pool_, nullptr);
        QVERIFY(castTo(controller, *tv));
        const QImage slow = picture({6000, 4000}, Qt::yellow, Qt::blue);
        const QImage quick = picture({64, 48}, Qt::white, Qt::red);
        controller.show(slow);
        controller.show(quick);
        pool_.waitForDone();
        QTRY_COMPARE_WITH_TIMEOUT(loadedUrls(*tv).size(), 1, 10000);
        tv->sendJson(u"receiver-0"_s, CastMessage::Namespace::heartbeat, {{u"type"_s, u"PING"_s}});
        QTRY_VERIFY_WITH_TIMEOUT(!tv->ofType(u"PONG"_s).isEmpty(), 10000);
        QCOMPARE(loadedUrls(*tv).size(), 1);
        QCOMPARE(httpGet(loadedUrls(*tv).first()), renderer_.jpegData(quick, 1920, 0.88));
    }

    // A refused LOAD fails the cast and drops the session; photos shown then stay home.
    void refusedLoadFails() {
        auto tv = startTv();
        QVERIFY(tv);
        CastController controller(renderer_, pool_, nullptr);
        QVERIFY(castTo(controller, *tv));
        tv->sendJson(u"web-7"_s, CastMessage::Namespace::media, {{u"type"_s, u"LOAD_FAILED"_s}});
        QTRY_COMPARE_WITH_TIMEOUT(controller.state(),
                                  CastState::failed(u"Den"_s, u"The TV could not load the photo."_s), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(tv->peerClosed, 10000);
        controller.show(picture({100, 100}, Qt::red, Qt::red));
        pool_.waitForDone();
        QVERIFY(tv->ofType(u"LOAD"_s).isEmpty());
    }

    void deviceEndingTheSessionGoesIdle() {
        auto tv = startTv();
        QVERIFY(tv);
        CastController controller(renderer_, pool_, nullptr);
        QVERIFY(castTo(controller, *tv));
        tv->close();
        QTRY_COMPARE_WITH_TIMEOUT(controller.state(), CastState::idle(), 10000);
    }

    void serverThatCannotListen() {
        auto tv = startTv();
        QVERIFY(tv);
        QTcpServer taken;
        QVERIFY(taken.listen(QHostAddress::Any));
        PhotoServer::Settings settings;
        settings.port = taken.serverPort();
        CastController controller(renderer_, pool_, nullptr, settings);
        controller.connectTo(deviceFor(*tv, u"Den"_s));
        QCOMPARE(controller.state().kind, CastState::Kind::failed);
        QCOMPARE(controller.state().device, u"Den"_s);
        QVERIFY(controller.state().reason.startsWith(u"Can't share photos on the network: "_s));
        QVERIFY(controller.state().reason.size() > 35);
        QCoreApplication::processEvents();
        QVERIFY(!tv->isConnected());
    }

    // A second TV replaces the first; the first one's end changes nothing.
    void switchingTvs() {
        auto first = startTv();
        auto second = startTv(u"web-9"_s);
        QVERIFY(first && second);
        CastController controller(renderer_, pool_, nullptr);
        controller.show(picture({800, 600}, Qt::gray, Qt::black));
        controller.connectTo(deviceFor(*first, u"Den"_s));
        QTRY_COMPARE_WITH_TIMEOUT(controller.state(), CastState::casting(u"Den"_s), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(loadedUrls(*first).size(), 1, 10000);
        controller.connectTo(deviceFor(*second, u"Kitchen"_s));
        QCOMPARE(controller.state(), CastState::connecting(u"Kitchen"_s));
        QTRY_VERIFY_WITH_TIMEOUT(first->peerClosed, 10000);
        QCOMPARE(first->ofType(u"STOP"_s).size(), 1);
        QTRY_COMPARE_WITH_TIMEOUT(controller.state(), CastState::casting(u"Kitchen"_s), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(loadedUrls(*second).size(), 1, 10000);
        QVERIFY(httpGet(loadedUrls(*second).first()));
        QCOMPARE(controller.state(), CastState::casting(u"Kitchen"_s));
    }
};

QTEST_MAIN(CastControllerTest)
#include "CastControllerTest.moc"
