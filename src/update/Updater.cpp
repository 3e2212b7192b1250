#include "Updater.h"

#include "ArchiveDownload.h"
#include "ArchiveUnpacker.h"
#include "BundleSignature.h"

#include "platform/PlatformFiles.h"
#include "platform/PlatformTexts.h"
#include "platform/Relauncher.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTemporaryDir>
#include <QThreadPool>

#include <cstring>

using namespace Qt::StringLiterals;

namespace {

// Unpacks the archive into its folder, finds the bundle in it and checks
// its signature and build. Runs on a worker: it reads only its arguments.
std::expected<QString, UpdateError> unpackAndVerify(const QString& archive, const QString& folder,
                                                    const UpdateSettings& settings, qint64 build) {
    if (const auto unpacked = ArchiveUnpacker::unpack(archive, folder); !unpacked)
        return std::unexpected(unpacked.error());
    // The first entry the file system lists with the extension "app".
    QString bundle;
    for (const QFileInfo& entry : QDir(folder).entryInfoList(
             QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Unsorted)) {
        if (entry.suffix() == "app"_L1 && !entry.completeBaseName().isEmpty()) {
            bundle = entry.filePath();
            break;
        }
    }
    if (bundle.isEmpty() || !QFileInfo(bundle).isDir() || QFileInfo(bundle).isSymLink())
        return std::unexpected(UpdateError::noApp());
    if (const auto valid =
            BundleSignature::verify(bundle, settings.publicKey, settings.identifier, settings.team);
        !valid)
        return std::unexpected(valid.error());
    const std::expected<InstalledBundle, UpdateError> unpacked = InstalledBundle::read(bundle);
    if (!unpacked || unpacked->build != build)
        return std::unexpected(UpdateError::wrongVersion());
    return bundle;
}

} // namespace

Updater::Updater(QObject* parent)
    : Updater(UpdateSettings::builtIn(), parent) {}

Updater::Updater(UpdateSettings settings, QObject* parent)
    : QObject(parent)
    , settings_(std::move(settings)) {}

Updater::~Updater() {
    if (feedReply_) {
        feedReply_->disconnect(this);
        feedReply_->abort();
    }
    // The worker writes into the working folder; let it end before the folder goes.
    if (worker_)
        worker_->wait();
    download_.reset();
}

void Updater::setState(const UpdateState& state) {
    if (state_ == state)
        return;
    state_ = state;
    Q_EMIT stateChanged();
}

QNetworkAccessManager& Updater::network() {
    if (!network_)
        network_ = std::make_unique<QNetworkAccessManager>();
    return *network_;
}

void Updater::start() {
    if (loop_)
        return;
    loop_ = std::make_unique<QTimer>();
    loop_->setInterval(std::chrono::seconds(kCheckIntervalSeconds));
    connect(loop_.get(), &QTimer::timeout, this, &Updater::check);
    loop_->start();
    check();
}

void Updater::check() {
    if (state_.kind != UpdateState::Kind::idle && state_.kind != UpdateState::Kind::failed)
        return;
    setState(UpdateState::checking());
    if (settings_.publicKey.isEmpty() || !settings_.feed.isValid())
        return fail(
            {u"This build of Zorva Viewer can't install updates: it was built without an update key and feed."_s});
    const std::expected<InstalledBundle, UpdateError> bundle =
        InstalledBundle::containing(settings_.executable);
    if (!bundle)
        return fail(bundle.error());
    bundle_ = *bundle;
    if (!ArchiveDownload::acceptsUrl(settings_.feed, settings_.allowLocalHttp))
        return fail({u"The release feed's address is not secure (https)."_s});

    QNetworkRequest request(settings_.feed);
    request.setTransferTimeout(settings_.timeoutMs);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::UserVerifiedRedirectPolicy);
    QNetworkReply* reply = network().get(request);
    feedReply_ = reply;
    connect(reply, &QNetworkReply::redirected, this, [this, reply](const QUrl& target) {
        if (ArchiveDownload::acceptsUrl(target, settings_.allowLocalHttp))
            Q_EMIT reply->redirectAllowed();
        else
            reply->abort();
    });
    connect(reply, &QNetworkReply::downloadProgress, this, [reply](qint64 received, qint64) {
        if (received > kMaxFeedBytes)
            reply->abort();
    });
    connect(reply, &QNetworkReply::finished, this, &Updater::feedArrived);
}

