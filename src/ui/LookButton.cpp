#include "LookButton.h"

#include "Appearance.h"
#include "ViewerAccessibility.h"

#include <QPainter>

LookButton::LookButton(const QString& title, QChar digit, QWidget* parent)
    : QAbstractButton(parent)
    , digit_(digit) {
    ViewerAccessibility::install();
    setText(title);
    setObjectName(title);
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setFont(Appearance::font(Appearance::TextStyle::body));
    setAccessibleName(title);
}

void LookButton::setSelected(bool selected) {
    if (selected == selected_)
        return;
    selected_ = selected;
    update();
}

QSize LookButton::sizeHint() const {
    return QSize(120, 30);
}

void LookButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(selected_ ? Appearance::white() : Appearance::grey(isDown() ? 0.24 : 0.18));
    painter.drawRoundedRect(QRectF(rect()), 6, 6);

    const QColor ink = selected_ ? QColor(Qt::black) : palette().color(QPalette::ButtonText);
    QFont caption = Appearance::monospacedDigits(Appearance::font(Appearance::TextStyle::caption));
    const QFontMetrics digitMetrics(caption);
    const QFontMetrics titleMetrics(font());
    const int digitWidth = digitMetrics.horizontalAdvance(digit_);
    const int total = digitWidth + 6 + titleMetrics.horizontalAdvance(text());
    int x = (width() - total) / 2;

    QColor faint = ink;
    faint.setAlphaF(0.5f);
    painter.setFont(caption);
    painter.setPen(faint);
    painter.drawText(QRect(x, 0, digitWidth, height()), Qt::AlignVCenter | Qt::AlignLeft, QString(digit_));
    x += digitWidth + 6;
    painter.setFont(font());
    painter.setPen(ink);
    painter.drawText(QRect(x, 0, width() - x, height()), Qt::AlignVCenter | Qt::AlignLeft, text());
}
