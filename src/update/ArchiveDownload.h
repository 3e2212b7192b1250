#pragma once

#include "UpdateError.h"

#include <QCryptographicHash>
#include <QFile>
#include <QObject>
#include <QPointer>
#include <QUrl>

#include <expected>
#include <optional>

class QNetworkAccessManager;
class QNetworkReply;

// One download of an update archive, streamed to a file and hashed with
// SHA-256 as it streams: the archive is never whole in memory. Lives on the
// main thread; `finished` fires once, with the lowercase hex digest or an error.
class ArchiveDownload : public QObject {
    Q_OBJECT
public:
    struct Limits {
        // No byte for this long ends the download.
        int timeoutMs = 60'000;
        qint64 maxBytes = qint64(512) << 20;
        // Plain http to 127.0.0.1 is accepted (local test servers); else https only.
        bool allowLocalHttp = false;
    };

    ArchiveDownload(QNetworkAccessManager& network, Limits limits, QObject* parent = nullptr);
    ~ArchiveDownload() override;

    void start(const QUrl& url, const QString& file);

    // Whether a URL may be fetched, first or after a redirect.
    static bool acceptsUrl(const QUrl& url, bool allowLocalHttp);

Q_SIGNALS:
    void finished(const std::expected<QString, UpdateError>& digest);

private:
    void read();
    void end(const std::expected<QString, UpdateError>& result);

    QNetworkAccessManager& network_;
    Limits limits_;
    QPointer<QNetworkReply> reply_;
    QFile file_;
    QCryptographicHash hash_{QCryptographicHash::Sha256};
    qint64 received_ = 0;
    std::optional<UpdateError> stopped_;
    bool done_ = false;
};
