#include "PhotoStage.h"

#include "Appearance.h"
#include "CapsuleLabel.h"
#include "CropBar.h"
#include "CropOverlay.h"
#include "EmptyLibraryView.h"
#include "Fader.h"
#include "FailureNotice.h"
#include "PhotoCanvas.h"
#include "Spinner.h"
#include "StageArrow.h"

#include "platform/PlatformTexts.h"
#include "store/ViewerStore.h"

#include <QEnterEvent>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

#include <cmath>

using namespace Qt::StringLiterals;

namespace {
constexpr int kPadding = 12;

QWidget* makeScanningView(QWidget* parent) {
    auto* view = new QWidget(parent);
    auto* layout = new QVBoxLayout(view);
    layout->setSpacing(12);
    layout->addStretch();
    layout->addWidget(new Spinner(32, view), 0, Qt::AlignHCenter);
    auto* label = new QLabel(u"Reading photos\u2026"_s, view);
    label->setFont(Appearance::font(Appearance::TextStyle::body));
    layout->addWidget(label, 0, Qt::AlignHCenter);
    layout->addStretch();
    return view;
}
} // namespace

PhotoStage::PhotoStage(ViewerStore& store, StageImageConverter::Convert convert, QWidget* parent)
    : QWidget(parent)
    , store_(store)
    , converter_(store, std::move(convert))
    , empty_(new EmptyLibraryView(this))
    , scanning_(makeScanningView(this))
    , canvas_(new PhotoCanvas(store, this))
    , banner_(new CapsuleLabel(Appearance::font(Appearance::TextStyle::title2, QFont::DemiBold),
                               QMargins(22, 10, 22, 10), Appearance::black(0.6), this))
    , bannerFader_(new Fader(banner_, kBannerFadeMs))
    , failure_(new FailureNotice(this))
    , loading_(new Spinner(18, this))
    , formatBadge_(new CapsuleLabel(
          Appearance::monospaced(Appearance::font(Appearance::TextStyle::caption, QFont::DemiBold)),
          QMargins(8, 4, 8, 4), Appearance::black(0.6), this))
    , zoomBadge_(new CapsuleLabel(
          Appearance::monospacedDigits(Appearance::font(Appearance::TextStyle::caption, QFont::DemiBold)),
          QMargins(8, 4, 8, 4), Appearance::black(0.6), this))
    , cropOverlay_(new CropOverlay(store, canvas_))
    , cropBar_(new CropBar(store, this))
    , previous_(new StageArrow(Symbols::Symbol::chevronLeft, u"Previous photo"_s, this))
    , next_(new StageArrow(Symbols::Symbol::chevronRight, u"Next photo"_s, this))
    , previousFader_(new Fader(previous_, kArrowFadeMs))
    , nextFader_(new Fader(next_, kArrowFadeMs)) {
    setObjectName(u"stage"_s);
    setAttribute(Qt::WA_Hover);
    banner_->setObjectName(u"lookBanner"_s);
    banner_->setAttribute(Qt::WA_TransparentForMouseEvents);
    formatBadge_->setObjectName(u"formatBadge"_s);
    zoomBadge_->setObjectName(u"zoomBadge"_s);
    zoomBadge_->setToolTip(PlatformTexts::keys(QKeySequence(Qt::CTRL | Qt::Key_0)) +
                           u" or Z shows the whole photo"_s);
    previous_->setObjectName(u"previousArrow"_s);
    next_->setObjectName(u"nextArrow"_s);
    failure_->setObjectName(u"failureNotice"_s);
    loading_->setObjectName(u"loadingSpinner"_s);
    scanning_->setObjectName(u"scanningView"_s);
    empty_->setObjectName(u"emptyLibrary"_s);

    connect(empty_, &EmptyLibraryView::openFolder, &store_, &ViewerStore::chooseFolder);
    connect(previous_, &StageArrow::clicked, this, [this] { store_.select(store_.currentIndex() - 1); });
    connect(next_, &StageArrow::clicked, this, [this] { store_.select(store_.currentIndex() + 1); });
    connect(&converter_, &StageImageConverter::imagesChanged, this, [this] {
        canvas_->setImageSize(converter_.stage().size());
        canvas_->setImages(converter_.stage(), converter_.detail());
        update();
    });
    connect(canvas_, &PhotoCanvas::fittedRectChanged, this, [this](const QRectF& fitted) {
        cropOverlay_->setFrame(fitted);
        layoutLayers();
    });

    for (auto signal :
         {&ViewerStore::libraryChanged, &ViewerStore::shotsChanged, &ViewerStore::currentIndexChanged,
          &ViewerStore::displayedImageChanged, &ViewerStore::photoLoadChanged, &ViewerStore::stageModeChanged,
          &ViewerStore::isImmersiveChanged, &ViewerStore::zoomChanged, &ViewerStore::preferredFormatChanged})
        connect(&store_, signal, this, &PhotoStage::refresh);
    connect(&store_, &ViewerStore::lookBannerChanged, this, [this] {
        if (store_.lookBanner())
            banner_->setText(title(*store_.lookBanner()));
        bannerFader_->setShown(store_.lookBanner().has_value() &&
                               store_.library().state == Library::State::loaded);
        layoutLayers();
    });
    refresh();
}

