#include "ToastView.h"

#include "Appearance.h"
#include "Symbols.h"

#include "platform/PlatformTexts.h"

#include <QGraphicsDropShadowEffect>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>

using namespace Qt::StringLiterals;

namespace {

// A flat button showing only a symbol.
class SymbolButton : public QPushButton {
public:
    SymbolButton(Symbols::Symbol symbol, QWidget* parent)
        : QPushButton(parent)
        , symbol_(symbol) {
        setFixedSize(20, 20);
        setFlat(true);
        setCursor(Qt::PointingHandCursor);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        Symbols::draw(painter, symbol_, QRectF(rect()).adjusted(4, 4, -4, -4),
                      underMouse() ? Appearance::white() : Appearance::white(0.7), 1.6);
    }

private:
    Symbols::Symbol symbol_;
};

} // namespace

ToastView::ToastView(QWidget* parent)
    : QWidget(parent)
    , message_(new QLabel(this))
    , action_(new QPushButton(this))
    , close_(new SymbolButton(Symbols::Symbol::xmark, this)) {
    setAttribute(Qt::WA_TranslucentBackground);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(16, 10, 16, 10);
    layout->setSpacing(12);

    message_->setObjectName(u"toastMessage"_s);
    message_->setFont(Appearance::font(Appearance::TextStyle::body));
    message_->setWordWrap(true);
    layout->addWidget(message_);

    action_->setObjectName(u"toastAction"_s);
    action_->setFlat(true);
    action_->setFocusPolicy(Qt::NoFocus);
    action_->setCursor(Qt::PointingHandCursor);
    action_->setFont(Appearance::font(Appearance::TextStyle::body, QFont::DemiBold));
    action_->setStyleSheet(u"QPushButton { color: #4da3ff; border: none; padding: 0 2px; }"_s);
    layout->addWidget(action_);
    connect(action_, &QPushButton::clicked, this, [this] {
        if (toast_ && toast_->action)
            Q_EMIT perform(*toast_->action);
    });

    close_->setObjectName(u"toastDismiss"_s);
    close_->setToolTip(u"Dismiss"_s);
    close_->setAccessibleName(u"Dismiss"_s);
    close_->setFocusPolicy(Qt::NoFocus);
    layout->addWidget(close_);
    connect(close_, &QPushButton::clicked, this, &ToastView::dismiss);

    auto* shadow = new QGraphicsDropShadowEffect(this);
    shadow->setBlurRadius(16);
    shadow->setOffset(0, 0);
    shadow->setColor(Appearance::black(0.33));
    setGraphicsEffect(shadow);
}

QString ToastView::actionLabel(ToastAction::Kind kind) {
    switch (kind) {
    case ToastAction::Kind::undoTrash:
        return u"Undo"_s;
    case ToastAction::Kind::showInFinder:
        return PlatformTexts::revealFile();
    case ToastAction::Kind::restartForUpdate:
        return u"Restart"_s;
    }
    return {};
}

void ToastView::setToast(const Toast& toast) {
    toast_ = toast;
    message_->setText(toast.message);
    Appearance::fitWrappedText(message_, kMessageWidth);
    // At most two lines of message.
    const QFontMetrics metrics(message_->font());
    message_->setFixedHeight(std::min(message_->height(), metrics.lineSpacing() * 2 + 2));
    action_->setVisible(toast.action.has_value());
    if (toast.action)
        action_->setText(actionLabel(toast.action->kind));
    adjustSize();
}

void ToastView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Appearance::material());
    const QRectF r = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    painter.drawRoundedRect(r, r.height() / 2, r.height() / 2);
}
