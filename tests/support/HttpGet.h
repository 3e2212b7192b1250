#pragma once

#include <QByteArray>
#include <QTcpSocket>
#include <QUrl>

#include <optional>

// The body of a plain HTTP GET of `url` on a server that closes the
// connection after its answer, or nothing unless the answer is 200 OK.
inline std::optional<QByteArray> httpGet(const QString& url) {
    const QUrl parsed(url);
    QTcpSocket socket;
    socket.connectToHost(parsed.host(), quint16(parsed.port()));
    if (!socket.waitForConnected(5000))
        return std::nullopt;
    socket.write("GET " + parsed.path().toUtf8() + " HTTP/1.1\r\nHost: tv\r\n\r\n");
    QByteArray reply;
    while (socket.state() == QAbstractSocket::ConnectedState && socket.waitForReadyRead(5000))
        reply += socket.readAll();
    reply += socket.readAll();
    if (!reply.startsWith("HTTP/1.1 200 OK\r\n"))
        return std::nullopt;
    return reply.sliced(reply.indexOf("\r\n\r\n") + 4);
}
