#include "CastController.h"

#include "imaging/render/ImageRenderer.h"
#include "platform/DnsSdBrowser.h"
#include "platform/Observable.h"

#include <QSet>

#include <algorithm>
#include <atomic>
#include <mutex>

using namespace Qt::StringLiterals;

// Shared by the sends in flight: only the newest send publishes and loads, and
// the check and the publish happen under one lock, so an older photo that
// finishes encoding last can never replace a newer one on the TV.
struct CastController::SendOrder {
    std::atomic<quint64> latest{0};
    std::mutex publishing;
};

CastController::CastController(const ImageRenderer& renderer, QThreadPool& pool, DnsSdBrowser* browser,
                               PhotoServer::Settings serverSettings, QObject* parent)
    : QObject(parent)
    , renderer_(renderer)
    , pool_(pool)
    , browser_(browser)
    , server_(std::make_shared<PhotoServer>(serverSettings))
    , sendOrder_(std::make_shared<SendOrder>()) {}

CastController::~CastController() {
    // Sends in flight call into the session and the server: let them finish
    // first, then close the session on its own thread.
    for (const Background::Done& send : sends_)
        send->wait();
    session_.reset();
}

void CastController::startBrowsing() {
    if (browsing_ || !browser_)
        return;
    browsing_ = true;
    connect(browser_, &DnsSdBrowser::resultsChanged, this, &CastController::resultsChanged);
    browser_->start(u"_googlecast._tcp"_s);
}

void CastController::resultsChanged(const QList<DnsSdResult>& results) {
    QList<CastDevice> devices;
    QSet<QString> names;
    for (const DnsSdResult& result : results) {
        if (!result.txt || !result.txt->contains(u"fn"_s))
            continue;
        const QString name = result.txt->value(u"fn"_s);
        // The first service met under a name wins.
        if (names.contains(name))
            continue;
        names.insert(name);
        devices.append(CastDevice{name, result.endpoint});
    }
    std::stable_sort(devices.begin(), devices.end(),
                     [](const CastDevice& a, const CastDevice& b) { return a.name < b.name; });
    setObservable(this, devices_, devices, &CastController::devicesChanged);
}

void CastController::connectTo(const CastDevice& device) {
    if (session_) {
        session_->stop();
        session_.reset();
    }
    const std::expected<void, QString> started = server_->start();
    if (!started) {
        setState(CastState::failed(device.name, u"Can't share photos on the network: "_s + started.error()));
        return;
    }
    setState(CastState::connecting(device.name));
    const quint64 serial = ++sessionSerial_;
    // Events come from the session's queue; the session is closed on its own
    // thread before this object goes, so `this` outlives every event posted.
    auto onEvent = [this, serial, name = device.name](const CastSession::Event& event) {
        Background::toMainThread(this, [this, event, name, serial] { sessionChanged(event, name, serial); });
    };
    session_ = std::make_shared<CastSession>(device.endpoint, onEvent);
    session_->start();
}

void CastController::disconnect() {
    if (session_)
        session_->stop();
    session_.reset();
    setState(CastState::idle());
}

void CastController::show(const QImage& image) {
    latestImage_ = image;
    if (state_.kind == CastState::Kind::casting && session_)
        send(image);
}

void CastController::sessionChanged(const CastSession::Event& event, const QString& device, quint64 serial) {
    if (serial != sessionSerial_ || !session_)
        return;
    switch (event.kind) {
    case CastSession::Event::Kind::ready:
        setState(CastState::casting(device));
        if (latestImage_)
            send(*latestImage_);
        break;
    case CastSession::Event::Kind::failed:
        session_.reset();
        setState(CastState::failed(device, event.message));
        break;
    case CastSession::Event::Kind::ended:
        session_.reset();
        setState(CastState::idle());
        break;
    }
}

void CastController::send(const QImage& image) {
    sends_.removeIf([](const Background::Done& send) { return send->try_wait(); });
    const quint64 sequence = ++sendOrder_->latest;
    const ImageRenderer* renderer = &renderer_;
    sends_.append(Background::run(
        &pool_, [renderer, image, session = session_, server = server_, order = sendOrder_, sequence] {
            const std::optional<QByteArray> jpeg = renderer->jpegData(image, kMaxPixel, kQuality);
            if (!jpeg)
                return;
            const std::lock_guard lock(order->publishing);
            // A newer photo was shown meanwhile: this one is already out of date.
            if (order->latest.load() != sequence)
                return;
            const std::optional<QString> address = session->localIPv4();
            if (!address)
                return;
            const std::optional<quint16> port = server->port();
            if (!port)
                return;
            const QString path = server->publish(*jpeg);
            session->showJPEG(u"http://"_s + *address + u':' + QString::number(*port) + path);
        }));
}

void CastController::setState(const CastState& state) {
    setObservable(this, state_, state, &CastController::stateChanged);
}
