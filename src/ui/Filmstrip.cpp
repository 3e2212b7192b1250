#include "Filmstrip.h"

#include "Appearance.h"
#include "ShotListModel.h"
#include "ThumbnailDelegate.h"
#include "ThumbnailLoader.h"

#include "store/ViewerStore.h"

#include <QPainter>
#include <QPropertyAnimation>
#include <QScrollBar>
#include <QWheelEvent>

#include <algorithm>
#include <cstdlib>

using namespace Qt::StringLiterals;

namespace {
constexpr int kCellSpacing = 6;
constexpr int kEndPadding = 10;
constexpr int kVerticalPadding = 8;
} // namespace

Filmstrip::Filmstrip(ViewerStore& store, ThumbnailLoader& loader, QWidget* parent)
    : QListView(parent)
    , store_(store)
    , loader_(loader)
    , model_(new ShotListModel(store, this))
    , delegate_(new ThumbnailDelegate(loader, this))
    , scroll_(new QPropertyAnimation(horizontalScrollBar(), "value", this)) {
    setObjectName(u"filmstrip"_s);
    setFixedHeight(kHeight);
    setModel(model_);
    setItemDelegate(delegate_);
    setFlow(QListView::LeftToRight);
    setWrapping(false);
    setUniformItemSizes(true);
    setLayoutMode(QListView::SinglePass);
    // QListView puts half the spacing on each side of a cell.
    setSpacing(kCellSpacing / 2);
    setViewportMargins(kEndPadding - kCellSpacing / 2, kVerticalPadding - kCellSpacing / 2,
                       kEndPadding - kCellSpacing / 2, kVerticalPadding - kCellSpacing / 2);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setSelectionMode(QAbstractItemView::NoSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setFocusPolicy(Qt::NoFocus);
    setFrameShape(QFrame::NoFrame);
    setMouseTracking(false);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Base, Appearance::grey(0.07));
    palette.setColor(QPalette::Window, Appearance::grey(0.07));
    setPalette(palette);
    setAutoFillBackground(true);
    viewport()->setAutoFillBackground(true);

    scroll_->setDuration(kScrollMs);
    scroll_->setEasingCurve(QEasingCurve::OutCubic);

    connect(this, &QListView::clicked, this,
            [this](const QModelIndex& index) { store_.select(index.row()); });
    connect(&loader_, &ThumbnailLoader::loaded, viewport(), qOverload<>(&QWidget::update));
    connect(&store_, &ViewerStore::currentIndexChanged, this, &Filmstrip::currentShotChanged);
    connect(&store_, &ViewerStore::shotsChanged, this, [this] {
        // A list shown anew tries again the files that could not be read.
        loader_.retryFailed();
        const std::optional<Shot> shot = store_.currentShot();
        const QString id = shot ? shot->id : QString();
        // A new list starts at its beginning; the strip does not animate into it.
        if (id != currentId_)
            scroll_->stop();
        currentShotChanged();
    });
    // The current cell is the selected one, so that assistive technology reports it; clicks
    // still go through the store rather than the selection.
    const auto selectCurrent = [this] {
        selectionModel()->select(model_->index(store_.currentIndex()), QItemSelectionModel::ClearAndSelect);
    };
    connect(&store_, &ViewerStore::currentIndexChanged, this, selectCurrent);
    connect(&store_, &ViewerStore::shotsChanged, this, selectCurrent);
    selectCurrent();
    const std::optional<Shot> shot = store_.currentShot();
    currentId_ = shot ? shot->id : QString();
}

int Filmstrip::centredOffset(int row) const {
    const QRect cell = visualRect(model_->index(row));
    const int contentX = cell.center().x() + horizontalOffset();
    return std::clamp(contentX - viewport()->width() / 2, horizontalScrollBar()->minimum(),
                      horizontalScrollBar()->maximum());
}

void Filmstrip::currentShotChanged() {
    const std::optional<Shot> shot = store_.currentShot();
    const QString id = shot ? shot->id : QString();
    if (id == currentId_)
        return;
    const bool firstShown = currentId_.isEmpty();
    currentId_ = id;
    if (!shot)
        return;
    const int target = centredOffset(store_.currentIndex());
    scroll_->stop();
    if (firstShown || !isVisible()) {
        centrePending_ = true;
        horizontalScrollBar()->setValue(target);
        return;
    }
    // A long jump (Home, End, a click far along) skips to a viewport's width
    // before the target and glides the rest: animating across a 2,000-shot
    // card would ask for the thumbnail of every cell it passes.
    int start = horizontalScrollBar()->value();
    const int reach = 2 * viewport()->width();
    if (std::abs(target - start) > reach)
        start = target + (target > start ? -viewport()->width() : viewport()->width());
    scroll_->setStartValue(start);
    scroll_->setEndValue(target);
    scroll_->start();
}

void Filmstrip::updateGeometries() {
    QListView::updateGeometries();
    if (!centrePending_ || !store_.currentShot())
        return;
    horizontalScrollBar()->setValue(centredOffset(store_.currentIndex()));
    if (isVisible() && viewport()->width() > 0)
        centrePending_ = false;
}

void Filmstrip::wheelEvent(QWheelEvent* event) {
    // A vertical wheel scrolls the strip sideways.
    const QPoint delta = event->angleDelta();
    const int steps = std::abs(delta.x()) > std::abs(delta.y()) ? delta.x() : delta.y();
    scroll_->stop();
    horizontalScrollBar()->setValue(horizontalScrollBar()->value() - steps);
    event->accept();
}
