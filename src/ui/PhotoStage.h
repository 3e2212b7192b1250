#pragma once

#include "StageImageConverter.h"

#include <QWidget>

class CapsuleLabel;
class CropBar;
class CropOverlay;
class EmptyLibraryView;
class Fader;
class FailureNotice;
class PhotoCanvas;
class Spinner;
class StageArrow;
class ViewerStore;

// The large black stage: the empty-library view, the scanning spinner, or the
// photo with its layers (look banner, failure notice, loading spinner, format
// and zoom badges, and the previous/next arrows that fade in while the pointer
// is over the stage). Reads everything from the store. Main thread.
class PhotoStage : public QWidget {
    Q_OBJECT
public:
    PhotoStage(ViewerStore& store, StageImageConverter::Convert convert, QWidget* parent = nullptr);

    PhotoCanvas* canvas() const { return canvas_; }
    CropOverlay* cropOverlay() const { return cropOverlay_; }
    CropBar* cropBar() const { return cropBar_; }

    static QString zoomBadgeText(double zoom);
    static constexpr int kArrowFadeMs = 150;
    static constexpr int kBannerFadeMs = 150;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void refresh();
    void layoutLayers();
    void setHovering(bool hovering);

    ViewerStore& store_;
    StageImageConverter converter_;
    EmptyLibraryView* empty_;
    QWidget* scanning_;
    PhotoCanvas* canvas_;
    CapsuleLabel* banner_;
    Fader* bannerFader_;
    FailureNotice* failure_;
    Spinner* loading_;
    CapsuleLabel* formatBadge_;
    CapsuleLabel* zoomBadge_;
    CropOverlay* cropOverlay_;
    CropBar* cropBar_;
    StageArrow* previous_;
    StageArrow* next_;
    Fader* previousFader_;
    Fader* nextFader_;
    bool hovering_ = false;
};
