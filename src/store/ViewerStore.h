#pragma once

#include "Library.h"
#include "PhotoLoad.h"
#include "ShotsInReach.h"
#include "StageMode.h"
#include "Toast.h"

#include "card/Shot.h"
#include "imaging/edit/CropAspect.h"
#include "imaging/edit/Edit.h"
#include "imaging/edit/Look.h"
#include "imaging/edit/UnitRect.h"
#include "imaging/render/ImageRenderer.h"
#include "platform/TaskPools.h"
#include "tv/CastController.h"
#include "tv/TVDisplay.h"
#include "update/Updater.h"

#include <QHash>
#include <QImage>
#include <QList>
#include <QObject>
#include <QSet>
#include <QSizeF>
#include <QTimer>

#include <memory>
#include <optional>

class DeviceProperties;
class DnsSdBrowser;
class FileReveal;
class FolderChooser;
class ScreenList;
class Trash;
class VolumeMonitor;
class WindowControl;

// The desktop services the store reaches through the application's wiring.
// Tests hand in fakes of the ones a test cannot own.
struct StoreServices {
    VolumeMonitor* volumes = nullptr;
    const DeviceProperties* devices = nullptr;
    FolderChooser* folderChooser = nullptr;
    WindowControl* window = nullptr;
    Trash* trash = nullptr;
    FileReveal* reveal = nullptr;
    // Where edited copies go: the user's Pictures folder plus "Zorva Edits".
    QString editsFolder;
    // Multiplies every store timer's duration; tests run the timers on a faster clock.
    double timeScale = 1.0;
    // Finds Cast TVs on the network; none: the TV list stays empty.
    DnsSdBrowser* castBrowser = nullptr;
    // The desktop's screens; none: there is never a second screen for the TV.
    ScreenList* screens = nullptr;
};

// The one model of the viewer: the library and the current shot, the stage
// image, zoom and pan, the per-shot edits and the crop being drawn, the toast.
// Lives on the main thread; every observable field has a change signal that
// fires only when the value really changes. Slow work runs on its worker pools
// and is applied here on the main thread.
class ViewerStore : public QObject {
    Q_OBJECT
    Q_PROPERTY(Library library READ library NOTIFY libraryChanged)
    Q_PROPERTY(QList<Shot> shots READ shots NOTIFY shotsChanged)
    Q_PROPERTY(int currentIndex READ currentIndex NOTIFY currentIndexChanged)
    Q_PROPERTY(ShotFormat preferredFormat READ preferredFormat WRITE setPreferredFormat NOTIFY
                   preferredFormatChanged)
    Q_PROPERTY(QImage displayedImage READ displayedImage NOTIFY displayedImageChanged)
    Q_PROPERTY(PhotoLoad photoLoad READ photoLoad NOTIFY photoLoadChanged)
    Q_PROPERTY(bool isSaving READ isSaving NOTIFY isSavingChanged)
    Q_PROPERTY(
        bool isEditPanelShown READ isEditPanelShown WRITE setEditPanelShown NOTIFY isEditPanelShownChanged)
    Q_PROPERTY(std::optional<Toast> toast READ toast WRITE setToast NOTIFY toastChanged)
    Q_PROPERTY(std::optional<Shot> permanentDeleteCandidate READ permanentDeleteCandidate WRITE
                   setPermanentDeleteCandidate NOTIFY permanentDeleteCandidateChanged)
    Q_PROPERTY(std::optional<Look> lookBanner READ lookBanner NOTIFY lookBannerChanged)
    Q_PROPERTY(StageMode stageMode READ stageMode NOTIFY stageModeChanged)
    Q_PROPERTY(UnitRect cropDraft READ cropDraft WRITE setCropDraft NOTIFY cropDraftChanged)
    Q_PROPERTY(CropAspect cropAspect READ cropAspect NOTIFY cropAspectChanged)
    Q_PROPERTY(double zoom READ zoom NOTIFY zoomChanged)
    Q_PROPERTY(QSizeF pan READ pan WRITE setPan NOTIFY panChanged)
    Q_PROPERTY(QImage detailImage READ detailImage NOTIFY detailImageChanged)
    Q_PROPERTY(bool isImmersive READ isImmersive NOTIFY isImmersiveChanged)

public:
    explicit ViewerStore(StoreServices services, QObject* parent = nullptr);
    ~ViewerStore() override;

