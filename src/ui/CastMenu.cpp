#include "CastMenu.h"

#include "Appearance.h"
#include "PresentationView.h"

#include "platform/PlatformTexts.h"
#include "store/ViewerStore.h"

#include <QMenu>

using namespace Qt::StringLiterals;

namespace {

QAction* addText(QMenu* menu, const QString& text) {
    QAction* action = menu->addAction(text);
    action->setEnabled(false);
    return action;
}

} // namespace

CastMenu::CastMenu(ViewerStore& store, QWidget* parent)
    : QToolButton(parent)
    , store_(store)
    , menu_(new QMenu(this)) {
    setObjectName(u"castMenu"_s);
    setText(u"Show on TV"_s);
    setAccessibleName(u"Show on TV"_s);
    setPopupMode(QToolButton::InstantPopup);
    setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    setFocusPolicy(Qt::NoFocus);
    menu_->setObjectName(u"castMenuItems"_s);
    menu_->setToolTipsVisible(true);
    setMenu(menu_);

    CastController& cast = store_.cast();
    connect(&cast, &CastController::devicesChanged, this, &CastMenu::rebuild);
    connect(&cast, &CastController::stateChanged, this, &CastMenu::rebuild);
    TVDisplay& tv = store_.tvDisplay();
    connect(&tv, &TVDisplay::secondScreenNameChanged, this, &CastMenu::rebuild);
    connect(&tv, &TVDisplay::isPresentingChanged, this, &CastMenu::rebuild);
    rebuild();
}

bool CastMenu::isActive() const {
    const CastState::Kind kind = store_.cast().state().kind;
    return store_.tvDisplay().isPresenting() || kind == CastState::Kind::connecting ||
           kind == CastState::Kind::casting;
}

QString CastMenu::helpText(const ViewerStore& store) {
    const CastState& state = store.cast().state();
    switch (state.kind) {
    case CastState::Kind::connecting:
        return u"Connecting to "_s + state.device + u"\u2026"_s;
    case CastState::Kind::casting:
        return u"Casting to "_s + state.device;
    case CastState::Kind::failed:
        return u"Couldn't cast to "_s + state.device + u": "_s + state.reason;
    case CastState::Kind::idle:
        break;
    }
    return store.tvDisplay().isPresenting() ? PlatformTexts::presentingHelp() : PlatformTexts::tvButtonHelp();
}

void CastMenu::rebuild() {
    symbol_ = isActive() ? Symbols::Symbol::tvFill : Symbols::Symbol::tv;
    setIcon(Symbols::icon(symbol_, Appearance::white(0.9)));
    setToolTip(helpText(store_));
    // An item may be the one whose click changed the state: it goes once its signal has returned.
    for (QAction* old : menu_->actions()) {
        menu_->removeAction(old);
        old->deleteLater();
    }
    addGoogleCast();
    addSecondScreen();
}

void CastMenu::addGoogleCast() {
    menu_->addSection(u"Google Cast"_s);
    CastController& cast = store_.cast();
    const CastState& state = cast.state();
    if (cast.devices().isEmpty())
        addText(menu_, u"Looking for TVs\u2026"_s);
    for (const CastDevice& device : cast.devices()) {
        QAction* item = menu_->addAction(device.name);
        // Only a TV that shows the photos is checked, not one still connecting.
        if (state.kind == CastState::Kind::casting && state.device == device.name)
            item->setIcon(Symbols::icon(Symbols::Symbol::checkmark, Appearance::white(0.9)));
        connect(item, &QAction::triggered, this, [this, device] { store_.cast().connectTo(device); });
    }
    switch (state.kind) {
    case CastState::Kind::connecting:
    case CastState::Kind::casting:
        connect(menu_->addAction(u"Stop Casting"_s), &QAction::triggered, this,
                [this] { store_.cast().disconnect(); });
        break;
    case CastState::Kind::failed:
        addText(menu_, state.device + u": "_s + state.reason);
        break;
    case CastState::Kind::idle:
        break;
    }
}

void CastMenu::addSecondScreen() {
    menu_->addSection(PlatformTexts::secondScreenSection());
    TVDisplay& tv = store_.tvDisplay();
    const std::optional<QString>& name = tv.secondScreenName();
    if (!name) {
        addText(menu_, PlatformTexts::secondScreenHint());
        return;
    }
    if (tv.isPresenting()) {
        connect(menu_->addAction(u"Stop Showing on "_s + *name), &QAction::triggered, this,
                [this] { store_.tvDisplay().close(); });
        return;
    }
    connect(menu_->addAction(u"Show Full Screen on "_s + *name), &QAction::triggered, this, [this] {
        ViewerStore& store = store_;
        store.tvDisplay().present(
            [&store](const ScreenInfo& screen) { return PresentationView::cover(store, screen); });
    });
}
