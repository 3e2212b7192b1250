#include "ThumbnailLoader.h"

#include "imaging/ImageRenderer.h"
#include "imaging/ParallelRunner.h"
#include "platform/TaskPools.h"

#include <QPainter>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

namespace {

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
    , convert_(std::move(convert)) {}

void ThumbnailLoader::request(const QString& url) {
    if (url.isEmpty() || requested_.contains(url))
        return;
    requested_.insert(url);
    queue_.append(url);
    startNext();
}

void ThumbnailLoader::reset() {
    ++generation_;
    images_.clear();
    requested_.clear();
    queue_.clear();
}

void ThumbnailLoader::startNext() {
    while (!queue_.isEmpty() && running_ < std::max(1, pool_.maxThreadCount())) {
        const QString url = queue_.takeLast();
        ++running_;
        ++started_;
        const ImageRenderer* renderer = &renderer_;
        const QSize cell = cell_;
        QtConcurrent::run(&pool_, [renderer, url, cell, convert = convert_]() -> QImage {
            TaskPools::lowerCurrentThreadPriority();
            ParallelRunner::keepCurrentThreadToItself();
            const std::optional<QImage> thumbnail = renderer->thumbnail(url);
            if (!thumbnail)
                return {};
            return filled(convert(*thumbnail), cell);
        }).then(this, [this, url, generation = generation_](const QImage& image) {
            --running_;
            if (generation == generation_ && !image.isNull()) {
                images_.insert(url, image);
                Q_EMIT loaded(url);
            }
            startNext();
        });
    }
}
