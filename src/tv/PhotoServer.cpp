#include "PhotoServer.h"

#include "PhotoRequest.h"

#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

// How long an answered connection may take to hand its answer to the client.
constexpr std::chrono::seconds kWriteTimeout{60};

} // namespace

// Everything that lives on the server's queue: the listener, the current
// photo and the open connections.
class PhotoServer::Listener : public QObject {
public:
    Listener(PhotoServer* owner, Settings settings, QObject* parent)
        : QObject(parent)
        , owner_(owner)
        , settings_(settings) {}

    // The connections report their end to this object's members: they go first,
    // and those still waiting for a request go unanswered.
    ~Listener() override {
        for (QTcpSocket* socket : std::as_const(waiting_))
            drop(socket);
        delete server_;
    }

    std::expected<void, QString> start() {
        if (server_)
            return {};
        auto server = std::make_unique<QTcpServer>(this);
        if (!server->listen(QHostAddress::Any, settings_.port))
            return std::unexpected(server->errorString());
        connect(server.get(), &QTcpServer::newConnection, this, [this] { acceptPending(); });
        server_ = server.release();
        return {};
    }

    std::optional<quint16> port() const {
        if (!server_ || server_->serverPort() == 0)
            return std::nullopt;
        return server_->serverPort();
    }

    QString publish(const QByteArray& jpeg) {
        ++counter_;
        path_ = u"/photo/"_s + QString::number(counter_) + u".jpg"_s;
        jpeg_ = jpeg;
        return path_;
    }

private:
    void acceptPending() {
        while (QTcpSocket* socket = server_->nextPendingConnection()) {
            // Clients that connect and say nothing must not lock out the TV: the
            // one that has waited longest without a request gives way.
            if (open_ >= settings_.maxConnections && !waiting_.isEmpty()) {
                QTcpSocket* oldest = waiting_.takeFirst();
                drop(oldest);
                delete oldest;
            }
            if (open_ >= settings_.maxConnections) {
                socket->abort();
                socket->deleteLater();
                continue;
            }
            accept(socket);
        }
    }

    // Closes a connection without answering it: the end of its stream must not
    // read as a request.
    static void drop(QTcpSocket* socket) {
        QObject::disconnect(socket, &QTcpSocket::readChannelFinished, nullptr, nullptr);
        socket->abort();
    }

    void accept(QTcpSocket* socket) {
        ++open_;
        waiting_.append(socket);
        connect(socket, &QObject::destroyed, this, [this, socket] {
            --open_;
            waiting_.removeOne(socket);
        });
        auto request = std::make_shared<QByteArray>();
        auto answered = std::make_shared<bool>(false);
        auto* deadline = new QTimer(socket);
        deadline->setSingleShot(true);
        // A coarse timer may fire up to 5 % early; a client gets its whole time.
        deadline->setTimerType(Qt::PreciseTimer);
        connect(deadline, &QTimer::timeout, socket, [socket] {
            drop(socket);
            socket->deleteLater();
        });
        deadline->start(settings_.idleTimeout);

        auto answer = [this, socket, request, answered, deadline] {
            if (*answered)
                return;
            *answered = true;
            waiting_.removeOne(socket);
            deadline->start(kWriteTimeout);
            respond(socket, *request);
        };
        connect(socket, &QTcpSocket::readyRead, socket, [this, socket, request, answered, answer] {
            if (*answered) {
                socket->readAll();
                return;
            }
            request->append(socket->read(settings_.maxRequestBytes + 1 - request->size()));
            if (request->contains("\r\n") || request->size() > settings_.maxRequestBytes)
                answer();
        });
        // A client that ends its side without a line break is answered from what it sent.
        connect(socket, &QTcpSocket::readChannelFinished, socket, answer);
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }

    void respond(QTcpSocket* socket, const QByteArray& request) {
        const PhotoRequest parsed = PhotoRequest::parse(request, settings_.maxRequestBytes);
        const QString& method = parsed.method;
        const QString& path = parsed.path;

        const bool hit = (method == u"GET"_s || method == u"HEAD"_s) && !path_.isEmpty() && path == path_;
        if (hit) {
            socket->write(header(u"200 OK", jpeg_.size(), u"image/jpeg"));
            if (method == u"GET"_s) {
                socket->write(jpeg_);
                // Said once the answer has left: the socket closes only after
                // its last byte is written, and a caller may end the process then.
                connect(socket, &QAbstractSocket::disconnected, this,
                        [owner = owner_, path = path_] { Q_EMIT owner->served(path); });
            }
        } else {
            socket->write(header(u"404 Not Found", 0, u"text/plain"));
        }
        socket->disconnectFromHost();
    }

    PhotoServer* owner_;
    Settings settings_;
    QTcpServer* server_ = nullptr;
    int open_ = 0;
    // Open connections that have not delivered their request yet, oldest first.
    QList<QTcpSocket*> waiting_;
    qint64 counter_ = 0;
    QString path_;
    QByteArray jpeg_;
};

PhotoServer::PhotoServer()
    : PhotoServer(Settings{}) {}

PhotoServer::PhotoServer(Settings settings)
    : queue_(u"photo-server"_s) {
    listener_ = queue_.sync([&] { return new Listener(this, settings, queue_.context()); });
}

PhotoServer::~PhotoServer() {
    // The listener and its connections go on their own thread, before this
    // object stops being able to emit.
    queue_.sync([this] { delete listener_; });
}

std::expected<void, QString> PhotoServer::start() {
    return queue_.sync([this] { return listener_->start(); });
}

std::optional<quint16> PhotoServer::port() const {
    return queue_.sync([this] { return listener_->port(); });
}

QString PhotoServer::publish(const QByteArray& jpeg) {
    return queue_.sync([&] { return listener_->publish(jpeg); });
}

QByteArray PhotoServer::header(QStringView status, qsizetype length, QStringView type) {
    return (u"HTTP/1.1 "_s + status + u"\r\nContent-Type: "_s + type + u"\r\nContent-Length: "_s +
            QString::number(length) + u"\r\nAccess-Control-Allow-Origin: *\r\nConnection: close\r\n\r\n"_s)
        .toUtf8();
}
