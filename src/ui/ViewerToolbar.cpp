#include "ViewerToolbar.h"

#include "Appearance.h"
#include "CastMenu.h"
#include "FormatPicker.h"
#include "Symbols.h"

#include "platform/PlatformTexts.h"
#include "store/ViewerStore.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QToolButton>

using namespace Qt::StringLiterals;

namespace {

QToolButton* toolButton(const QString& text, const QIcon& icon, QWidget* parent) {
    auto* button = new QToolButton(parent);
    button->setText(text);
    button->setAccessibleName(text);
    button->setIcon(icon);
    button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

} // namespace

ViewerToolbar::ViewerToolbar(ViewerStore& store, QWidget* parent)
    : QToolBar(parent)
    , store_(store) {
    setObjectName(u"toolbar"_s);
    setWindowTitle(u"Toolbar"_s);
    setMovable(false);
    setFloatable(false);
    setContextMenuPolicy(Qt::PreventContextMenu);
    // Immersive mode alone hides the toolbar; the window's context menu does not offer it.
    toggleViewAction()->setVisible(false);

    auto* bar = new QWidget(this);
    picker_ = new FormatPicker(store_, bar);
    auto* trailing = new QWidget(bar);
    castMenu_ = new CastMenu(store_, trailing);
    castMenu_->setAutoRaise(true);
    const QColor ink = Appearance::white(0.9);
    edit_ = toolButton(u"Edit"_s, Symbols::icon(Symbols::Symbol::sliders, ink), trailing);
    edit_->setObjectName(u"editButton"_s);
    edit_->setCheckable(true);
    trash_ =
        toolButton(u"Move to Trash"_s,
                   QIcon::fromTheme(u"user-trash"_s, Symbols::icon(Symbols::Symbol::trash, ink)), trailing);
    trash_->setObjectName(u"trashButton"_s);
    trash_->setToolTip(u"Move this shot's JPEG and RAW to the Trash ("_s +
                       PlatformTexts::keys(QKeySequence(Qt::CTRL | Qt::Key_Backspace)) + u")"_s);
    auto* actions = new QHBoxLayout(trailing);
    actions->setContentsMargins(0, 0, 0, 0);
    actions->setSpacing(4);
    actions->addWidget(castMenu_);
    actions->addWidget(edit_);
    actions->addWidget(trash_);

    // Equal side columns keep the picker in the window's centre whatever the
    // trailing controls' width.
    auto* grid = new QGridLayout(bar);
    grid->setContentsMargins(6, 2, 6, 2);
    grid->addWidget(picker_, 0, 1);
    grid->addWidget(trailing, 0, 2, Qt::AlignRight);
    grid->setColumnStretch(0, 1);
    grid->setColumnStretch(2, 1);
    grid->setColumnMinimumWidth(0, trailing->sizeHint().width());
    bar->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    addWidget(bar);

    connect(edit_, &QToolButton::clicked, this,
            [this] { store_.setEditPanelShown(!store_.isEditPanelShown()); });
    connect(trash_, &QToolButton::clicked, this, [this] { store_.trashCurrent(); });
    for (auto signal : {&ViewerStore::shotsChanged, &ViewerStore::currentIndexChanged,
                        &ViewerStore::isEditPanelShownChanged})
        connect(&store_, signal, this, &ViewerToolbar::update);
    update();
}

void ViewerToolbar::update() {
    const bool hasShot = store_.currentShot().has_value();
    const bool panel = store_.isEditPanelShown();
    edit_->setEnabled(hasShot);
    edit_->setChecked(panel);
    edit_->setToolTip(panel ? u"Hide edits (E)"_s : u"Show looks and adjustments (E)"_s);
    trash_->setEnabled(hasShot);
}
