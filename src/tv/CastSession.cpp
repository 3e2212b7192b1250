#include "CastSession.h"

#include "CastMessage.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSslSocket>
#include <QTimer>
#include <QtEndian>

#include <cerrno>
#include <utility>

using namespace Qt::StringLiterals;

namespace {

const QString kAppId = u"CC1AD845"_s;
const QString kLoadFailed = u"The TV could not load the photo."_s;
const QString kFrameTooLong = u"The TV sent a message that is too long."_s;
const QString kNotResponding = u"The TV stopped responding."_s;

QString receiverId() {
    return CastMessage::kReceiverId.toString();
}

QJsonObject typed(const QString& type) {
    return QJsonObject{{u"type"_s, type}};
}

// The POSIX number behind a socket failure, as far as Qt's report tells it.
CastSession::TransportError transportError(QAbstractSocket::SocketError error, const QString& text) {
    int code = 0;
    if (error == QAbstractSocket::SocketTimeoutError || text == u"Connection timed out"_s)
        code = ETIMEDOUT;
    else if (text == u"Network unreachable"_s)
        code = ENETUNREACH;
    else if (text == u"Host unreachable"_s)
        code = EHOSTUNREACH;
    return {code, text};
}

} // namespace

// The session's state on its queue: the socket, the heartbeat and what is
// known about the launched application.
class CastSession::Link : public QObject {
public:
    Link(ServiceEndpoint endpoint, EventHandler onEvent, std::chrono::milliseconds heartbeatInterval,
         QObject* parent)
        : QObject(parent)
        , endpoint_(std::move(endpoint))
        , onEvent_(std::move(onEvent)) {
        heartbeat_.setInterval(heartbeatInterval);
        heartbeat_.setTimerType(Qt::PreciseTimer);
        connect(&heartbeat_, &QTimer::timeout, this, [this] {
            if (lastHeard_.hasExpired(kSilentHeartbeats * heartbeat_.interval()))
                abandon();
            else
                send(CastMessage(receiverId(), CastMessage::Namespace::heartbeat, typed(u"PING"_s)));
        });
    }

    ~Link() override {
        // Closing the socket here reports nothing: the owner let go of the session.
        // What was written (a STOP just before) is handed to the system first.
        hasEnded_ = true;
        if (socket_)
            socket_->flush();
        delete socket_;
    }

    void start() {
        if (socket_ || hasEnded_)
            return;
        socket_ = new QSslSocket(this);
        // Cast devices present self-signed certificates.
        socket_->setPeerVerifyMode(QSslSocket::VerifyNone);
        socket_->setReadBufferSize(4 * kMaxFrameBytes);
        connect(socket_, &QSslSocket::sslErrors, this, [this] { socket_->ignoreSslErrors(); });
        connect(socket_, &QSslSocket::encrypted, this, [this] { connectionReady(); });
        connect(socket_, &QSslSocket::readyRead, this, [this] { receive(); });
        connect(socket_, &QSslSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
            // The device closing the stream is an end, not a failure.
            if (error == QAbstractSocket::RemoteHostClosedError)
                finish(Event::ended());
            else
                finish(Event::failed(describe(transportError(error, socket_->errorString()))));
        });
        connect(socket_, &QSslSocket::disconnected, this, [this] { finish(Event::ended()); });
        socket_->connectToHostEncrypted(endpoint_.host, endpoint_.port, QIODevice::ReadWrite,
                                        QAbstractSocket::IPv4Protocol);
    }

    void showJPEG(const QString& url) {
        if (!transportId_)
            pendingURL_ = url;
        else
            load(url);
    }

    void stop() {
        if (receiverSessionId_ && !hasEnded_)
            send(CastMessage(receiverId(), CastMessage::Namespace::receiver,
                             QJsonObject{{u"type"_s, u"STOP"_s},
                                         {u"sessionId"_s, *receiverSessionId_},
                                         {u"requestId"_s, nextRequestId()}}));
        finish(Event::ended());
    }

    std::optional<QString> localIPv4() const {
        if (!socket_)
            return std::nullopt;
        return ipv4Text(socket_->localAddress().toString());
    }

