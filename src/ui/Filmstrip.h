#pragma once

#include <QListView>

class QPropertyAnimation;
class ShotListModel;
class ThumbnailDelegate;
class ThumbnailLoader;
class ViewerStore;

// The strip of thumbnails under the stage, one cell per shot in card order. A
// click selects; when the current shot changes by any means the strip scrolls
// the current cell to the centre with a 0.2 s ease-out (not on first display).
// Cells are painted lazily, so only cells near the visible area load.
class Filmstrip : public QListView {
    Q_OBJECT
public:
    static constexpr int kHeight = 92;
    static constexpr int kScrollMs = 200;

    Filmstrip(ViewerStore& store, ThumbnailLoader& loader, QWidget* parent = nullptr);

    ThumbnailLoader& loader() const { return loader_; }
    // The horizontal offset that centres a row.
    int centredOffset(int row) const;

protected:
    void wheelEvent(QWheelEvent* event) override;
    void updateGeometries() override;

private:
    void currentShotChanged();

    ViewerStore& store_;
    ThumbnailLoader& loader_;
    ShotListModel* model_;
    ThumbnailDelegate* delegate_;
    QPropertyAnimation* scroll_;
    QString currentId_;
    // Until the strip is shown and laid out, every new layout re-centres the
    // current cell without animation.
    bool centrePending_ = true;
};
