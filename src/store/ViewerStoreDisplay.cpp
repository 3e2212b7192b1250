// The display pipeline of ViewerStore: which file of the current shot is shown,
// rendering it off the main thread, the delayed loading state, neighbour
// prefetch, the full-resolution detail while zoomed, zoom and full screen.

#include "ViewerStore.h"

#include "imaging/pixels/ParallelRunner.h"
#include "platform/Background.h"
#include "platform/WindowControl.h"

#include <algorithm>
#include <cstdlib>

void ViewerStore::toggleFormat() {
    const std::optional<Shot> shot = currentShot();
    if (!shot || shot->files.formats().size() != 2)
        return;
    const ShotFormat shown = shot->displayFormat(preferredFormat_);
    setPreferredFormat(shown == ShotFormat::jpeg ? ShotFormat::raw : ShotFormat::jpeg);
    refreshDisplay();
}

Edit ViewerStore::displayEdit() const {
    // While cropping, the whole photo is shown under the frame being drawn.
    Edit edit = currentEdit();
    if (stageMode_.isCropping())
        edit.crop.reset();
    return edit;
}

void ViewerStore::refreshDisplay() {
    updateReach();
    const std::optional<Shot> shot = currentShot();
    const ShotFormat format = shot ? shot->displayFormat(preferredFormat_) : preferredFormat_;
    const std::optional<QString> url = shot ? shot->files.url(format) : std::nullopt;
    if (!url) {
        cancelRender();
        setDisplayedImage({});
        setPhotoLoad(PhotoLoad::idle());
        return;
    }
    cancelDetail();

    const RenderRequest request{++renderGeneration_, shot->id, format, *url, displayEdit()};
    if (renderInFlight_ && renderInFlight_->sameSubject(request)) {
        // Same photo, new edit: wait for the render in flight, then render the
        // latest edit. A render of the very same edit just answers this request.
        if (renderInFlight_->edit == request.edit)
            renderQueued_.reset();
        else
            renderQueued_ = request;
        return;
    }
    renderQueued_.reset();
    startRender(request);
}

void ViewerStore::startRender(const RenderRequest& request) {
    renderInFlight_ = request;
    // The previous photo stays on the stage; "loading" only if this takes a while.
    loadingTimer_.start(scaledMs(kLoadingDelay));
    const ImageRenderer* renderer = &renderer_;
    Background::run(
        pools_.userInitiated(),
        [renderer, request, reach = inReach_]() -> std::optional<std::expected<QImage, RenderError>> {
            // Left behind while it waited in the queue: its result could never be
            // shown, and the neighbours of where the user stops are the prefetch's
            // to decode. (A render already running is let finish, unseen.)
            if (!reach->within(request.shotId, 0))
                return std::nullopt;
            return renderer->render(request.url, request.format, request.edit);
        },
        this,
        [this, request](const std::optional<std::expected<QImage, RenderError>>& result) {
            // A skipped render is never the newest: its shot is not the current one.
            if (result)
                renderLanded(request, *result);
        });
}

void ViewerStore::renderLanded(const RenderRequest& request,
                               const std::expected<QImage, RenderError>& result) {
    // A render whose place was taken by a render of another photo, or that was
    // cancelled, changes nothing.
    if (!renderInFlight_ || renderInFlight_->generation != request.generation)
        return;
    renderInFlight_.reset();
    loadingTimer_.stop();

    if (result) {
        setDisplayedImage(*result);
        setPhotoLoad(PhotoLoad::idle());
        prefetchNeighbours();
        loadDetailIfZoomed();
    } else {
        setDisplayedImage({});
        setPhotoLoad(PhotoLoad::failed(result.error().description()));
    }

    if (renderQueued_) {
        const RenderRequest next = *renderQueued_;
        renderQueued_.reset();
        startRender(next);
    }
}

void ViewerStore::cancelRender() {
    renderInFlight_.reset();
    renderQueued_.reset();
    loadingTimer_.stop();
}

void ViewerStore::updateReach() {
    QHash<QString, int> distances;
    for (int offset = -2; offset <= 2; ++offset) {
        const int index = currentIndex_ + offset;
        if (index >= 0 && index < shots_.size())
            distances.insert(shots_[index].id, std::abs(offset));
    }
    inReach_->set(std::move(distances));
}