private:
    qint64 nextRequestId() { return nextRequestId_++; }

    void connectionReady() {
        if (hasEnded_)
            return;
        send(CastMessage(receiverId(), CastMessage::Namespace::connection, typed(u"CONNECT"_s)));
        send(CastMessage(
            receiverId(), CastMessage::Namespace::receiver,
            QJsonObject{{u"type"_s, u"LAUNCH"_s}, {u"appId"_s, kAppId}, {u"requestId"_s, nextRequestId()}}));
        heartbeat_.start();
        lastHeard_.start();
        receive();
    }

    void receive() {
        if (hasEnded_ || !socket_->isEncrypted())
            return;
        const QByteArray received = socket_->readAll();
        if (!received.isEmpty())
            lastHeard_.start();
        buffer_ += received;
        while (!hasEnded_ && buffer_.size() >= 4) {
            const quint32 length = qFromBigEndian<quint32>(buffer_.constData());
            if (length > kMaxFrameBytes) {
                finish(Event::failed(kFrameTooLong));
                return;
            }
            if (buffer_.size() < 4 + qsizetype(length))
                return;
            const std::optional<CastMessage> message =
                CastMessage::decode(QByteArrayView(buffer_).sliced(4, length));
            buffer_.remove(0, 4 + qsizetype(length));
            // Bodies that do not decode are dropped.
            if (message)
                handle(*message);
        }
    }

    void handle(const CastMessage& message) {
        const QJsonDocument document = QJsonDocument::fromJson(message.payload.toUtf8());
        const QJsonObject json = document.object();
        if (!document.isObject() || json.isEmpty() || !json.value(u"type"_s).isString())
            return;
        const QString type = json.value(u"type"_s).toString();
        if (type == u"PING"_s) {
            send(CastMessage(message.source, CastMessage::Namespace::heartbeat, typed(u"PONG"_s)));
        } else if (type == u"RECEIVER_STATUS"_s) {
            receiverStatusChanged(json);
        } else if (type == u"CLOSE"_s) {
            if (transportId_ && *transportId_ == message.source)
                finish(Event::ended());
        } else if (type == u"LOAD_FAILED"_s || type == u"INVALID_REQUEST"_s) {
            onEvent_(Event::failed(kLoadFailed));
        }
    }

    void receiverStatusChanged(const QJsonObject& json) {
        const QJsonArray applications = json.value(u"status"_s).toObject().value(u"applications"_s).toArray();
        for (const QJsonValue& entry : applications) {
            const QJsonObject application = entry.toObject();
            if (application.value(u"appId"_s) != QJsonValue(kAppId))
                continue;
            if (transportId_)
                return;
            const QJsonValue transport = application.value(u"transportId"_s);
            const QJsonValue session = application.value(u"sessionId"_s);
            if (!transport.isString() || !session.isString())
                return;
            transportId_ = transport.toString();
            receiverSessionId_ = session.toString();
            send(CastMessage(*transportId_, CastMessage::Namespace::connection, typed(u"CONNECT"_s)));
            onEvent_(Event::ready());
            if (pendingURL_) {
                const QString url = *std::exchange(pendingURL_, std::nullopt);
                load(url);
            }
            return;
        }
        // The application was running and has gone: another sender took the TV.
        if (transportId_)
            finish(Event::ended());
    }

    void load(const QString& url) {
        if (!transportId_ || !receiverSessionId_ || hasEnded_)
            return;
        const QJsonObject media{
            {u"contentId"_s, url}, {u"contentType"_s, u"image/jpeg"_s}, {u"streamType"_s, u"NONE"_s}};
        send(CastMessage(*transportId_, CastMessage::Namespace::media,
                         QJsonObject{{u"type"_s, u"LOAD"_s},
                                     {u"requestId"_s, nextRequestId()},
                                     {u"sessionId"_s, *receiverSessionId_},
                                     {u"autoplay"_s, true},
                                     {u"media"_s, media}}));
    }

    void send(const CastMessage& message) {
        if (!socket_ || hasEnded_)
            return;
        socket_->write(message.framed());
        if (socket_->bytesToWrite() + socket_->encryptedBytesToWrite() > kMaxUnsentBytes)
            abandon();
    }

    // Ends a session whose device no longer takes or answers anything: what is
    // still unsent would never leave, so the stream is dropped, not closed.
    void abandon() {
        finish(Event::failed(kNotResponding));
        socket_->abort();
    }

    void finish(const Event& event) {
        if (hasEnded_)
            return;
        hasEnded_ = true;
        heartbeat_.stop();
        // Sends already written (a STOP) still go out before the stream closes.
        if (socket_)
            socket_->disconnectFromHost();
        onEvent_(event);
    }

    ServiceEndpoint endpoint_;
    EventHandler onEvent_;
    QSslSocket* socket_ = nullptr;
    QTimer heartbeat_;
    // Since the device last sent anything; started once the stream is up.
    QElapsedTimer lastHeard_;
    QByteArray buffer_;
    std::optional<QString> transportId_;
    std::optional<QString> receiverSessionId_;
    std::optional<QString> pendingURL_;
    qint64 nextRequestId_ = 1;
    bool hasEnded_ = false;
};

CastSession::CastSession(const ServiceEndpoint& endpoint, EventHandler onEvent,
                         std::chrono::milliseconds heartbeatInterval)
    : queue_(u"cast-session"_s) {
    link_ = queue_.sync(
        [&] { return new Link(endpoint, std::move(onEvent), heartbeatInterval, queue_.context()); });
}

CastSession::~CastSession() {
    // Releases the connection and the heartbeat on their own thread; no event follows.
    queue_.sync([this] { delete link_; });
}

void CastSession::start() {
    queue_.post([link = link_] { link->start(); });
}

void CastSession::showJPEG(const QString& url) {
    queue_.post([link = link_, url] { link->showJPEG(url); });
}

void CastSession::stop() {
    queue_.post([link = link_] { link->stop(); });
}

std::optional<QString> CastSession::localIPv4() const {
    return queue_.sync([this] { return link_->localIPv4(); });
}

QString CastSession::describe(const TransportError& error) {
    if (error.code == ENETUNREACH || error.code == ETIMEDOUT || error.code == EHOSTUNREACH)
        return u"Can't reach the TV. Check that this Mac may use the local network: System Settings › "
               u"Privacy & Security › Local Network."_s;
    return error.description;
}

std::optional<QString> CastSession::ipv4Text(const QString& address) {
    const QString text = address.section(u'%', 0, 0);
    if (text.isEmpty() || QHostAddress(text).protocol() != QAbstractSocket::IPv4Protocol)
        return std::nullopt;
    return text;
}
