#include "StageArrow.h"

#include "Appearance.h"

#include <QPainter>

StageArrow::StageArrow(Symbols::Symbol symbol, const QString& label, QWidget* parent)
    : QAbstractButton(parent)
    , symbol_(symbol) {
    setFixedSize(44, 88);
    setToolTip(label);
    setAccessibleName(label);
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::PointingHandCursor);
}

void StageArrow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Appearance::black(isDown() ? 0.5 : 0.35));
    painter.drawRoundedRect(QRectF(rect()), 10, 10);
    const QColor ink = isEnabled() ? Appearance::white() : Appearance::white(0.3);
    const QRectF glyph(QPointF(0, 0), QSizeF(22, 22));
    Symbols::draw(painter, symbol_, glyph.translated(QRectF(rect()).center() - glyph.center()), ink, 2.6);
}