QString PhotoStage::zoomBadgeText(double zoom) {
    return QString::number(std::lround(zoom * 100)) + u'%';
}

void PhotoStage::refresh() {
    const Library& library = store_.library();
    const bool loaded = library.state == Library::State::loaded;
    empty_->setVisible(library.state == Library::State::empty);
    empty_->setSource(library.source);
    scanning_->setVisible(library.state == Library::State::scanning);

    canvas_->setVisible(loaded && !store_.displayedImage().isNull());
    const PhotoLoad& load = store_.photoLoad();
    failure_->setVisible(loaded && load.state == PhotoLoad::State::failed);
    failure_->setMessage(load.message);

    const bool cropping = loaded && store_.stageMode().isCropping();
    cropOverlay_->setVisible(cropping);
    cropBar_->setVisible(cropping);

    // The chrome: hidden while cropping (the crop bar takes the stage's foot) and in full screen.
    const bool chrome = loaded && !store_.stageMode().isCropping() && !store_.isImmersive();
    loading_->setVisible(chrome && load.state == PhotoLoad::State::loading);

    const std::optional<Shot> shot = store_.currentShot();
    formatBadge_->setVisible(chrome && shot.has_value());
    if (shot) {
        const QString format = rawValue(shot->displayFormat(store_.preferredFormat()));
        formatBadge_->setText(format);
        formatBadge_->setToolTip(shot->files.formats().size() == 2
                                     ? u"Press R to switch between JPEG and RAW"_s
                                     : u"This shot has only a "_s + format);
    }
    zoomBadge_->setVisible(chrome && store_.zoom() > 1);
    zoomBadge_->setText(zoomBadgeText(store_.zoom()));

    previous_->setEnabled(store_.currentIndex() > 0);
    next_->setEnabled(store_.currentIndex() < store_.shots().size() - 1);
    previousFader_->setShown(chrome && hovering_);
    nextFader_->setShown(chrome && hovering_);
    layoutLayers();
}

void PhotoStage::layoutLayers() {
    const QRect area = rect();
    empty_->setGeometry(area);
    scanning_->setGeometry(area);
    canvas_->setGeometry(area);
    cropOverlay_->setGeometry(canvas_->rect());
    cropOverlay_->setFrame(canvas_->fittedRect());
    cropBar_->setGeometry(0, area.height() - cropBar_->height(), area.width(), cropBar_->height());

    banner_->adjustSize();
    banner_->move(area.center() - banner_->rect().center());
    failure_->adjustSize();
    failure_->move(area.center() - failure_->rect().center());

    loading_->move(area.right() - kPadding - loading_->width() + 1, kPadding);
    formatBadge_->adjustSize();
    formatBadge_->move(kPadding, area.bottom() - kPadding - formatBadge_->height() + 1);
    zoomBadge_->adjustSize();
    zoomBadge_->move(area.right() - kPadding - zoomBadge_->width() + 1,
                     area.bottom() - kPadding - zoomBadge_->height() + 1);

    const int arrowY = (area.height() - previous_->height()) / 2;
    previous_->move(kPadding, arrowY);
    next_->move(area.right() - kPadding - next_->width() + 1, arrowY);

    for (QWidget* layer : std::initializer_list<QWidget*>{failure_, loading_, formatBadge_, zoomBadge_,
                                                          previous_, next_, banner_})
        layer->raise();
}

void PhotoStage::setHovering(bool hovering) {
    if (hovering == hovering_)
        return;
    hovering_ = hovering;
    refresh();
}

void PhotoStage::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
}

void PhotoStage::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layoutLayers();
}

void PhotoStage::enterEvent(QEnterEvent* event) {
    QWidget::enterEvent(event);
    setHovering(true);
}

void PhotoStage::leaveEvent(QEvent* event) {
    QWidget::leaveEvent(event);
    setHovering(false);
}
