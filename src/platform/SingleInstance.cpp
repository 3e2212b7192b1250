#include "SingleInstance.h"

#include "InstanceMessage.h"

#include <QCryptographicHash>
#include <QLocalSocket>
#include <QThread>
#include <QTimer>

#include <sys/socket.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// A client that connects and says nothing does not hold a connection forever.
constexpr int kClientTimeoutMs = 5'000;

bool peerIsSameUser(const QLocalSocket& socket) {
    const qintptr fd = socket.socketDescriptor();
    if (fd < 0)
        return false;
    ucred credentials{};
    socklen_t size = sizeof credentials;
    if (::getsockopt(static_cast<int>(fd), SOL_SOCKET, SO_PEERCRED, &credentials, &size) != 0)
        return false;
    return credentials.uid == ::getuid();
}

} // namespace

SingleInstance::SingleInstance(QString name, QObject* parent)
    : QObject(parent)
    , name_(std::move(name)) {
    server_.setSocketOptions(QLocalServer::AbstractNamespaceOption);
    connect(&server_, &QLocalServer::newConnection, this, &SingleInstance::acceptConnections);
}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::nameForCurrentUser() {
    return nameFor(qEnvironmentVariable("XDG_RUNTIME_DIR"));
}

QString SingleInstance::nameFor(const QString& runtimeFolder) {
    const QByteArray digest =
        QCryptographicHash::hash(runtimeFolder.toUtf8(), QCryptographicHash::Sha256).toHex().left(12);
    return QString::fromLatin1(ZV_APPLICATION_ID) + u'.' + QString::number(::getuid()) + u'.' +
           QString::fromLatin1(digest);
}

std::expected<SingleInstance::Claim, SystemError> SingleInstance::claim(const QString& folder,
                                                                        QDeadlineTimer deadline) {
    // Between a failed listen and the hand-over the other instance may quit, and
    // two launches may race for the name: try again until one of them wins.
    do {
        if (server_.listen(name_))
            return Claim::primary;
        if (server_.serverError() != QAbstractSocket::AddressInUseError)
            return std::unexpected(SystemError{server_.errorString()});
        const auto handed = handOver(name_, folder, deadline);
        if (!handed)
            return std::unexpected(handed.error());
        if (*handed)
            return Claim::handedOver;
        // The name is bound but nobody accepts yet: give the other launch a moment.
        QThread::msleep(20);
    } while (!deadline.hasExpired());
    return std::unexpected(SystemError{u"Cannot reach the running viewer."_s});
}

std::expected<bool, SystemError> SingleInstance::handOver(const QString& name, const QString& folder,
                                                          QDeadlineTimer deadline) {
    QLocalSocket socket;
    socket.setSocketOptions(QLocalSocket::AbstractNamespaceOption);
    socket.connectToServer(name);
    if (!socket.waitForConnected(static_cast<int>(deadline.remainingTime()))) {
        const auto error = socket.error();
        if (error == QLocalSocket::ServerNotFoundError || error == QLocalSocket::ConnectionRefusedError)
            return false;
        return std::unexpected(SystemError{socket.errorString()});
    }
    if (!peerIsSameUser(socket))
        return std::unexpected(SystemError{u"The viewer's socket is held by another user."_s});

    socket.write(InstanceMessage{folder}.encode());
    while (socket.bytesToWrite() > 0) {
        if (!socket.waitForBytesWritten(static_cast<int>(deadline.remainingTime())))
            return std::unexpected(
                SystemError{u"The running viewer did not take the request: "_s + socket.errorString()});
    }
    while (socket.bytesAvailable() < 1) {
        if (!socket.waitForReadyRead(static_cast<int>(deadline.remainingTime())))
            return std::unexpected(SystemError{u"The running viewer did not answer."_s});
    }
    char answer = 0;
    if (!socket.getChar(&answer) || answer != InstanceMessage::kAccepted)
        return std::unexpected(SystemError{u"The running viewer refused the request."_s});
    return true;
}

void SingleInstance::acceptConnections() {
    while (QLocalSocket* socket = server_.nextPendingConnection()) {
        socket->setParent(this);
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        if (!peerIsSameUser(*socket)) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        auto drop = [socket] {
            socket->abort();
            socket->deleteLater();
        };
        QTimer::singleShot(kClientTimeoutMs, socket, drop);
        connect(socket, &QLocalSocket::readyRead, this,
                [this, socket, drop, buffer = QByteArray()]() mutable {
                    buffer += socket->readAll();
                    const auto decoded = InstanceMessage::decode(buffer);
                    if (!decoded) {
                        drop();
                        return;
                    }
                    if (!*decoded)
                        return; // the rest of the message is still on its way
                    socket->write(&InstanceMessage::kAccepted, 1);
                    socket->disconnectFromServer();
                    Q_EMIT activationRequested((*decoded)->folder);
                });
    }
}

void SingleInstance::release() {
    server_.close();
}
