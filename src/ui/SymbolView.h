#pragma once

#include "Symbols.h"

#include <QWidget>

// One symbol as a widget, for layouts.
class SymbolView : public QWidget {
    Q_OBJECT
public:
    SymbolView(Symbols::Symbol symbol, int size, QColor color, double weight, QWidget* parent = nullptr);
    QSize sizeHint() const override { return QSize(size_, size_); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Symbols::Symbol symbol_;
    int size_;
    QColor color_;
    double weight_;
};
