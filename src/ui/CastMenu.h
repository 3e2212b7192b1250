#pragma once

#include "Symbols.h"

#include <QToolButton>

class QMenu;
class ViewerStore;

// The toolbar's "Show on TV" pull-down: the Cast TVs on the network with the
// one being cast to checked, Stop Casting, and the second screen's full-screen
// presentation. Its icon is filled while something shows on a TV. Rebuilt from
// the store's Cast controller and TV display whenever they change.
class CastMenu : public QToolButton {
    Q_OBJECT
public:
    explicit CastMenu(ViewerStore& store, QWidget* parent = nullptr);

    // "tv.fill" while showing on a TV, "tv" otherwise.
    Symbols::Symbol symbol() const { return symbol_; }
    bool isActive() const;
    static QString helpText(const ViewerStore& store);

private:
    void rebuild();
    void addGoogleCast();
    void addSecondScreen();

    ViewerStore& store_;
    QMenu* menu_;
    Symbols::Symbol symbol_ = Symbols::Symbol::tv;
};
