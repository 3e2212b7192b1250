#include "ArchiveDownload.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

using namespace Qt::StringLiterals;

namespace {

UpdateError tooLarge(qint64 maxBytes) {
    return {u"The download is larger than "_s + QString::number(maxBytes >> 20) + u" MiB."_s};
}

} // namespace

ArchiveDownload::ArchiveDownload(QNetworkAccessManager& network, Limits limits, QObject* parent)
    : QObject(parent)
    , network_(network)
    , limits_(limits) {}

ArchiveDownload::~ArchiveDownload() {
    if (reply_) {
        reply_->disconnect(this);
        reply_->abort();
        reply_->deleteLater();
    }
}

bool ArchiveDownload::acceptsUrl(const QUrl& url, bool allowLocalHttp) {
    if (url.scheme() == "https"_L1)
        return true;
    return allowLocalHttp && url.scheme() == "http"_L1 && url.host() == "127.0.0.1"_L1;
}

void ArchiveDownload::start(const QUrl& url, const QString& path) {
    if (!acceptsUrl(url, limits_.allowLocalHttp))
        return end(std::unexpected(UpdateError{u"The download's address is not secure (https)."_s}));
    file_.setFileName(path);
    if (!file_.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return end(std::unexpected(UpdateError{u"Can't write the download: "_s + file_.errorString()}));

    QNetworkRequest request(url);
    request.setTransferTimeout(limits_.timeoutMs);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::UserVerifiedRedirectPolicy);
    reply_ = network_.get(request);
    // Bounds what Qt buffers between two reads.
    reply_->setReadBufferSize(qint64(1) << 20);
    connect(reply_, &QNetworkReply::redirected, this, [this](const QUrl& target) {
        if (acceptsUrl(target, limits_.allowLocalHttp)) {
            Q_EMIT reply_->redirectAllowed();
        } else {
            stopped_ =
                UpdateError{u"The download was redirected to an address that is not secure (https)."_s};
            reply_->abort();
        }
    });
    connect(reply_, &QNetworkReply::metaDataChanged, this, [this] {
        const QVariant length = reply_->header(QNetworkRequest::ContentLengthHeader);
        if (length.isValid() && length.toLongLong() > limits_.maxBytes) {
            stopped_ = tooLarge(limits_.maxBytes);
            reply_->abort();
        }
    });
    connect(reply_, &QNetworkReply::readyRead, this, &ArchiveDownload::read);
    connect(reply_, &QNetworkReply::finished, this, [this] {
        if (!stopped_)
            read();
        if (stopped_)
            return end(std::unexpected(*stopped_));
        const QNetworkReply::NetworkError error = reply_->error();
        // A timeout aborts the reply just as a cancel would.
        if (error == QNetworkReply::OperationCanceledError || error == QNetworkReply::TimeoutError)
            return end(
                std::unexpected(UpdateError{u"The download stopped: the server did not answer in time."_s}));
        // Like the feed, an HTTP error status is not judged here: its body
        // fails the hash check like any other wrong archive.
        if (error != QNetworkReply::NoError && error < QNetworkReply::ContentAccessDenied)
            return end(std::unexpected(UpdateError{reply_->errorString()}));
        if (!file_.flush())
            return end(std::unexpected(UpdateError{u"Can't write the download: "_s + file_.errorString()}));
        end(QString::fromLatin1(hash_.result().toHex()));
    });
}

void ArchiveDownload::read() {
    if (!reply_ || stopped_)
        return;
    while (reply_->bytesAvailable() > 0) {
        const QByteArray chunk = reply_->read(qint64(1) << 16);
        received_ += chunk.size();
        if (received_ > limits_.maxBytes) {
            stopped_ = tooLarge(limits_.maxBytes);
            reply_->abort();
            return;
        }
        hash_.addData(chunk);
        if (file_.write(chunk) != chunk.size()) {
            stopped_ = UpdateError{u"Can't write the download: "_s + file_.errorString()};
            reply_->abort();
            return;
        }
    }
}

void ArchiveDownload::end(const std::expected<QString, UpdateError>& result) {
    if (done_)
        return;
    done_ = true;
    file_.close();
    if (reply_) {
        reply_->disconnect(this);
        reply_->deleteLater();
        reply_ = nullptr;
    }
    Q_EMIT finished(result);
}