    // Subscribes to volume and full-screen changes and opens a camera that is
    // already mounted. Called once, when the window first appears.
    void start();
    // Asks for a folder and opens it; a cancelled chooser changes nothing.
    void chooseFolder();
    // Opens a source: scans it in the background, newest shot current. The
    // result of a scan is applied only if no newer open started meanwhile.
    void open(const PhotoSource& source);
    // Makes the shot at `index` current; out of range or current: nothing.
    void select(int index);
    std::optional<Shot> currentShot() const;
    // Where the shown list came from; while another folder is read, still the old one.
    const PhotoSource& shotsSource() const { return shotsSource_; }

    const Library& library() const { return library_; }
    const QList<Shot>& shots() const { return shots_; }
    int currentIndex() const { return currentIndex_; }
    ShotFormat preferredFormat() const { return preferredFormat_; }
    void setPreferredFormat(ShotFormat format);
    const QImage& displayedImage() const { return displayedImage_; }
    const PhotoLoad& photoLoad() const { return photoLoad_; }
    bool isSaving() const { return isSaving_; }
    // Where copies go, named as the folders are on disk: the Pictures folder
    // has the desktop's language ("Bilder › Zorva Edits").
    QString editsFolderLabel() const;
    bool isEditPanelShown() const { return isEditPanelShown_; }
    void setEditPanelShown(bool shown);
    const std::optional<Toast>& toast() const { return toast_; }
    void setToast(const std::optional<Toast>& toast);
    const std::optional<Shot>& permanentDeleteCandidate() const { return permanentDeleteCandidate_; }
    void setPermanentDeleteCandidate(const std::optional<Shot>& shot);
    const std::optional<Look>& lookBanner() const { return lookBanner_; }
    const StageMode& stageMode() const { return stageMode_; }
    const UnitRect& cropDraft() const { return cropDraft_; }
    void setCropDraft(const UnitRect& draft);
    CropAspect cropAspect() const { return cropAspect_; }
    double zoom() const { return zoom_; }
    const QSizeF& pan() const { return pan_; }
    void setPan(const QSizeF& pan);
    const QImage& detailImage() const { return detailImage_; }
    bool isImmersive() const { return isImmersive_; }
    // Width in points of the photo as fitted on the stage; written by the canvas.
    double fitWidth() const { return fitWidth_; }
    void setFitWidth(double width) { fitWidth_ = width; }

    // Display pipeline and zoom.
    void toggleFormat();
    void refreshDisplay();
    void setZoom(double value);
    double actualSizeZoom() const;
    void resetZoom();
    void toggleImmersive();

    // Edits and crop.
    Edit currentEdit() const;
    void setCurrentEdit(const Edit& edit);
    void selectLook(Look look);
    void cycleLook(int step);
    void resetEdit();
    void startCrop();
    void finishCrop();
    void cancelCrop();
    std::optional<double> cropUnitRatio() const;
    void setCropAspect(CropAspect aspect);
    void resetCropDraft();

    // Trash.
    void trashCurrent();
    void undoLastTrash();
    void deletePermanently(const Shot& shot);

    // Saving and toasts.
    void saveCopy();
    void perform(const ToastAction& action);

    static constexpr double kLoadingDelay = 0.15;
    static constexpr double kToastDuration = 10.0;
    static constexpr double kLookBannerDuration = 0.9;
    static constexpr double kMinimumZoom = 1.0;
    static constexpr double kMaximumZoom = 8.0;
    static constexpr double kDetailZoom = 1.01;
    static constexpr double kMinimumActualSizeZoom = 1.5;
    static constexpr double kUnknownActualSizeZoom = 2.0;
    static constexpr double kDefaultScreenScale = 2.0;
    static constexpr double kWholeImageCrop = 0.995;
    // After an export, or once a detail is let go, its full-size memory is
    // kept this long for the next one, then given back to the system.
    static constexpr double kSpareMemoryDelay = 3.0;

    const ImageRenderer& renderer() const { return renderer_; }
    TaskPools& pools() { return pools_; }
    CastController& cast() { return *cast_; }
    const CastController& cast() const { return *cast_; }
    TVDisplay& tvDisplay() { return *tvDisplay_; }
    const TVDisplay& tvDisplay() const { return *tvDisplay_; }
    Updater& updater() { return *updater_; }

Q_SIGNALS:
    void libraryChanged();
    void shotsChanged();
    void currentIndexChanged();
    void preferredFormatChanged();
    void displayedImageChanged();
    void photoLoadChanged();
    void isSavingChanged();
    void isEditPanelShownChanged();
    void toastChanged();
    void permanentDeleteCandidateChanged();
    void lookBannerChanged();
    void stageModeChanged();
    void cropDraftChanged();
    void cropAspectChanged();
    void zoomChanged();
    void panChanged();
    void detailImageChanged();
    void isImmersiveChanged();
    // The current shot's edit may have changed (a new edit, or another shot became current).
    void currentEditChanged();

private:
    // What one stage render was asked for.
    struct RenderRequest {
        quint64 generation = 0;
        QString shotId;
        ShotFormat format = ShotFormat::jpeg;
        QString url;
        Edit edit;
        bool sameSubject(const RenderRequest& other) const {
            return shotId == other.shotId && format == other.format && url == other.url;
        }
    };
    // What the detail image was rendered from.
    struct DetailKey {
        QString shot;
        ShotFormat format = ShotFormat::jpeg;
        Edit edit;
        bool operator==(const DetailKey&) const = default;
    };

