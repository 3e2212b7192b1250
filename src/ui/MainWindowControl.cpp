#include "MainWindowControl.h"

#include <QApplication>
#include <QScreen>
#include <QWidget>
#include <QWindowStateChangeEvent>

using namespace Qt::StringLiterals;

MainWindowControl::MainWindowControl(QObject* parent)
    : WindowControl(parent) {
    qApp->installEventFilter(this);
}

QWidget* MainWindowControl::viewerWindow() {
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget* window : windows) {
        if (window->objectName().startsWith(u"viewer"_s))
            return window;
    }
    return QApplication::activeWindow();
}

void MainWindowControl::activate() {
    if (QWidget* window = viewerWindow()) {
        window->show();
        window->raise();
        window->activateWindow();
    }
}

bool MainWindowControl::isFullScreen() const {
    const QWidget* window = viewerWindow();
    return window && window->isFullScreen();
}

void MainWindowControl::setFullScreen(bool fullScreen) {
    QWidget* window = viewerWindow();
    if (!window)
        return;
    if (fullScreen)
        window->showFullScreen();
    else
        window->showNormal();
}

std::optional<double> MainWindowControl::screenScale() const {
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        return screen->devicePixelRatio();
    return std::nullopt;
}

bool MainWindowControl::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::WindowStateChange && watched->isWidgetType()) {
        const auto* widget = static_cast<QWidget*>(watched);
        const auto* change = static_cast<QWindowStateChangeEvent*>(event);
        if (widget->isWindow() && (change->oldState() & Qt::WindowFullScreen) && !widget->isFullScreen())
            Q_EMIT fullScreenExited();
    }
    return WindowControl::eventFilter(watched, event);
}
