#pragma once

#include <QObject>

class QGraphicsOpacityEffect;
class QPropertyAnimation;
class QWidget;

// Fades one widget in and out with an ease-out curve; hidden when faded out, so
// a faded widget takes no clicks.
class Fader : public QObject {
    Q_OBJECT
public:
    Fader(QWidget* widget, int durationMs);

    // Fades towards shown or hidden; `animated` false jumps there at once.
    void setShown(bool shown, bool animated = true);
    bool isShown() const { return shown_; }
    double opacity() const;

private:
    QWidget* widget_;
    QGraphicsOpacityEffect* effect_;
    QPropertyAnimation* animation_;
    bool shown_ = false;
};
