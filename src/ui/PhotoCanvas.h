#pragma once

#include <QImage>
#include <QPointF>
#include <QWidget>

#include <optional>

class ViewerStore;

// Draws the photo fitted into the stage, scaled by the store's zoom and moved by
// its pan, and turns drag, double-click, touchpad pinch and Ctrl + wheel into
// zoom and pan of the store. It never renders pixels itself: the images it is
// given are already converted for the screen, and zoom is a drawing transform.
class PhotoCanvas : public QWidget {
    Q_OBJECT
public:
    explicit PhotoCanvas(ViewerStore& store, QWidget* parent = nullptr);

    // The stage image and the full-resolution detail, ready for the screen.
    void setImages(const QImage& stage, const QImage& detail);
    const QImage& stageImage() const { return stage_; }
    // The size the stage image has (the fitted rectangle follows its shape).
    void setImageSize(const QSize& size);

    // Where the whole photo is drawn at zoom 1, in this widget's coordinates.
    QRectF fittedRect() const;

    static constexpr double kWheelZoomStep = 1.25;

Q_SIGNALS:
    void fittedRectChanged(const QRectF& fitted);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    bool event(QEvent* event) override;

private:
    bool isViewing() const;
    void noteFittedRect();
    void pinch(double magnification);

    ViewerStore& store_;
    QImage stage_;
    QImage detail_;
    QSize imageSize_;
    double lastFitWidth_ = -1;

    std::optional<QPointF> pressAt_;
    bool dragging_ = false;
    std::optional<QSizeF> panAtGestureStart_;
    std::optional<double> zoomAtGestureStart_;
    double pinchMagnification_ = 1.0;
};
