#include "ThumbnailLoader.h"

#include "imaging/pixels/ParallelRunner.h"
#include "imaging/render/ImageRenderer.h"
#include "platform/Background.h"
#include "platform/TaskPools.h"

#include <QPainter>
#include <QThreadPool>

namespace {

// As many prepared pictures as the renderer keeps thumbnails.
constexpr int kPreparedLimit = 2000;
// More than a wide strip shows at once; older sharpening requests belong to
// cells scrolled past and are dropped.
constexpr qsizetype kSharpenBacklog = 48;

// Scales to fill the cell and crops the overflow around the centre.
QImage filled(const QImage& image, const QSize& cell) {
    const QImage scaled = image.scaled(cell, Qt::KeepAspectRatioByExpanding, Qt::SmoothTransformation);
    const int x = (scaled.width() - cell.width()) / 2;
    const int y = (scaled.height() - cell.height()) / 2;
    return scaled.copy(x, y, cell.width(), cell.height());
}

// Whether filling the cell would enlarge the picture by more than a few percent.
bool tooSmall(const QSize& picture, const QSize& cell) {
    return picture.width() * 100 < cell.width() * 97 || picture.height() * 100 < cell.height() * 97;
}

} // namespace

ThumbnailLoader::ThumbnailLoader(const ImageRenderer& renderer, QThreadPool& pool, Convert convert,
                                 QObject* parent)
    : QObject(parent)
    , renderer_(renderer)
    , pool_(pool)
    , convert_(std::move(convert))
    , prepared_(kPreparedLimit) {}

const ThumbnailLoader::Prepared* ThumbnailLoader::valid(const QString& url) {
    const Prepared* prepared = prepared_.object(url);
    if (!prepared)
        return nullptr;
    // A cache lookup only, never a decode: cheap enough for every paint.
    const std::optional<qint64> source = renderer_.cachedThumbnailKey(url);
    if (!source || *source != prepared->source) {
        prepared_.remove(url);
        return nullptr;
    }
    return prepared;
}

QImage ThumbnailLoader::image(const QString& url) {
    const Prepared* prepared = valid(url);
    return prepared ? prepared->image : QImage();
}

QImage ThumbnailLoader::paintable(const QString& url) {
    const Prepared* prepared = valid(url);
    QImage picture = prepared ? prepared->image : QImage();
    request(url, prepared);
    return picture;
}

void ThumbnailLoader::request(const QString& url) {
    request(url, valid(url));
}

void ThumbnailLoader::request(const QString& url, const Prepared* prepared) {
    if (url.isEmpty() || inFlight_.contains(url) || failed_.contains(url))
        return;
    if (!prepared || prepared->cell != cell_) {
        inFlight_.insert(url);
        queue_.append(url);
    } else if (!prepared->final) {
        inFlight_.insert(url);
        sharpenQueue_.append(url);
        if (sharpenQueue_.size() > kSharpenBacklog)
            inFlight_.remove(sharpenQueue_.takeFirst());
    } else {
        return;
    }
    startNext();
}

void ThumbnailLoader::retryFailed() {
    failed_.clear();
}

void ThumbnailLoader::startNext() {
    const int threads = std::max(1, pool_.maxThreadCount());
    while (!queue_.isEmpty() && running_ < threads)
        start(queue_.takeLast(), Job::load);
    // Sharper pictures wait for every first load and take one thread, so a
    // fling and the stage's own decodes are never held up by them.
    if (queue_.isEmpty() && !sharpenQueue_.isEmpty() && !sharpening_ && running_ < threads)
        start(sharpenQueue_.takeLast(), Job::sharpen);
}

void ThumbnailLoader::start(const QString& url, Job job) {
    ++running_;
    ++started_;
    if (job == Job::sharpen)
        sharpening_ = true;
    const ImageRenderer* renderer = &renderer_;
    const QSize cell = cell_;
    Background::run(
        &pool_,
        [renderer, url, cell, job, convert = convert_]() -> Prepared {
            TaskPools::lowerCurrentThreadPriority();
            ParallelRunner::keepCurrentThreadToItself();
            std::optional<QImage> thumbnail = renderer->thumbnail(url);
            bool final = !thumbnail || !tooSmall(thumbnail->size(), cell);
            if (job == Job::sharpen && !final) {
                // Whatever the photo gives is as sharp as it gets; a photo that
                // cannot be decoded keeps its embedded thumbnail.
                if (auto decoded = renderer->decodedThumbnail(url))
                    thumbnail = std::move(decoded);
                final = true;
            }
            if (!thumbnail)
                return {};
            return {renderer->cachedThumbnailKey(url).value_or(0), filled(convert(*thumbnail), cell), cell,
                    final};
        },
        this,
        [this, url, job](const Prepared& result) {
            --running_;
            if (job == Job::sharpen)
                sharpening_ = false;
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
