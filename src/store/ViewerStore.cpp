#include "ViewerStore.h"

#include "card/PhotoScanner.h"
#include "platform/Background.h"
#include "platform/FolderChooser.h"
#include "platform/Observable.h"
#include "platform/VolumeMonitor.h"
#include "platform/WindowControl.h"

#include <QPointer>

#include <algorithm>
#include <cmath>

using namespace Qt::StringLiterals;

ViewerStore::ViewerStore(StoreServices services, QObject* parent)
    : QObject(parent)
    , services_(services) {
    // Each timer belongs to one thing on screen: a new render, toast or
    // banner restarts it, so an old one never cuts a new one short.
    loadingTimer_.setSingleShot(true);
    connect(&loadingTimer_, &QTimer::timeout, this, [this] {
        if (renderInFlight_)
            setPhotoLoad(PhotoLoad::loading());
    });
    toastTimer_.setSingleShot(true);
    connect(&toastTimer_, &QTimer::timeout, this, [this] { setToast(std::nullopt); });
    spareMemoryTimer_.setSingleShot(true);
    connect(&spareMemoryTimer_, &QTimer::timeout, this, [this] { renderer_.releaseSpareMemory(); });
    lookBannerTimer_.setSingleShot(true);
    connect(&lookBannerTimer_, &QTimer::timeout, this, [this] { setLookBanner(std::nullopt); });
    tvDisplay_ = std::make_unique<TVDisplay>(services_.screens);
    updater_ = std::make_unique<Updater>();
    cast_ = std::make_unique<CastController>(renderer_, *pools_.userInitiated(), services_.castBrowser);
}

ViewerStore::~ViewerStore() {
    // Jobs in flight only read their own inputs; wait for them before the
    // members they may hand results to are gone.
    pools_.waitForDone();
}

void ViewerStore::start() {
    if (started_)
        return;
    started_ = true;
    if (services_.volumes) {
        connect(services_.volumes, &VolumeMonitor::volumesChanged, this, &ViewerStore::volumesChanged);
        services_.volumes->startWatching();
    }
    if (services_.window)
        connect(services_.window, &WindowControl::fullScreenExited, this, [this] { setImmersive(false); });
    cast_->startBrowsing();
    updater_->onInstalled = [store = QPointer(this)](const QString& version) {
        if (store)
            store->present(Toast::make(u"Zorva Viewer "_s + version + u" is installed"_s,
                                       ToastAction::restartForUpdate()));
    };
    updater_->start();
    volumesChanged();
}

void ViewerStore::volumesChanged() {
    if (!services_.volumes || !services_.devices)
        return;
    const std::optional<PhotoScanner::Camera> camera =
        PhotoScanner::mountedCamera(services_.volumes->mountedVolumes(), *services_.devices);
    std::optional<PhotoSource> answer;
    if (camera)
        answer = PhotoSource::camera(camera->name, camera->dcim);
    // Only a card that appears (a new or different answer) replaces what is
    // open. The mount table changes for many reasons (loop, snap and network
    // mounts); the same card staying mounted meanwhile must not replace a
    // folder opened after it, nor rescan the card and drop its edits and zoom.
    const bool appeared = answer && answer != lastCamera_;
    lastCamera_ = answer;
    if (appeared && *answer != library_.source) {
        open(*answer);
        if (services_.window)
            services_.window->activate();
    } else if (!answer && library_.source.kind == PhotoSource::Kind::camera) {
        show({}, PhotoSource::none());
    }
}

void ViewerStore::open(const PhotoSource& source) {
    const quint64 generation = ++openGeneration_;
    if (source.kind == PhotoSource::Kind::none) {
        show({}, PhotoSource::none());
        return;
    }
    setLibrary(Library::scanning(source));
    goneDuringScan_.clear();
    const QString folder = source.url;
    Background::run(
        pools_.userInitiated(), [folder] { return PhotoScanner::shots(folder); }, this,
        [this, generation, source](QList<Shot> shots) {
            if (generation != openGeneration_)
                return;
            // The scan may have read the folder before files were trashed or deleted here.
            if (!goneDuringScan_.isEmpty()) {
                shots.removeIf([this](const Shot& shot) {
                    const QStringList files = shot.files.all();
                    return std::ranges::any_of(
                        files, [this](const QString& file) { return goneDuringScan_.contains(file); });
                });
            }
            show(shots, source);
        });
}

void ViewerStore::show(const QList<Shot>& shots, const PhotoSource& source) {
    ++openGeneration_;
    // A crop being drawn belongs to a photo of the old list. The zoom stays:
    // the next photo appears at the same zoom.
    if (stageMode_.isCropping())
        setStageMode(StageMode::viewing());
    shotsSource_ = source;
    setObservable(this, shots_, shots, &ViewerStore::shotsChanged);
    edits_.clear();
    setObservable(this, currentIndex_, 0, &ViewerStore::currentIndexChanged);
    Q_EMIT currentEditChanged();
    setLibrary(shots.isEmpty() ? Library::empty(source) : Library::loaded(source));
    refreshDisplay();
}

