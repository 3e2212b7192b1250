#include "FormatPicker.h"

#include "Appearance.h"

#include "store/ViewerStore.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QToolButton>

using namespace Qt::StringLiterals;

FormatPicker::FormatPicker(ViewerStore& store, QWidget* parent)
    : QWidget(parent)
    , store_(store)
    , group_(new QButtonGroup(this)) {
    setObjectName(u"formatPicker"_s);
    setAccessibleName(u"Format"_s);
    setFixedWidth(kWidth);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    group_->setExclusive(true);
    for (ShotFormat format : kShotFormats) {
        auto* button = new QToolButton(this);
        button->setText(rawValue(format));
        button->setCheckable(true);
        button->setAutoRaise(false);
        button->setFocusPolicy(Qt::NoFocus);
        button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
        group_->addButton(button, int(format));
        row->addWidget(button);
    }
    Appearance::styleSegmented(this);
    // Clicking the selected item too refreshes the display.
    connect(group_, &QButtonGroup::idClicked, this, [this](int id) { choose(ShotFormat(id)); });
    for (auto signal : {&ViewerStore::shotsChanged, &ViewerStore::currentIndexChanged,
                        &ViewerStore::preferredFormatChanged})
        connect(&store_, signal, this, &FormatPicker::update);
    update();
}

QToolButton* FormatPicker::button(ShotFormat format) const {
    return static_cast<QToolButton*>(group_->button(int(format)));
}

QString FormatPicker::formatHelp(const ViewerStore& store) {
    const std::optional<Shot> shot = store.currentShot();
    if (shot) {
        const qsizetype formats = shot->files.formats().size();
        if (formats == 1)
            return u"This shot has only a "_s + rawValue(shot->displayFormat(store.preferredFormat())) +
                   u" file"_s;
        if (formats == 2)
            return u"Switch between JPEG and RAW \u2014 press R"_s;
    }
    return u"JPEG or RAW \u2014 press R to switch"_s;
}

void FormatPicker::update() {
    const std::optional<Shot> shot = store_.currentShot();
    const ShotFormat shown = shot ? shot->displayFormat(store_.preferredFormat()) : store_.preferredFormat();
    button(shown)->setChecked(true);
    const QString help = formatHelp(store_);
    setToolTip(help);
    for (QAbstractButton* each : group_->buttons())
        each->setToolTip(help);
    setEnabled(shot && shot->files.formats().size() == 2);
}

void FormatPicker::choose(ShotFormat format) {
    if (format != store_.preferredFormat())
        store_.setPreferredFormat(format);
    store_.refreshDisplay();
}