    void volumesChanged();
    void show(const QList<Shot>& shots, const PhotoSource& source);
    void setLibrary(const Library& library);
    void setImmersive(bool immersive);
    void setDisplayedImage(const QImage& image);
    void setDetailImage(const QImage& image);
    void setPhotoLoad(const PhotoLoad& load);
    void setStageMode(const StageMode& mode);
    void setCropAspectValue(CropAspect aspect);
    void setZoomValue(double zoom);
    void setLookBanner(const std::optional<Look>& look);
    void setSaving(bool saving);

    Edit displayEdit() const;
    void startRender(const RenderRequest& request);
    void renderLanded(const RenderRequest& request, const std::expected<QImage, RenderError>& result);
    void cancelRender();
    void cancelDetail();
    void prefetchNeighbours();
    void updateReach();
    void loadDetailIfZoomed();
    void startDetail();
    void remove(const Shot& shot);
    // Lists a shot with only the files it still has on disk.
    void keepOnly(const Shot& shot, const ShotFiles& files);
    void undoTrash(const TrashedShot& trashed);
    void present(const Toast& toast);
    void showLookBanner(Look look);
    int scaledMs(double seconds) const;

    StoreServices services_;
    TaskPools pools_;
    ImageRenderer renderer_;

    Library library_;
    QList<Shot> shots_;
    int currentIndex_ = 0;
    ShotFormat preferredFormat_ = ShotFormat::jpeg;
    QImage displayedImage_;
    PhotoLoad photoLoad_;
    bool isSaving_ = false;
    bool isEditPanelShown_ = false;
    std::optional<Toast> toast_;
    std::optional<Shot> permanentDeleteCandidate_;
    std::optional<Look> lookBanner_;
    StageMode stageMode_;
    UnitRect cropDraft_;
    CropAspect cropAspect_ = CropAspect::free;
    double zoom_ = 1.0;
    QSizeF pan_{0, 0};
    QImage detailImage_;
    bool isImmersive_ = false;
    double fitWidth_ = 1.0;

    QHash<QString, Edit> edits_;

    // Stage renders: every refresh gets a generation; a result is shown only if
    // it is the newest, or if it is an edit render of the same shot and format
    // that newer edits were coalesced behind (so a slider that moves faster than
    // renders land still shows progress). Renders of another shot are dropped.
    quint64 renderGeneration_ = 0;
    std::optional<RenderRequest> renderInFlight_;
    std::optional<RenderRequest> renderQueued_;
    QTimer loadingTimer_;
    QStringList lastPrefetch_;
    // Renders still queued for a shot no longer current, and prefetches for
    // one more than two steps away, are skipped when they come to run.
    std::shared_ptr<ShotsInReach> inReach_ = std::make_shared<ShotsInReach>();

    // The detail render: at most one runs at a time; a newer key waits for it,
    // so zooming while a slider moves never piles up full-resolution renders.
    std::optional<DetailKey> detailKey_;
    QString detailUrl_;
    quint64 detailGeneration_ = 0;
    bool detailRunning_ = false;
    bool detailPending_ = false;
    QUuid presentedToastId_;

    QTimer toastTimer_;
    QTimer spareMemoryTimer_;
    QTimer lookBannerTimer_;
    // Bumped by every change of source, so a scan that finishes after a newer
    // open (or after its card went away) is dropped instead of replacing the list.
    quint64 openGeneration_ = 0;
    // Files trashed or deleted since the newest open began, kept out of its scan's result.
    QSet<QString> goneDuringScan_;
    // The source `shots` came from. It differs from the library's source while
    // a newer open scans: the old list stays on screen until the scan lands.
    PhotoSource shotsSource_;
    // The camera the mount table answered last time; nothing when there was none.
    std::optional<PhotoSource> lastCamera_;
    bool started_ = false;

    // Covers the TV's screen with the presentation; created after the renderer.
    std::unique_ptr<TVDisplay> tvDisplay_;
    // Installs new versions of the viewer; its toast offers the restart.
    std::unique_ptr<Updater> updater_;
    // Created last, handed the renderer; receives every new stage image.
    std::unique_ptr<CastController> cast_;
};
