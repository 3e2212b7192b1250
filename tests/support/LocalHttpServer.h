#pragma once

#include <QHash>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>

// A small HTTP/1.0 server on 127.0.0.1: answers GET for the paths it was
// given, 404 for others, and counts the requests for each path. A response
// may stall: it sends its headers and half its body, then keeps the
// connection open without another byte.
class LocalHttpServer {
public:
    struct Response {
        int status = 200;
        QByteArray body;
        QByteArray contentType = "application/octet-stream";
        bool stall = false;
    };

    LocalHttpServer() {
        QObject::connect(&server_, &QTcpServer::newConnection, &server_, [this] {
            while (QTcpSocket* socket = server_.nextPendingConnection())
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] { answer(socket); });
        });
        if (!server_.listen(QHostAddress::LocalHost))
            qFatal("cannot listen on 127.0.0.1");
    }

    QString url(const QString& path) const {
        return QStringLiteral("http://127.0.0.1:%1%2").arg(server_.serverPort()).arg(path);
    }
    void serve(const QString& path, Response response) { routes_.insert(path, std::move(response)); }
    int requests(const QString& path) const { return requests_.value(path); }

private:
    void answer(QTcpSocket* socket) {
        QByteArray& pending = buffers_[socket];
        pending += socket->readAll();
        if (!pending.contains("\r\n\r\n"))
            return;
        const QList<QByteArray> requestLine = pending.left(pending.indexOf("\r\n")).split(' ');
        buffers_.remove(socket);
        const QString path = requestLine.size() > 1 ? QString::fromUtf8(requestLine[1]) : QString();
        ++requests_[path];
        const Response response = routes_.value(path, Response{404, "<html>Not Found</html>", "text/html"});
        const QByteArray head = "HTTP/1.0 " + QByteArray::number(response.status) +
                                " Status\r\nContent-Type: " + response.contentType +
                                "\r\nContent-Length: " + QByteArray::number(response.body.size()) +
                                "\r\nConnection: close\r\n";
        socket->write(head + "\r\n");
        if (response.stall) {
            socket->write(response.body.left(response.body.size() / 2));
            return;
        }
        socket->write(response.body);
        socket->disconnectFromHost();
    }

    QTcpServer server_;
    QHash<QString, Response> routes_;
    QHash<QString, int> requests_;
    QHash<QTcpSocket*, QByteArray> buffers_;
};
