#include "Fader.h"

#include <QGraphicsOpacityEffect>
#include <QPropertyAnimation>
#include <QWidget>

Fader::Fader(QWidget* widget, int durationMs)
    : QObject(widget)
    , widget_(widget)
    , effect_(new QGraphicsOpacityEffect(widget))
    , animation_(new QPropertyAnimation(effect_, "opacity", this)) {
    effect_->setOpacity(0);
    widget_->setGraphicsEffect(effect_);
    widget_->hide();
    animation_->setDuration(durationMs);
    animation_->setEasingCurve(QEasingCurve::OutCubic);
    connect(animation_, &QPropertyAnimation::finished, this, [this] {
        if (!shown_)
            widget_->hide();
    });
}

void Fader::setShown(bool shown, bool animated) {
    if (shown == shown_ && animation_->state() != QAbstractAnimation::Running)
        return;
    shown_ = shown;
    animation_->stop();
    if (shown)
        widget_->show();
    if (!animated) {
        effect_->setOpacity(shown ? 1.0 : 0.0);
        widget_->setVisible(shown);
        return;
    }
    animation_->setStartValue(effect_->opacity());
    animation_->setEndValue(shown ? 1.0 : 0.0);
    animation_->start();
}

double Fader::opacity() const {
    return effect_->opacity();
}