void ViewerStore::chooseFolder() {
    if (!services_.folderChooser)
        return;
    if (const std::optional<QString> folder = services_.folderChooser->chooseFolder())
        open(PhotoSource::folder(*folder));
}

void ViewerStore::select(int index) {
    if (index < 0 || index >= shots_.size() || index == currentIndex_)
        return;
    // Leaving a shot commits the crop being drawn to that shot.
    if (stageMode_.isCropping())
        finishCrop();
    resetZoom();
    setObservable(this, currentIndex_, index, &ViewerStore::currentIndexChanged);
    Q_EMIT currentEditChanged();
    refreshDisplay();
}

std::optional<Shot> ViewerStore::currentShot() const {
    if (currentIndex_ >= 0 && currentIndex_ < shots_.size())
        return shots_[currentIndex_];
    return std::nullopt;
}

void ViewerStore::setLibrary(const Library& library) {
    setObservable(this, library_, library, &ViewerStore::libraryChanged);
}

void ViewerStore::setPreferredFormat(ShotFormat format) {
    setObservable(this, preferredFormat_, format, &ViewerStore::preferredFormatChanged);
}

void ViewerStore::setEditPanelShown(bool shown) {
    setObservable(this, isEditPanelShown_, shown, &ViewerStore::isEditPanelShownChanged);
}

void ViewerStore::setToast(const std::optional<Toast>& toast) {
    setObservable(this, toast_, toast, &ViewerStore::toastChanged);
}

void ViewerStore::setPermanentDeleteCandidate(const std::optional<Shot>& shot) {
    setObservable(this, permanentDeleteCandidate_, shot, &ViewerStore::permanentDeleteCandidateChanged);
}

void ViewerStore::setCropDraft(const UnitRect& draft) {
    setObservable(this, cropDraft_, draft, &ViewerStore::cropDraftChanged);
}

void ViewerStore::setPan(const QSizeF& pan) {
    setObservable(this, pan_, pan, &ViewerStore::panChanged);
}

void ViewerStore::setImmersive(bool immersive) {
    setObservable(this, isImmersive_, immersive, &ViewerStore::isImmersiveChanged);
}

namespace {

// Bitmaps compare by identity: comparing pixels would cost a full pass over
// a 2560-pixel image on every render, and a new render is news even when its
// pixels happen to match.
void setBitmap(ViewerStore* store, QImage& field, const QImage& image, void (ViewerStore::*changed)()) {
    if (image.cacheKey() == field.cacheKey() && image.isNull() == field.isNull())
        return;
    field = image;
    Q_EMIT(store->*changed)();
}

} // namespace

void ViewerStore::setDisplayedImage(const QImage& image) {
    const qint64 before = displayedImage_.cacheKey();
    setBitmap(this, displayedImage_, image, &ViewerStore::displayedImageChanged);
    // Each new stage image goes to the TV while casting.
    if (!image.isNull() && image.cacheKey() != before)
        cast_->show(image);
}

void ViewerStore::setDetailImage(const QImage& image) {
    // A detail let go returns its full-size block to the renderer's pool.
    if (image.isNull() && !detailImage_.isNull())
        spareMemoryTimer_.start(scaledMs(kSpareMemoryDelay));
    setBitmap(this, detailImage_, image, &ViewerStore::detailImageChanged);
}

void ViewerStore::setPhotoLoad(const PhotoLoad& load) {
    setObservable(this, photoLoad_, load, &ViewerStore::photoLoadChanged);
}

void ViewerStore::setStageMode(const StageMode& mode) {
    setObservable(this, stageMode_, mode, &ViewerStore::stageModeChanged);
}

void ViewerStore::setCropAspectValue(CropAspect aspect) {
    setObservable(this, cropAspect_, aspect, &ViewerStore::cropAspectChanged);
}

void ViewerStore::setZoomValue(double zoom) {
    setObservable(this, zoom_, zoom, &ViewerStore::zoomChanged);
}

void ViewerStore::setLookBanner(const std::optional<Look>& look) {
    setObservable(this, lookBanner_, look, &ViewerStore::lookBannerChanged);
}

void ViewerStore::setSaving(bool saving) {
    setObservable(this, isSaving_, saving, &ViewerStore::isSavingChanged);
}

int ViewerStore::scaledMs(double seconds) const {
    return std::max(0, int(std::lround(seconds * services_.timeScale * 1000)));
}
