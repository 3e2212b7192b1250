#include "PhotoCanvas.h"

#include "StageGeometry.h"

#include "store/ViewerStore.h"

#include <QMouseEvent>
#include <QNativeGestureEvent>
#include <QPainter>
#include <QWheelEvent>

#include <cmath>

namespace {
constexpr double kMinimumDragDistance = 2;
}

PhotoCanvas::PhotoCanvas(ViewerStore& store, QWidget* parent)
    : QWidget(parent)
    , store_(store) {
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    setAttribute(Qt::WA_AcceptTouchEvents, false);
    setFocusPolicy(Qt::NoFocus);
    connect(&store_, &ViewerStore::zoomChanged, this, qOverload<>(&QWidget::update));
    connect(&store_, &ViewerStore::panChanged, this, qOverload<>(&QWidget::update));
    connect(&store_, &ViewerStore::stageModeChanged, this, [this] {
        noteFittedRect();
        update();
    });
}

void PhotoCanvas::setImages(const QImage& stage, const QImage& detail) {
    stage_ = stage;
    detail_ = detail;
    update();
}

void PhotoCanvas::setImageSize(const QSize& size) {
    if (size == imageSize_)
        return;
    imageSize_ = size;
    noteFittedRect();
    update();
}

bool PhotoCanvas::isViewing() const {
    return !store_.stageMode().isCropping();
}

QRectF PhotoCanvas::fittedRect() const {
    const double reserve = isViewing() ? 0.0 : StageGeometry::kCropBarReserve;
    return StageGeometry::fitted(QSizeF(imageSize_), QSizeF(size()), reserve);
}

void PhotoCanvas::noteFittedRect() {
    const QRectF fitted = fittedRect();
    if (fitted.width() != lastFitWidth_) {
        lastFitWidth_ = fitted.width();
        store_.setFitWidth(fitted.width());
    }
    Q_EMIT fittedRectChanged(fitted);
}

void PhotoCanvas::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    noteFittedRect();
}

void PhotoCanvas::paintEvent(QPaintEvent*) {
    const QImage& image = store_.zoom() > 1 && !detail_.isNull() ? detail_ : stage_;
    if (image.isNull())
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const QRectF target = StageGeometry::imageRect(fittedRect(), store_.zoom(), store_.pan());
    painter.drawImage(target, image);
}

void PhotoCanvas::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    pressAt_ = event->position();
    dragging_ = false;
}

void PhotoCanvas::mouseMoveEvent(QMouseEvent* event) {
    if (!pressAt_ || !(event->buttons() & Qt::LeftButton) || !isViewing())
        return;
    const QPointF translation = event->position() - *pressAt_;
    if (!dragging_ && std::hypot(translation.x(), translation.y()) < kMinimumDragDistance)
        return;
    dragging_ = true;
    // At zoom 1 there is nothing to pan, and the gesture keeps no start.
    if (store_.zoom() <= 1)
        return;
    const QSizeF start = panAtGestureStart_.value_or(store_.pan());
    panAtGestureStart_ = start;
    const QSizeF proposed(start.width() + translation.x(), start.height() + translation.y());
    store_.setPan(StageGeometry::clampedPan(proposed, store_.zoom(), fittedRect(), QSizeF(size())));
}

void PhotoCanvas::mouseReleaseEvent(QMouseEvent*) {
    pressAt_.reset();
    dragging_ = false;
    panAtGestureStart_.reset();
}

void PhotoCanvas::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !isViewing())
        return;
    if (store_.zoom() <= 1) {
        const double z = store_.actualSizeZoom();
        store_.setZoom(z);
        const QRectF fitted = fittedRect();
        const QSizeF proposed = StageGeometry::panKeeping(event->position(), z, fitted);
        store_.setPan(StageGeometry::clampedPan(proposed, store_.zoom(), fitted, QSizeF(size())));
    } else {
        store_.resetZoom();
    }
}

void PhotoCanvas::pinch(double magnification) {
    const double base = zoomAtGestureStart_.value_or(store_.zoom());
    zoomAtGestureStart_ = base;
    store_.setZoom(base * magnification);
    store_.setPan(StageGeometry::clampedPan(store_.pan(), store_.zoom(), fittedRect(), QSizeF(size())));
}

bool PhotoCanvas::event(QEvent* event) {
    if (event->type() == QEvent::NativeGesture) {
        auto* gesture = static_cast<QNativeGestureEvent*>(event);
        if (!isViewing())
            return true;
        switch (gesture->gestureType()) {
        case Qt::BeginNativeGesture:
            pinchMagnification_ = 1.0;
            break;
        case Qt::ZoomNativeGesture:
            // Each event carries the change since the last one; the gesture's
            // scale is their product since it began.
            pinchMagnification_ *= 1.0 + gesture->value();
            if (std::abs(pinchMagnification_ - 1.0) >= 0.01 || zoomAtGestureStart_)
                pinch(pinchMagnification_);
            break;
        case Qt::EndNativeGesture:
            zoomAtGestureStart_.reset();
            pinchMagnification_ = 1.0;
            break;
        default:
            break;
        }
        return true;
    }
    return QWidget::event(event);
}

void PhotoCanvas::wheelEvent(QWheelEvent* event) {
    if (!(event->modifiers() & Qt::ControlModifier) || !isViewing()) {
        QWidget::wheelEvent(event);
        return;
    }
    event->accept();
    const double notches = event->angleDelta().y() / 120.0;
    if (notches == 0)
        return;
    // Zoom about the pointer: the photo point under it stays under it.
    const QRectF fitted = fittedRect();
    const double before = store_.zoom();
    const QPointF fromCentre = event->position() - fitted.center();
    const QPointF photoPoint = (fromCentre - QPointF(store_.pan().width(), store_.pan().height())) / before;
    store_.setZoom(before * std::pow(kWheelZoomStep, notches));
    const double after = store_.zoom();
    const QPointF pan = fromCentre - photoPoint * after;
    store_.setPan(StageGeometry::clampedPan(QSizeF(pan.x(), pan.y()), after, fitted, QSizeF(size())));
}
