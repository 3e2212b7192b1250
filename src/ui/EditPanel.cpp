#include "EditPanel.h"

#include "AdjustmentSlider.h"
#include "Appearance.h"
#include "LookButton.h"
#include "Spinner.h"

#include "store/ViewerStore.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QStackedWidget>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

QLabel* headline(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setFont(Appearance::font(Appearance::TextStyle::headline));
    return label;
}

QLabel* caption(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setFont(Appearance::font(Appearance::TextStyle::caption));
    label->setWordWrap(true);
    QPalette secondary = label->palette();
    secondary.setColor(QPalette::WindowText, Appearance::secondaryText());
    label->setPalette(secondary);
    return label;
}

// The items joined with " · ", laid out so that a line breaks only after a separator: spaces
// inside an item and before a separator do not break, nor does the dash of "1–8".
QString keptTogether(const QStringList& items) {
    QStringList joined;
    for (QString item : items) {
        item.replace(u' ', QChar(0x00A0));
        item.replace(QChar(0x2013), u"\u2060\u2013\u2060"_s);
        joined.append(item);
    }
    return joined.join(u"\u00A0\u00B7 "_s);
}

QPushButton* button(const QString& text, QWidget* parent) {
    auto* b = new QPushButton(text, parent);
    b->setFocusPolicy(Qt::NoFocus);
    b->setFont(Appearance::font(Appearance::TextStyle::body));
    Appearance::styleButton(b);
    return b;
}

} // namespace

EditPanel::EditPanel(ViewerStore& store, QWidget* parent)
    : QScrollArea(parent)
    , store_(store)
    , crop_(nullptr)
    , removeCrop_(nullptr)
    , reset_(nullptr)
    , save_(nullptr)
    , saveFace_(nullptr) {
    setObjectName(u"editPanel"_s);
    setFixedWidth(kWidth);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setWidgetResizable(true);
    setFocusPolicy(Qt::NoFocus);
    QPalette background = palette();
    background.setColor(QPalette::Window, Appearance::grey(0.09));
    setPalette(background);
    setAutoFillBackground(true);

    auto* content = new QWidget(this);
    content->setAutoFillBackground(false);
    auto* column = new QVBoxLayout(content);
    column_ = column;
    column->setContentsMargins(16, 16, 16, 16);
    column->setSpacing(18);
    // Only a panel shorter than the smallest window scrolls; its bar is dark like the panel.
    verticalScrollBar()->setStyleSheet(
        u"QScrollBar:vertical { background: transparent; width: 8px; margin: 2px; }"
        u"QScrollBar::handle:vertical { background: rgba(255, 255, 255, 70); border-radius: 2px;"
        u" min-height: 24px; }"
        u"QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { height: 0; }"
        u"QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical { background: none; }"_s);

    column->addWidget(headline(u"Look"_s, content));
    auto* grid = new QGridLayout;
    grid->setVerticalSpacing(8);
    grid->setHorizontalSpacing(8);
    for (Look look : kLooks) {
        auto* tile = new LookButton(title(look), shortcutDigit(look), content);
        connect(tile, &LookButton::clicked, this, [this, look] { store_.selectLook(look); });
        grid->addWidget(tile, int(looks_.size()) / 2, int(looks_.size()) % 2);
        looks_.append(tile);
    }
    column->addLayout(grid);
    column->addWidget(caption(
        keptTogether({u"\u2191 \u2193 flip looks"_s, u"1\u20138 pick one"_s, u"0 resets"_s, u"S saves"_s}),
        content));

    column->addWidget(headline(u"Crop"_s, content));
    auto* cropRow = new QHBoxLayout;
    crop_ = button(u"Crop\u2026"_s, content);
    crop_->setToolTip(u"Draw a crop frame (C)"_s);
    connect(crop_, &QPushButton::clicked, &store_, &ViewerStore::startCrop);
    removeCrop_ = button(u"Remove Crop"_s, content);
    connect(removeCrop_, &QPushButton::clicked, this, [this] {
        Edit edit = store_.currentEdit();
        if (!edit.crop)
            return;
        edit.crop.reset();
        store_.setCurrentEdit(edit);
    });
    cropRow->addWidget(crop_);
    cropRow->addWidget(removeCrop_);
    cropRow->addStretch();
    column->addLayout(cropRow);

    column->addWidget(headline(u"Adjust"_s, content));
    struct SliderSetup {
        QString title;
        double minimum;
        double maximum;
        double neutral;
        AdjustmentSlider::Format format;
        double Adjustments::*field;
    };
    const SliderSetup setups[] = {
        {u"Exposure"_s, -2, 2, 0, &AdjustmentSlider::exposureText, &Adjustments::exposure},
        {u"Contrast"_s, 0.5, 1.5, 1, &AdjustmentSlider::percentAroundOne, &Adjustments::contrast},
        {u"Saturation"_s, 0, 2, 1, &AdjustmentSlider::percentAroundOne, &Adjustments::saturation},
        {u"Warmth"_s, -1, 1, 0, &AdjustmentSlider::percent, &Adjustments::warmth},
    };
    for (const SliderSetup& setup : setups) {
        auto* slider = new AdjustmentSlider(setup.title, setup.minimum, setup.maximum, setup.neutral,
                                            setup.format, content);
        connect(slider, &AdjustmentSlider::valueEdited, this, [this, field = setup.field](double value) {
            edit([&](Adjustments& adjustments) { adjustments.*field = value; });
        });
        column->addWidget(slider);
        sliders_.append(slider);
    }

    auto* actions = new QHBoxLayout;
    reset_ = button(u"Reset"_s, content);
    reset_->setToolTip(u"Remove all edits (0)"_s);
    connect(reset_, &QPushButton::clicked, &store_, &ViewerStore::resetEdit);
    actions->addWidget(reset_);
    actions->addStretch();
    save_ = button(QString(), content);
    save_->setObjectName(u"saveCopy"_s);
    save_->setToolTip(u"Save a full-size JPEG with these edits and crop (S)"_s);
    Appearance::styleAccentButton(save_);
    saveFace_ = new QStackedWidget(save_);
    auto* saveLabel = new QLabel(u"Save Copy"_s, saveFace_);
    saveLabel->setAlignment(Qt::AlignCenter);
    saveLabel->setAttribute(Qt::WA_TransparentForMouseEvents);
    saveLabel->setStyleSheet(u"color: white;"_s);
    auto* progress = new QWidget(saveFace_);
    auto* progressLayout = new QHBoxLayout(progress);
    progressLayout->setContentsMargins(0, 0, 0, 0);
    progressLayout->addWidget(new Spinner(14, progress), 0, Qt::AlignCenter);
    saveFace_->addWidget(saveLabel);
    saveFace_->addWidget(progress);
    saveFace_->setFixedWidth(70);
    saveFace_->setAttribute(Qt::WA_TransparentForMouseEvents);
    auto* saveLayout = new QHBoxLayout(save_);
    saveLayout->setContentsMargins(10, 4, 10, 4);
    saveLayout->addWidget(saveFace_);
    save_->setMinimumSize(90, 28);
    connect(save_, &QPushButton::clicked, &store_, &ViewerStore::saveCopy);
    actions->addWidget(save_);
    column->addLayout(actions);

    column->addWidget(caption(u"Copies go to "_s + store_.editsFolderLabel() +
                                  u". The photo on the camera is never changed."_s,
                              content));
    column->addStretch();
    setWidget(content);

    for (auto signal :
         {&ViewerStore::currentEditChanged, &ViewerStore::currentIndexChanged, &ViewerStore::shotsChanged,
          &ViewerStore::stageModeChanged, &ViewerStore::isSavingChanged})
        connect(&store_, signal, this, &EditPanel::refresh);
    refresh();
}

