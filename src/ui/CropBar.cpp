#include "CropBar.h"

#include "Appearance.h"

#include "imaging/edit/CropAspect.h"
#include "store/ViewerStore.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QPainter>
#include <QPushButton>
#include <QShortcut>

using namespace Qt::StringLiterals;

namespace {
constexpr int kOuterPadding = 12;
constexpr int kInnerPadding = 10;
} // namespace

CropBar::CropBar(ViewerStore& store, QWidget* parent)
    : QWidget(parent)
    , store_(store)
    , aspects_(new QButtonGroup(this))
    , reset_(new QPushButton(u"Reset"_s, this))
    , cancel_(new QPushButton(u"Cancel"_s, this))
    , done_(new QPushButton(u"Done"_s, this)) {
    setObjectName(u"cropBar"_s);
    setFixedHeight(kHeight);
    setAttribute(Qt::WA_TranslucentBackground);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(kOuterPadding + kInnerPadding, kOuterPadding + kInnerPadding,
                            kOuterPadding + kInnerPadding, kOuterPadding + kInnerPadding);
    row->setSpacing(12);

    auto* picker = new QWidget(this);
    picker->setAccessibleName(u"Aspect"_s);
    picker->setFixedWidth(kPickerWidth);
    auto* segments = new QHBoxLayout(picker);
    segments->setContentsMargins(0, 0, 0, 0);
    segments->setSpacing(0);
    aspects_->setExclusive(true);
    for (CropAspect aspect : kCropAspects) {
        auto* segment = new QPushButton(label(aspect), picker);
        segment->setCheckable(true);
        segment->setFocusPolicy(Qt::NoFocus);
        segment->setFont(Appearance::font(Appearance::TextStyle::body));
        // Each segment as wide as its label needs, the spare width shared out.
        segment->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
        aspects_->addButton(segment, int(aspect));
        segments->addWidget(segment);
    }
    picker->setObjectName(u"aspectPicker"_s);
    Appearance::styleSegmented(picker);
    connect(aspects_, &QButtonGroup::idClicked, this,
            [this](int id) { store_.setCropAspect(static_cast<CropAspect>(id)); });
    row->addWidget(picker);

    for (QPushButton* button : {reset_, cancel_, done_}) {
        button->setFocusPolicy(Qt::NoFocus);
        button->setFont(Appearance::font(Appearance::TextStyle::body));
        Appearance::styleButton(button);
    }
    Appearance::styleAccentButton(done_);
    row->addWidget(reset_);
    row->addStretch();
    row->addWidget(cancel_);
    row->addWidget(done_);
    connect(reset_, &QPushButton::clicked, &store_, &ViewerStore::resetCropDraft);
    connect(cancel_, &QPushButton::clicked, &store_, &ViewerStore::cancelCrop);
    connect(done_, &QPushButton::clicked, &store_, &ViewerStore::finishCrop);

    // Escape cancels and Return finishes while the bar is on screen.
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, &store_, &ViewerStore::cancelCrop);
    for (int key : {Qt::Key_Return, Qt::Key_Enter}) {
        auto* finish = new QShortcut(QKeySequence(key), this);
        connect(finish, &QShortcut::activated, &store_, &ViewerStore::finishCrop);
    }

    connect(&store_, &ViewerStore::cropAspectChanged, this, &CropBar::refresh);
    refresh();
}

QPushButton* CropBar::segment(int index) const {
    return static_cast<QPushButton*>(aspects_->button(index));
}

void CropBar::refresh() {
    if (QAbstractButton* selected = aspects_->button(int(store_.cropAspect())))
        selected->setChecked(true);
}

void CropBar::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Appearance::material());
    painter.drawRoundedRect(
        QRectF(rect()).adjusted(kOuterPadding, kOuterPadding, -kOuterPadding, -kOuterPadding), 10, 10);
}
