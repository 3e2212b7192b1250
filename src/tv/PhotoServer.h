#pragma once

#include "SerialQueue.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <chrono>
#include <expected>
#include <optional>

// The minimal HTTP server a Cast receiver fetches the current photo from. It
// holds one JPEG at a time under a fresh path ("/photo/N.jpg"), answers GET and
// HEAD for exactly that path and 404 for everything else, one request per
// connection. It never serves anything from disk. Its listener and connections
// live on the serial queue "photo-server"; `start`, `port` and `publish` are
// synchronous calls onto it, safe from any other thread.
class PhotoServer : public QObject {
    Q_OBJECT
public:
    // Bounds that keep a stuck or hostile client from piling up sockets.
    struct Settings {
        // A connection that has not delivered its request line by then is closed.
        std::chrono::milliseconds idleTimeout{10'000};
        // Beyond this many connections at once, the oldest one still waiting
        // for its request is closed; when every one is being answered, the new one is.
        int maxConnections = 32;
        // A request line not complete within this many bytes is refused.
        qsizetype maxRequestBytes = 8192;
        // 0: a port the system chooses.
        quint16 port = 0;
    };

    explicit PhotoServer(Settings settings);
    PhotoServer();
    ~PhotoServer() override;

    // Starts listening; a second call keeps the running listener.
    std::expected<void, QString> start();
    std::optional<quint16> port() const;
    // Serves `jpeg` under a new path from now on and answers the path.
    QString publish(const QByteArray& jpeg);

    static QByteArray header(QStringView status, qsizetype length, QStringView type);

Q_SIGNALS:
    // A GET for the current photo was answered and the whole answer written
    // (emitted on the server's queue).
    void served(const QString& path);

private:
    class Listener;
    SerialQueue queue_;
    Listener* listener_ = nullptr;
};