void Updater::feedArrived() {
    QNetworkReply* reply = feedReply_;
    feedReply_ = nullptr;
    if (!reply)
        return;
    reply->deleteLater();
    const QNetworkReply::NetworkError error = reply->error();
    if (error == QNetworkReply::OperationCanceledError || error == QNetworkReply::TimeoutError)
        return fail({u"The release feed did not answer in time."_s});
    // The status is not judged: an error page's body fails to decode instead.
    if (error != QNetworkReply::NoError && error < QNetworkReply::ContentAccessDenied)
        return fail({reply->errorString()});
    const std::expected<Release, UpdateError> release = Release::decode(reply->readAll());
    if (!release)
        return fail(release.error());
    if (bundle_->build >= release->build)
        return setState(UpdateState::idle());
    setState(UpdateState::downloading(release->version));
    install(*release);
}

void Updater::install(const Release& release) {
    release_ = release;
    const QString parent = QFileInfo(bundle_->path).absolutePath();
    if (!QFileInfo(parent).isWritable())
        return fail({PlatformTexts::updateLocationHint()});
    // A working folder left by a check that crashed holds an old or an
    // unverified bundle, never the installed one: it can go.
    for (const QFileInfo& stale : QDir(parent).entryInfoList({u".zorva-viewer-update-*"_s},
                                                             QDir::Dirs | QDir::Hidden | QDir::NoSymLinks))
        QDir(stale.filePath()).removeRecursively();
    // Beside the installed bundle, so the swap stays on one file system.
    work_ = std::make_unique<QTemporaryDir>(parent + u"/.zorva-viewer-update-XXXXXX"_s);
    if (!work_->isValid())
        return fail({u"Can't create a folder for the update: "_s + work_->errorString()});
    ArchiveDownload::Limits limits;
    limits.timeoutMs = settings_.timeoutMs;
    limits.maxBytes = settings_.maxArchiveBytes;
    limits.allowLocalHttp = settings_.allowLocalHttp;
    download_ = std::make_unique<ArchiveDownload>(network(), limits);
    connect(download_.get(), &ArchiveDownload::finished, this, &Updater::downloaded);
    download_->start(release.url, work_->filePath(QLatin1StringView(kArchiveName)));
}

void Updater::downloaded(const std::expected<QString, UpdateError>& digest) {
    // The download object is in the middle of emitting; let it go afterwards.
    download_.release()->deleteLater();
    if (!digest)
        return fail(digest.error());
    if (*digest != release_->sha256.toLower())
        return fail(UpdateError::damaged());
    worker_ = Background::run(
        QThreadPool::globalInstance(),
        [archive = work_->filePath(QLatin1StringView(kArchiveName)), folder = work_->path(),
         settings = settings_,
         build = release_->build] { return unpackAndVerify(archive, folder, settings, build); },
        this, [this](const std::expected<QString, UpdateError>& bundle) { verified(bundle); });
}

void Updater::verified(const std::expected<QString, UpdateError>& bundle) {
    if (!bundle)
        return fail(bundle.error());
    // One step: at every moment the installed name holds a whole bundle, the
    // old or the new. The old one is then in the working folder and goes with it.
    if (PlatformFiles::exchange(QFile::encodeName(*bundle), QFile::encodeName(bundle_->path)) != 0)
        return fail(
            {u"Can't replace the installed version: "_s + QString::fromLocal8Bit(std::strerror(errno))});
    endWork();
    const QString version = release_->version;
    setState(UpdateState::installed(version));
    if (onInstalled)
        onInstalled(version);
}

void Updater::fail(const UpdateError& error) {
    endWork();
    setState(UpdateState::failed(error.errorDescription));
}

void Updater::endWork() {
    // Removing the folder may fail (the user's disk); the next check makes a new one.
    if (work_)
        work_->remove();
    work_.reset();
    release_.reset();
}

void Updater::restart() {
    if (const auto bundle = InstalledBundle::containing(settings_.executable))
        Relauncher::relaunch(bundle->executable());
    if (settings_.quit)
        settings_.quit();
}
