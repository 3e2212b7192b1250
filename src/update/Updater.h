#pragma once

#include "InstalledBundle.h"
#include "Release.h"
#include "UpdateSettings.h"
#include "UpdateState.h"

#include "platform/Background.h"

#include <QObject>
#include <QPointer>
#include <QTimer>

#include <expected>
#include <functional>
#include <memory>
#include <optional>

class ArchiveDownload;
class QNetworkAccessManager;
class QNetworkReply;
class QTemporaryDir;

// Keeps the installed bundle current: fetches the release feed, and when it
// announces a newer build downloads the archive (hashed as it streams),
// unpacks and verifies it on a worker, and swaps it with the installed bundle
// in one step. Lives on the main thread, which it never blocks. A failure
// leaves the installed bundle as it was and no working folder behind.
class Updater : public QObject {
    Q_OBJECT
    Q_PROPERTY(UpdateState state READ state NOTIFY stateChanged)
public:
    explicit Updater(QObject* parent = nullptr);
    explicit Updater(UpdateSettings settings, QObject* parent = nullptr);
    ~Updater() override;

    const UpdateState& state() const { return state_; }

    // Checks at once and then every six hours; a second call does nothing.
    void start();
    // One check; does nothing while one runs or after an installation.
    void check();
    // Starts the installed bundle's program anew and quits this one.
    void restart();

    // Called with the version once an update is installed.
    std::function<void(const QString& version)> onInstalled;

    static constexpr int kCheckIntervalSeconds = 6 * 60 * 60;
    static constexpr const char* kArchiveName = "update.zip";
    static constexpr qint64 kMaxFeedBytes = qint64(1) << 20;

Q_SIGNALS:
    void stateChanged();

private:
    void setState(const UpdateState& state);
    void fail(const UpdateError& error);
    void feedArrived();
    void install(const Release& release);
    void downloaded(const std::expected<QString, UpdateError>& digest);
    void verified(const std::expected<QString, UpdateError>& bundle);
    void endWork();
    QNetworkAccessManager& network();

    UpdateSettings settings_;
    UpdateState state_;
    std::unique_ptr<QNetworkAccessManager> network_;
    std::unique_ptr<QTimer> loop_;
    std::optional<InstalledBundle> bundle_;
    std::optional<Release> release_;
    QPointer<QNetworkReply> feedReply_;
    std::unique_ptr<QTemporaryDir> work_;
    std::unique_ptr<ArchiveDownload> download_;
    Background::Done worker_;
};
