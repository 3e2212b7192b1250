#include "ContentView.h"

#include "EditPanel.h"
#include "Fader.h"
#include "Filmstrip.h"
#include "PhotoStage.h"
#include "ThumbnailLoader.h"
#include "ToastView.h"

#include "store/ViewerStore.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QPalette>
#include <QPropertyAnimation>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {
constexpr int kToastAboveFilmstrip = 108;
constexpr int kToastAboveEdge = 24;
} // namespace

ContentView::ContentView(ViewerStore& store, ThumbnailLoader& thumbnails,
                         StageImageConverter::Convert convert, QWidget* parent)
    : QWidget(parent)
    , store_(store)
    , stage_(new PhotoStage(store, std::move(convert), this))
    , filmstrip_(new Filmstrip(store, thumbnails, this))
    , divider_(new QFrame(this))
    , editPanel_(new EditPanel(store, this))
    , toast_(new ToastView(this))
    , toastFader_(new Fader(toast_, kToastMs))
    , toastSlide_(new QPropertyAnimation(toast_, "pos", this)) {
    setObjectName(u"content"_s);
    QPalette black = palette();
    black.setColor(QPalette::Window, Qt::black);
    setPalette(black);
    setAutoFillBackground(true);

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    auto* column = new QVBoxLayout;
    column->setSpacing(0);
    column->addWidget(stage_, 1);
    column->addWidget(filmstrip_);
    row->addLayout(column, 1);
    auto* line = static_cast<QFrame*>(divider_);
    line->setFrameShape(QFrame::VLine);
    line->setFrameShadow(QFrame::Plain);
    line->setFixedWidth(1);
    QPalette dividerColour = line->palette();
    dividerColour.setColor(QPalette::WindowText, QColor(255, 255, 255, 40));
    line->setPalette(dividerColour);
    row->addWidget(divider_);
    row->addWidget(editPanel_);

    toast_->setObjectName(u"toast"_s);
    toastSlide_->setDuration(kToastMs);
    toastSlide_->setEasingCurve(QEasingCurve::OutCubic);
    connect(toast_, &ToastView::perform, &store_, &ViewerStore::perform);
    connect(toast_, &ToastView::dismiss, this, [this] { store_.setToast(std::nullopt); });
    connect(&store_, &ViewerStore::toastChanged, this, &ContentView::toastChanged);

    for (auto signal : {&ViewerStore::shotsChanged, &ViewerStore::isImmersiveChanged,
                        &ViewerStore::isEditPanelShownChanged, &ViewerStore::currentIndexChanged})
        connect(&store_, signal, this, &ContentView::updateVisibility);
    updateVisibility();
}

void ContentView::updateVisibility() {
    filmstrip_->setVisible(!store_.shots().isEmpty() && !store_.isImmersive());
    const bool panel = store_.isEditPanelShown() && store_.currentShot() && !store_.isImmersive();
    divider_->setVisible(panel);
    editPanel_->setVisible(panel);
    if (store_.toast())
        placeToast(true);
}

QRect ContentView::toastRestingGeometry() const {
    const QSize size = toast_->sizeHint().boundedTo(QSize(width() - 32, height()));
    const int bottom = store_.shots().isEmpty() ? kToastAboveEdge : kToastAboveFilmstrip;
    return QRect(QPoint((width() - size.width()) / 2, height() - bottom - size.height()), size);
}

void ContentView::toastChanged() {
    const std::optional<Toast>& toast = store_.toast();
    if (!toast) {
        // Leaves by sliding towards the bottom edge while fading.
        toastFader_->setShown(false);
        toastSlide_->stop();
        toastSlide_->setStartValue(toast_->pos());
        toastSlide_->setEndValue(QPoint(toast_->x(), height()));
        toastSlide_->start();
        return;
    }
    toast_->setToast(*toast);
    toast_->resize(toastRestingGeometry().size());
    // A new toast, even one replacing another, comes in from the bottom edge.
    toast_->move(toastRestingGeometry().x(), height());
    toast_->raise();
    toastFader_->setShown(false, false);
    toastFader_->setShown(true);
    placeToast(true);
}

void ContentView::placeToast(bool animated) {
    const QRect target = toastRestingGeometry();
    toast_->resize(target.size());
    toastSlide_->stop();
    if (!animated) {
        toast_->move(target.topLeft());
        return;
    }
    toastSlide_->setStartValue(toast_->pos());
    toastSlide_->setEndValue(target.topLeft());
    toastSlide_->start();
}

void ContentView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (store_.toast())
        placeToast(false);
}
