#pragma once

#include "SystemError.h"

#include <QDeadlineTimer>
#include <QLocalServer>
#include <QObject>

#include <expected>

// Keeps the viewer to one instance per user. The first instance listens on a
// local socket in the abstract namespace, which vanishes with its process and,
// unlike a socket file, cannot be silently taken over by a second listener.
// A later launch hands its folder to the first one and exits. Both ends check
// that the other side belongs to the same user, since the abstract namespace
// is shared by every user of the machine. Main thread.
class SingleInstance final : public QObject {
    Q_OBJECT
public:
    enum class Claim { primary, handedOver };

    explicit SingleInstance(QString name, QObject* parent = nullptr);
    ~SingleInstance() override;

    // The name for this user's session: the application id, the user id and a
    // digest of the session's runtime folder ($XDG_RUNTIME_DIR), so that each
    // user, and each separate runtime of one user, has its own viewer.
    static QString nameForCurrentUser();
    // The same for another runtime folder.
    static QString nameFor(const QString& runtimeFolder);

    // Becomes the instance that listens under the name, or, when another
    // instance of this user holds it, hands `folder` (absolute, or empty) to it.
    // Blocks until the other instance has taken the folder, at most until `deadline`.
    std::expected<Claim, SystemError> claim(const QString& folder, QDeadlineTimer deadline);

    // Hands `folder` to the instance listening under `name`. False when nobody
    // listens there; an error when the listener does not take it in time or
    // belongs to another user. Blocking; any thread.
    // Stops listening, so that a launch from now on (the relaunch after an
    // update, while this process is still quitting) becomes the first instance.
    void release();

    static std::expected<bool, SystemError> handOver(const QString& name, const QString& folder,
                                                     QDeadlineTimer deadline);

Q_SIGNALS:
    // Another launch asked this instance to come to the front and, when
    // `folder` is not empty, to open it.
    void activationRequested(const QString& folder);

private:
    void acceptConnections();

    QString name_;
    QLocalServer server_;
};
