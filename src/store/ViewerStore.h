#pragma once

#include "Library.h"
#include "PhotoLoad.h"
#include "StageMode.h"
#include "Toast.h"

#include "card/Shot.h"
#include "imaging/CropAspect.h"
#include "imaging/Edit.h"
#include "imaging/Look.h"
#include "imaging/UnitRect.h"
#include "platform/TaskPools.h"

#include <QHash>
#include <QImage>
#include <QList>
#include <QObject>
#include <QSizeF>

#include <optional>

class DeviceProperties;
class FolderChooser;
class VolumeMonitor;
class WindowControl;

// The desktop services the store reaches through the application's wiring.
// Tests hand in fakes of the ones a test cannot own.
struct StoreServices {
    VolumeMonitor* volumes = nullptr;
    const DeviceProperties* devices = nullptr;
    FolderChooser* folderChooser = nullptr;
    WindowControl* window = nullptr;
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

    const Library& library() const { return library_; }
    const QList<Shot>& shots() const { return shots_; }
    int currentIndex() const { return currentIndex_; }
    ShotFormat preferredFormat() const { return preferredFormat_; }
    void setPreferredFormat(ShotFormat format);
    const QImage& displayedImage() const { return displayedImage_; }
    const PhotoLoad& photoLoad() const { return photoLoad_; }
    bool isSaving() const { return isSaving_; }
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

    TaskPools& pools() { return pools_; }

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

private:
    void volumesChanged();
    void show(const QList<Shot>& shots, const PhotoSource& source);
    void setLibrary(const Library& library);
    void setImmersive(bool immersive);

    StoreServices services_;
    TaskPools pools_;

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
    // Bumped by every change of source, so a scan that finishes after a newer
    // open (or after its card went away) is dropped instead of replacing the list.
    quint64 openGeneration_ = 0;
    bool started_ = false;
};
