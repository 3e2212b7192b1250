#include "ThumbnailLoader.h"

#include "imaging/pixels/ParallelRunner.h"
#include "imaging/render/ImageRenderer.h"
#include "platform/TaskPools.h"

#include <QPainter>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

namespace {

// As many prepared pictures as the renderer keeps thumbnails.
constexpr int kPreparedLimit = 2000;

// Scales to fill the cell and crops the overflow around the centre.
QImage filled(const QImage& image, const QSize& cell) {
    const QImage scaled = image.scaled(cell, Qt::KeepAspectRatioByExpanding, Qt::SmoothTransformation);
    const int x = (scaled.width() - cell.width()) / 2;
    const int y = (scaled.height() - cell.height()) / 2;
    return scaled.copy(x, y, cell.width(), cell.height());
}

} // namespace

ThumbnailLoader::ThumbnailLoader(const ImageRenderer& renderer, QThreadPool& pool, Convert convert,
                                 QObject* parent)
    : QObject(parent)
    , renderer_(renderer)
    , pool_(pool)
    , convert_(std::move(convert))
    , prepared_(kPreparedLimit) {}

QImage ThumbnailLoader::image(const QString& url) {
    const Prepared* prepared = prepared_.object(url);
    if (!prepared)
        return {};
    // A cache lookup only, never a decode: cheap enough for every paint.
    const std::optional<QImage> source = renderer_.cachedThumbnail(url);
    if (!source || source->cacheKey() != prepared->source) {
        prepared_.remove(url);
        return {};
    }
    return prepared->image;
}

void ThumbnailLoader::request(const QString& url) {
    if (url.isEmpty() || inFlight_.contains(url) || failed_.contains(url) || !image(url).isNull())
        return;
    inFlight_.insert(url);
    queue_.append(url);
    startNext();
}

void ThumbnailLoader::retryFailed() {
    failed_.clear();
}

void ThumbnailLoader::startNext() {
    while (!queue_.isEmpty() && running_ < std::max(1, pool_.maxThreadCount())) {
        const QString url = queue_.takeLast();
        ++running_;
        ++started_;
        const ImageRenderer* renderer = &renderer_;
        const QSize cell = cell_;
        QtConcurrent::run(&pool_, [renderer, url, cell, convert = convert_]() -> Prepared {
            TaskPools::lowerCurrentThreadPriority();
            ParallelRunner::keepCurrentThreadToItself();
            const std::optional<QImage> thumbnail = renderer->thumbnail(url);
            if (!thumbnail)
                return {};
            return {thumbnail->cacheKey(), filled(convert(*thumbnail), cell)};
        }).then(this, [this, url](const Prepared& result) {
            --running_;
            inFlight_.remove(url);
            if (result.image.isNull()) {
                failed_.insert(url);
            } else {
                prepared_.insert(url, new Prepared(result));
                Q_EMIT loaded(url);
            }
            startNext();
        });
    }
}
