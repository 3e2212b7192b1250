#pragma once

#include "Symbols.h"

#include <QAbstractButton>

// One of the two large previous/next buttons at the stage's sides: a chevron on
// a dark rounded panel, 44 x 88 points.
class StageArrow : public QAbstractButton {
    Q_OBJECT
public:
    StageArrow(Symbols::Symbol symbol, const QString& label, QWidget* parent = nullptr);
    QSize sizeHint() const override { return QSize(44, 88); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Symbols::Symbol symbol_;
};
