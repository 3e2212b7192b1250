#include "Spinner.h"

#include <QPainter>
#include <QVariantAnimation>

Spinner::Spinner(int diameter, QWidget* parent)
    : QWidget(parent)
    , diameter_(diameter)
    , rotation_(new QVariantAnimation(this)) {
    setFixedSize(diameter, diameter);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    rotation_->setStartValue(0.0);
    rotation_->setEndValue(360.0);
    rotation_->setDuration(900);
    rotation_->setLoopCount(-1);
    connect(rotation_, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        angle_ = value.toDouble();
        update();
    });
}

void Spinner::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const double stroke = std::max(2.0, diameter_ / 10.0);
    const QRectF r = QRectF(rect()).adjusted(stroke, stroke, -stroke, -stroke);
    painter.setPen(QPen(QColor(255, 255, 255, 50), stroke));
    painter.drawEllipse(r);
    painter.setPen(QPen(QColor(255, 255, 255, 220), stroke, Qt::SolidLine, Qt::RoundCap));
    painter.drawArc(r, int(-angle_ * 16), 100 * 16);
}

void Spinner::showEvent(QShowEvent*) {
    rotation_->start();
}

void Spinner::hideEvent(QHideEvent*) {
    rotation_->stop();
}
