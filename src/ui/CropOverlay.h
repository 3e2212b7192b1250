#pragma once

#include "imaging/edit/CropGeometry.h"
#include "imaging/edit/UnitRect.h"

#include <QWidget>

#include <functional>
#include <optional>

class ViewerStore;

// The crop frame over the photo while cropping: the shade outside the frame,
// the thirds grid, the frame that moves when dragged, and four corner handles
// that resize it. Every drag starts from the draft as it was when that drag
// began, so the frame follows the pointer exactly and rounding never adds up.
// Fills the canvas; `frame` is the photo's fitted rectangle in its coordinates.
class CropOverlay : public QWidget {
    Q_OBJECT
public:
    static constexpr double kHandleDiameter = 14;
    static constexpr double kHandleHitSide = 36;
    static constexpr double kMinimumDragDistance = 1;

    CropOverlay(ViewerStore& store, QWidget* parent = nullptr);

    void setFrame(const QRectF& frame);
    QRectF frame() const { return frame_; }
    // The draft in this widget's coordinates.
    QRectF draftRect() const;
    QRectF handleRect(CropGeometry::Corner corner) const;

    // The move transform: offset, then the origin held inside the photo.
    static UnitRect moved(const UnitRect& start, double dx, double dy);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    using Transform = std::function<UnitRect(const UnitRect& start, double dx, double dy)>;

    ViewerStore& store_;
    QRectF frame_;
    std::optional<QPointF> pressAt_;
    Transform transform_;
    std::optional<UnitRect> draftAtDragStart_;
};
