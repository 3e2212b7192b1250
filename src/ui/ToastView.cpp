#include "ToastView.h"

#include "Appearance.h"
#include "Symbols.h"

#include "platform/PlatformTexts.h"

#include <QGraphicsDropShadowEffect>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QTextLayout>

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

QString ToastView::twoLines(const QString& text, const QFont& font, int width) {
    QTextLayout layout(text, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    QTextLine first = layout.createLine();
    if (!first.isValid())
        return text;
    first.setLineWidth(width);
    QTextLine second = layout.createLine();
    if (second.isValid())
        second.setLineWidth(width);
    const bool more = second.isValid() && layout.createLine().isValid();
    layout.endLayout();
    if (!more)
        return text;
    // Break explicitly after the first line so that the label wraps exactly as measured here,
    // and elide all the rest into the second.
    const QString head = text.mid(first.textStart(), first.textLength()).trimmed();
    const QString rest = text.mid(second.textStart()).simplified();
    return head + u'\n' + QFontMetrics(font).elidedText(rest, Qt::ElideRight, width);
}

void ToastView::setToast(const Toast& toast) {
    toast_ = toast;
    const QString shown = twoLines(toast.message, message_->font(), kMessageWidth);
    message_->setText(shown);
    // Cut text stays readable in full from the tooltip.
    message_->setToolTip(shown == toast.message ? QString() : toast.message);
    Appearance::fitWrappedText(message_, kMessageWidth);
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
