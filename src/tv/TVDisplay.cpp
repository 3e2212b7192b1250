#include "TVDisplay.h"

#include "platform/Observable.h"

#include <QEvent>

TVDisplay::TVDisplay(ScreenList* screens, QObject* parent)
    : QObject(parent)
    , screens_(screens) {
    refreshScreens();
    if (screens_)
        connect(screens_, &ScreenList::screensChanged, this, &TVDisplay::refreshScreens);
}

TVDisplay::~TVDisplay() = default;

std::optional<ScreenInfo> TVDisplay::secondScreen() const {
    if (!screens_)
        return std::nullopt;
    const QList<ScreenInfo> all = screens_->screens();
    if (all.size() < 2)
        return std::nullopt;
    return all.last();
}

void TVDisplay::refreshScreens() {
    const std::optional<ScreenInfo> screen = secondScreen();
    setObservable(this, secondScreenName_, screen ? std::optional(screen->name) : std::nullopt,
                  &TVDisplay::secondScreenNameChanged);
    // The TV went away while showing.
    if (!secondScreenName_ && isPresenting_)
        close();
}

void TVDisplay::present(const WindowOpener& open) {
    const std::optional<ScreenInfo> screen = secondScreen();
    if (!screen)
        return;
    close();
    window_ = open(*screen);
    if (!window_)
        return;
    window_->installEventFilter(this);
    setObservable(this, isPresenting_, true, &TVDisplay::isPresentingChanged);
}

void TVDisplay::close() {
    if (window_) {
        window_->removeEventFilter(this);
        window_.reset();
    }
    setObservable(this, isPresenting_, false, &TVDisplay::isPresentingChanged);
}

bool TVDisplay::eventFilter(QObject* watched, QEvent* event) {
    // The desktop closed the window (a key or the window list): forget it once
    // its close has run.
    if (watched == window_.get() && event->type() == QEvent::Close) {
        window_->removeEventFilter(this);
        window_.release()->deleteLater();
        setObservable(this, isPresenting_, false, &TVDisplay::isPresentingChanged);
    }
    return QObject::eventFilter(watched, event);
}