void EditPanel::resizeEvent(QResizeEvent* event) {
    QScrollArea::resizeEvent(event);
    fitSpacing();
}

void EditPanel::fitSpacing() {
    const int room = viewport()->height();
    const int width = viewport()->width();
    for (int spacing : {18, 14, 11, 8, 6}) {
        column_->setSpacing(spacing);
        const int needed = column_->hasHeightForWidth() ? column_->totalHeightForWidth(width)
                                                        : column_->totalSizeHint().height();
        if (needed <= room)
            return;
    }
}

void EditPanel::edit(const std::function<void(Adjustments&)>& change) {
    Edit edit = store_.currentEdit();
    change(edit.adjustments);
    store_.setCurrentEdit(edit);
}

void EditPanel::refresh() {
    const Edit edit = store_.currentEdit();
    for (int i = 0; i < looks_.size(); ++i)
        looks_[i]->setSelected(kLooks[size_t(i)] == edit.look);

    const bool cropping = store_.stageMode().isCropping();
    crop_->setText(edit.crop ? u"Change Crop\u2026"_s : u"Crop\u2026"_s);
    crop_->setEnabled(!cropping);
    removeCrop_->setVisible(edit.crop.has_value() && !cropping);

    const double values[] = {edit.adjustments.exposure, edit.adjustments.contrast,
                             edit.adjustments.saturation, edit.adjustments.warmth};
    for (int i = 0; i < sliders_.size(); ++i)
        sliders_[i]->setValue(values[i]);

    reset_->setEnabled(!edit.isUnchanged());
    save_->setEnabled(!store_.isSaving());
    saveFace_->setCurrentIndex(store_.isSaving() ? 1 : 0);
}

AdjustmentSlider* EditPanel::slider(const QString& title) const {
    for (AdjustmentSlider* slider : sliders_) {
        if (slider->objectName() == title)
            return slider;
    }
    return nullptr;
}

LookButton* EditPanel::lookButton(const QString& title) const {
    for (LookButton* button : looks_) {
        if (button->text() == title)
            return button;
    }
    return nullptr;
}

bool EditPanel::isShowingSaveProgress() const {
    return saveFace_->currentIndex() == 1;
}
