#include "FailureNotice.h"

#include "Appearance.h"
#include "SymbolView.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>

using namespace Qt::StringLiterals;

FailureNotice::FailureNotice(QWidget* parent)
    : QWidget(parent)
    , message_(new QLabel(this)) {
    setAttribute(Qt::WA_TranslucentBackground);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(12, 12, 12, 12);
    layout->setSpacing(8);
    layout->addWidget(new SymbolView(Symbols::Symbol::warning, 18, QColor(0xff, 0xcc, 0x00), 1.8, this));
    message_->setObjectName(u"failureMessage"_s);
    message_->setFont(Appearance::font(Appearance::TextStyle::body));
    message_->setWordWrap(true);
    layout->addWidget(message_);
}

void FailureNotice::setMessage(const QString& message) {
    message_->setText(message);
    Appearance::fitWrappedText(message_, kMessageWidth);
    adjustSize();
}

QString FailureNotice::message() const {
    return message_->text();
}

void FailureNotice::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Appearance::material());
    painter.drawRoundedRect(QRectF(rect()), 8, 8);
}
