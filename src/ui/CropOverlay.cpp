#include "CropOverlay.h"

#include "Appearance.h"
#include "ViewerAccessibility.h"

#include "store/ViewerStore.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

CropOverlay::CropOverlay(ViewerStore& store, QWidget* parent)
    : QWidget(parent)
    , store_(store) {
    ViewerAccessibility::install();
    setObjectName(QStringLiteral("cropOverlay"));
    setMouseTracking(true);
    connect(&store_, &ViewerStore::cropDraftChanged, this, qOverload<>(&QWidget::update));
}

void CropOverlay::setFrame(const QRectF& frame) {
    frame_ = frame;
    update();
}

QRectF CropOverlay::draftRect() const {
    const UnitRect& draft = store_.cropDraft();
    return QRectF(frame_.x() + draft.x * frame_.width(), frame_.y() + draft.y * frame_.height(),
                  draft.width * frame_.width(), draft.height * frame_.height());
}

QRectF CropOverlay::handleRect(CropGeometry::Corner corner) const {
    const QRectF r = draftRect();
    const bool right =
        corner == CropGeometry::Corner::topRight || corner == CropGeometry::Corner::bottomRight;
    const bool bottom =
        corner == CropGeometry::Corner::bottomLeft || corner == CropGeometry::Corner::bottomRight;
    const QPointF centre(right ? r.right() : r.left(), bottom ? r.bottom() : r.top());
    return QRectF(centre.x() - kHandleHitSide / 2, centre.y() - kHandleHitSide / 2, kHandleHitSide,
                  kHandleHitSide);
}

UnitRect CropOverlay::moved(const UnitRect& start, double dx, double dy) {
    UnitRect r = start;
    r.x = std::min(std::max(start.x + dx, 0.0), 1 - start.width);
    r.y = std::min(std::max(start.y + dy, 0.0), 1 - start.height);
    return r;
}

void CropOverlay::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF r = draftRect();

    // The shade darkens the photo outside the frame, never the stage around it.
    QPainterPath shade;
    shade.setFillRule(Qt::OddEvenFill);
    shade.addRect(frame_);
    shade.addRect(r);
    painter.fillPath(shade, Appearance::black(0.6));

    painter.setPen(QPen(Appearance::white(0.35), 0.5));
    for (double third : {1.0 / 3, 2.0 / 3}) {
        painter.drawLine(QPointF(r.left() + r.width() * third, r.top()),
                         QPointF(r.left() + r.width() * third, r.bottom()));
        painter.drawLine(QPointF(r.left(), r.top() + r.height() * third),
                         QPointF(r.right(), r.top() + r.height() * third));
    }

    painter.setPen(QPen(Qt::white, 1.5));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(r.adjusted(0.75, 0.75, -0.75, -0.75));

    for (CropGeometry::Corner corner : CropGeometry::kCorners) {
        const QPointF centre = handleRect(corner).center();
        painter.setPen(Qt::NoPen);
        for (int ring = 3; ring >= 1; --ring) {
            painter.setBrush(Appearance::black(0.33 / 3));
            painter.drawEllipse(centre, kHandleDiameter / 2 + ring * 0.7, kHandleDiameter / 2 + ring * 0.7);
        }
        painter.setBrush(Qt::white);
        painter.drawEllipse(centre, kHandleDiameter / 2, kHandleDiameter / 2);
    }
}

void CropOverlay::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return;
    transform_ = nullptr;
    // Handles lie over the frame: a press on one resizes rather than moves.
    for (auto it = CropGeometry::kCorners.rbegin(); it != CropGeometry::kCorners.rend(); ++it) {
        if (handleRect(*it).contains(event->position())) {
            const CropGeometry::Corner corner = *it;
            transform_ = [this, corner](const UnitRect& start, double dx, double dy) {
                return CropGeometry::resized(start, corner, dx, dy, store_.cropUnitRatio());
            };
            break;
        }
    }
    if (!transform_ && draftRect().contains(event->position())) {
        transform_ = &CropOverlay::moved;
        setCursor(Qt::ClosedHandCursor);
    }
    if (transform_)
        pressAt_ = event->position();
}

void CropOverlay::mouseMoveEvent(QMouseEvent* event) {
    if (!pressAt_ || !transform_) {
        const bool overHandle =
            std::any_of(CropGeometry::kCorners.begin(), CropGeometry::kCorners.end(),
                        [&](auto corner) { return handleRect(corner).contains(event->position()); });
        setCursor(!overHandle && draftRect().contains(event->position()) ? Qt::OpenHandCursor
                                                                         : Qt::ArrowCursor);
        return;
    }
    const QPointF translation = event->position() - *pressAt_;
    if (!draftAtDragStart_ && std::hypot(translation.x(), translation.y()) < kMinimumDragDistance)
        return;
    if (frame_.width() <= 0 || frame_.height() <= 0)
        return;
    const UnitRect start = draftAtDragStart_.value_or(store_.cropDraft());
    draftAtDragStart_ = start;
    const UnitRect next =
        transform_(start, translation.x() / frame_.width(), translation.y() / frame_.height());
    if (next != store_.cropDraft())
        store_.setCropDraft(next);
}

void CropOverlay::mouseReleaseEvent(QMouseEvent* event) {
    pressAt_.reset();
    transform_ = nullptr;
    draftAtDragStart_.reset();
    setCursor(draftRect().contains(event->position()) ? Qt::OpenHandCursor : Qt::ArrowCursor);
}
