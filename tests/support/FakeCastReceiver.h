#pragma once

#include "tv/CastMessage.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QProcess>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslServer>
#include <QSslSocket>
#include <QTemporaryDir>
#include <QtEndian>

// A Cast receiver on 127.0.0.1 speaking TLS with a self-signed certificate
// made at start: it answers LAUNCH with a RECEIVER_STATUS naming the Default
// Media Receiver (when `answersLaunch`), answers PING with PONG like a real
// device, and records every message it gets. One that does not `read` takes
// nothing from the stream after the handshake, as a device that hangs.
class FakeCastReceiver {
public:
    bool answersLaunch = true;
    bool reads = true;
    QString transportId = QStringLiteral("web-7");
    QString sessionId = QStringLiteral("session-7");
    QList<CastMessage> received;
    bool peerClosed = false;

    // Makes the certificate and listens; false (with `error`) when that fails.
    bool start(QString* error = nullptr) {
        const auto fail = [error](const QString& text) {
            if (error)
                *error = text;
            return false;
        };
        if (!certificates_.isValid())
            return fail(QStringLiteral("no temporary folder"));
        const QString key = certificates_.filePath(QStringLiteral("key.pem"));
        const QString cert = certificates_.filePath(QStringLiteral("cert.pem"));
        QProcess openssl;
        openssl.start(
            QStringLiteral("openssl"),
            QStringLiteral("req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2")
                    .split(u' ') +
                QStringList{QStringLiteral("-keyout"), key, QStringLiteral("-out"), cert,
                            QStringLiteral("-subj"), QStringLiteral("/CN=Fake Cast")});
        if (!openssl.waitForFinished(30000) || openssl.exitCode() != 0)
            return fail(QStringLiteral("openssl could not make a certificate"));
        QFile keyFile(key);
        QFile certFile(cert);
        if (!keyFile.open(QIODevice::ReadOnly) || !certFile.open(QIODevice::ReadOnly))
            return fail(QStringLiteral("certificate files missing"));
        QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
        configuration.setPrivateKey(QSslKey(keyFile.readAll(), QSsl::Ec));
        configuration.setLocalCertificate(QSslCertificate(certFile.readAll()));
        configuration.setPeerVerifyMode(QSslSocket::VerifyNone);
        server_.setSslConfiguration(configuration);
        QObject::connect(&server_, &QSslServer::pendingConnectionAvailable, &server_, [this] { accept(); });
        if (!server_.listen(QHostAddress::LocalHost))
            return fail(server_.errorString());
        return true;
    }

    quint16 port() const { return server_.serverPort(); }
    bool isConnected() const { return socket_ && socket_->state() == QAbstractSocket::ConnectedState; }

    void sendRaw(const QByteArray& bytes) {
        if (socket_)
            socket_->write(bytes);
    }
    // A message from the device itself ("receiver-0") or the app (transportId).
    void sendJson(const QString& from, CastMessage::Namespace channel, const QJsonObject& json) {
        sendRaw(CastMessage(from, QStringLiteral("sender-0"), CastMessage::urn(channel),
                            QString::fromUtf8(QJsonDocument(json).toJson(QJsonDocument::Compact)))
                    .framed());
    }
    void sendStatus(bool withApplication) {
        QJsonArray applications;
        if (withApplication)
            applications.append(QJsonObject{{QStringLiteral("appId"), QStringLiteral("CC1AD845")},
                                            {QStringLiteral("transportId"), transportId},
                                            {QStringLiteral("sessionId"), sessionId}});
        sendJson(QStringLiteral("receiver-0"), CastMessage::Namespace::receiver,
                 QJsonObject{{QStringLiteral("type"), QStringLiteral("RECEIVER_STATUS")},
                             {QStringLiteral("requestId"), 1},
                             {QStringLiteral("status"),
                              QJsonObject{{QStringLiteral("applications"), applications}}}});
    }
    void close() {
        if (socket_)
            socket_->disconnectFromHost();
    }

    // The received messages of one "type", in order.
    QList<QJsonObject> ofType(const QString& type) const {
        QList<QJsonObject> found;
        for (const CastMessage& message : received) {
            if (typeOf(message) == type)
                found.append(QJsonDocument::fromJson(message.payload.toUtf8()).object());
        }
        return found;
    }

private:
    static QString typeOf(const CastMessage& message) {
        return QJsonDocument::fromJson(message.payload.toUtf8())
            .object()
            .value(QStringLiteral("type"))
            .toString();
    }

    void accept() {
        auto* socket = qobject_cast<QSslSocket*>(server_.nextPendingConnection());
        if (!socket)
            return;
        socket_ = socket;
        buffer_.clear();
        if (!reads) {
            socket->setReadBufferSize(1024);
            socket->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 4096);
            return;
        }
        QObject::connect(socket, &QSslSocket::readyRead, &server_, [this, socket] { read(socket); });
        QObject::connect(socket, &QSslSocket::disconnected, &server_, [this, socket] {
            if (socket == socket_)
                peerClosed = true;
        });
        read(socket);
    }

    void read(QSslSocket* socket) {
        buffer_ += socket->readAll();
        while (buffer_.size() >= 4) {
            const quint32 length = qFromBigEndian<quint32>(buffer_.constData());
            if (buffer_.size() < 4 + qsizetype(length))
                return;
            const auto message = CastMessage::decode(QByteArrayView(buffer_).sliced(4, length));
            buffer_.remove(0, 4 + qsizetype(length));
            if (!message)
                continue;
            received.append(*message);
            if (answersLaunch && typeOf(*message) == QStringLiteral("LAUNCH"))
                sendStatus(true);
            if (typeOf(*message) == QStringLiteral("PING"))
                sendJson(message->destination, CastMessage::Namespace::heartbeat,
                         QJsonObject{{QStringLiteral("type"), QStringLiteral("PONG")}});
        }
    }

    QTemporaryDir certificates_;
    QSslServer server_;
    QPointer<QSslSocket> socket_;
    QByteArray buffer_;
};
