#include "CapsuleLabel.h"

#include <QPainter>

CapsuleLabel::CapsuleLabel(const QFont& font, QMargins padding, QColor background, QWidget* parent)
    : QWidget(parent)
    , padding_(padding)
    , background_(background) {
    setFont(font);
    setAttribute(Qt::WA_TranslucentBackground);
}

void CapsuleLabel::setText(const QString& text) {
    if (text == text_)
        return;
    text_ = text;
    updateGeometry();
    adjustSize();
    update();
}

QSize CapsuleLabel::sizeHint() const {
    const QFontMetrics metrics(font());
    return QSize(metrics.horizontalAdvance(text_), metrics.height()).grownBy(padding_);
}

void CapsuleLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF r = rect();
    painter.setPen(Qt::NoPen);
    painter.setBrush(background_);
    painter.drawRoundedRect(r, r.height() / 2, r.height() / 2);
    painter.setPen(Qt::white);
    painter.drawText(rect().marginsRemoved(padding_), Qt::AlignCenter, text_);
}
