#include "SymbolView.h"

#include <QPainter>

SymbolView::SymbolView(Symbols::Symbol symbol, int size, QColor color, double weight, QWidget* parent)
    : QWidget(parent)
    , symbol_(symbol)
    , size_(size)
    , color_(color)
    , weight_(weight) {
    setFixedSize(size, size);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void SymbolView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    Symbols::draw(painter, symbol_, rect(), color_, weight_);
}