void ViewerStore::prefetchNeighbours() {
    struct File {
        QString shotId;
        QString url;
        ShotFormat format;
    };
    QList<File> files;
    QStringList urls;
    for (int offset : {1, -1, 2, -2}) {
        const int index = currentIndex_ + offset;
        if (index < 0 || index >= shots_.size())
            continue;
        const Shot& shot = shots_[index];
        const ShotFormat format = shot.displayFormat(preferredFormat_);
        if (const std::optional<QString> url = shot.files.url(format)) {
            files.append({shot.id, *url, format});
            urls.append(*url);
        }
    }
    // Edit renders of one photo land many times a second; its neighbours need
    // decoding only once.
    if (files.isEmpty() || urls == lastPrefetch_)
        return;
    lastPrefetch_ = urls;
    const ImageRenderer* renderer = &renderer_;
    Background::run(pools_.utility(), [renderer, files, reach = inReach_] {
        TaskPools::lowerCurrentThreadPriority();
        ParallelRunner::keepCurrentThreadToItself();
        // The user may have moved on while this waited or decoded.
        for (const File& file : files) {
            if (reach->within(file.shotId, 2))
                renderer->prefetchBase(file.url, file.format);
        }
    });
}

void ViewerStore::loadDetailIfZoomed() {
    if (zoom_ <= kDetailZoom)
        return;
    const std::optional<Shot> shot = currentShot();
    if (!shot)
        return;
    const ShotFormat format = shot->displayFormat(preferredFormat_);
    const std::optional<QString> url = shot->files.url(format);
    if (!url)
        return;
    const DetailKey key{shot->id, format, displayEdit()};
    if (detailKey_ == key)
        return;
    detailKey_ = key;
    detailUrl_ = *url;
    setDetailImage({});
    ++detailGeneration_;
    if (detailRunning_)
        detailPending_ = true;
    else
        startDetail();
}

void ViewerStore::startDetail() {
    if (!detailKey_)
        return;
    detailRunning_ = true;
    const DetailKey key = *detailKey_;
    const QString url = detailUrl_;
    const quint64 generation = detailGeneration_;
    const ImageRenderer* renderer = &renderer_;
    Background::run(
        pools_.userInitiated(),
        [renderer, url, key] { return renderer->fullResolution(url, key.format, key.edit); }, this,
        [this, key, generation](const std::expected<QImage, RenderError>& result) {
            detailRunning_ = false;
            // Errors only mean there is no detail; the fitted image stays.
            if (generation == detailGeneration_ && detailKey_ == key && result)
                setDetailImage(*result);
            if (detailPending_) {
                detailPending_ = false;
                startDetail();
            }
        });
}

void ViewerStore::cancelDetail() {
    detailKey_.reset();
    detailPending_ = false;
    ++detailGeneration_;
    setDetailImage({});
}

void ViewerStore::setZoom(double value) {
    if (!currentShot() || stageMode_.isCropping())
        return;
    const double zoom = std::clamp(value, kMinimumZoom, kMaximumZoom);
    setZoomValue(zoom);
    if (zoom == kMinimumZoom)
        setPan(QSizeF(0, 0));
    loadDetailIfZoomed();
}

double ViewerStore::actualSizeZoom() const {
    const std::optional<Shot> shot = currentShot();
    if (!shot)
        return kUnknownActualSizeZoom;
    const std::optional<QString> url = shot->files.url(shot->displayFormat(preferredFormat_));
    const std::optional<QSize> size = url ? renderer_.pixelSize(*url) : std::nullopt;
    if (!size)
        return kUnknownActualSizeZoom;
    // Outside crop mode only the cropped share of the pixels fills the fitted width.
    const std::optional<UnitRect> crop = currentEdit().crop;
    const double fraction = !stageMode_.isCropping() && crop ? crop->width : 1.0;
    const double scale =
        (services_.window ? services_.window->screenScale() : std::nullopt).value_or(kDefaultScreenScale);
    return std::max(kMinimumActualSizeZoom, fraction * size->width() / (scale * fitWidth_));
}

void ViewerStore::resetZoom() {
    setZoomValue(kMinimumZoom);
    setPan(QSizeF(0, 0));
}

void ViewerStore::toggleImmersive() {
    if (!services_.window)
        return;
    setImmersive(!isImmersive_);
    if (services_.window->isFullScreen() != isImmersive_)
        services_.window->setFullScreen(isImmersive_);
}
