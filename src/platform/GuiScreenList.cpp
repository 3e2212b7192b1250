#include "GuiScreenList.h"

#include <QGuiApplication>
#include <QScreen>

GuiScreenList::GuiScreenList(QObject* parent)
    : ScreenList(parent) {
    auto* app = qGuiApp;
    connect(app, &QGuiApplication::screenAdded, this, [this](QScreen* screen) {
        watch(screen);
        Q_EMIT screensChanged();
    });
    // Sent before the screen leaves the list: report once it is gone.
    connect(app, &QGuiApplication::screenRemoved, this, &ScreenList::screensChanged, Qt::QueuedConnection);
    connect(app, &QGuiApplication::primaryScreenChanged, this, &ScreenList::screensChanged);
    for (QScreen* screen : QGuiApplication::screens())
        watch(screen);
}

QList<ScreenInfo> GuiScreenList::screens() const {
    QList<ScreenInfo> list;
    for (const QScreen* screen : QGuiApplication::screens())
        list.append({screen->name(), screen->geometry()});
    return list;
}

void GuiScreenList::watch(QScreen* screen) {
    connect(screen, &QScreen::geometryChanged, this, &ScreenList::screensChanged);
}
