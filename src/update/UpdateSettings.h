#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <functional>

// What the updater works with: the feed, the developer's public key and
// identifiers an update must carry, the running program, and its limits.
struct UpdateSettings {
    QUrl feed;
    // PEM of the Ed25519 key updates are signed with; empty: no updates.
    QByteArray publicKey;
    QString identifier;
    QString team;
    // The running program, whose bundle is the one replaced.
    QString executable;
    // Plain http to 127.0.0.1 is accepted for the feed and archives.
    bool allowLocalHttp = false;
    int timeoutMs = 60'000;
    qint64 maxArchiveBytes = qint64(512) << 20;
    // Ends the program after a relaunch; quits the application's event loop.
    std::function<void()> quit;

    // The configuration this build was made with. Builds that allow it take
    // the feed and key from ZV_UPDATE_TEST_FEED and ZV_UPDATE_TEST_KEY (a
    // path) when set, so tests can run a real update against a local server.
    static UpdateSettings builtIn();
};
