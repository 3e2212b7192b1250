// single-instance-helper claim NAME FOLDER [--as-nobody]
//   Claims NAME as the viewer does; exits 0 when it handed FOLDER over, 2 when
//   it became the first instance, 1 with the error on stderr.
// single-instance-helper send NAME BYTES-HEX [--as-nobody]
//   Sends raw bytes without any check of its own; exits 0 when the listener
//   accepted them, 1 when it closed the connection without accepting.
#include "platform/InstanceMessage.h"
#include "platform/SingleInstance.h"

#include <QCoreApplication>
#include <QLocalSocket>

#include <cstdio>
#include <unistd.h>

using namespace Qt::StringLiterals;

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 4)
        return 3;
    // The user nobody, to be another user than the test's root.
    if (args.contains(u"--as-nobody"_s) && ::setuid(65534) != 0)
        return 4;

    const QString name = args[2];
    if (args[1] == u"claim"_s) {
        SingleInstance instance(name);
        const auto claim = instance.claim(args[3], QDeadlineTimer(5000));
        if (!claim) {
            std::fprintf(stderr, "%s\n", qPrintable(claim.error().message));
            return 1;
        }
        return *claim == SingleInstance::Claim::handedOver ? 0 : 2;
    }

    QLocalSocket socket;
    socket.setSocketOptions(QLocalSocket::AbstractNamespaceOption);
    socket.connectToServer(name);
    if (!socket.waitForConnected(5000))
        return 3;
    socket.write(QByteArray::fromHex(args[3].toLatin1()));
    socket.waitForBytesWritten(5000);
    while (socket.bytesAvailable() < 1) {
        if (!socket.waitForReadyRead(5000))
            return 1;
    }
    char answer = 0;
    return socket.getChar(&answer) && answer == InstanceMessage::kAccepted ? 0 : 1;
}
