#pragma once

#include <QObject>

#include <optional>

// What the store asks of the viewer's window and the desktop around it:
// bringing the application to the front, full screen, and the screen's scale.
class WindowControl : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // Brings the viewer's window to the front.
    virtual void activate() = 0;
    // Whether the viewer's window is in full screen; false when there is no window.
    virtual bool isFullScreen() const = 0;
    // Nothing happens when there is no window.
    virtual void setFullScreen(bool fullScreen) = 0;
    // Device pixels per point of the main screen; nothing when there is no screen.
    virtual std::optional<double> screenScale() const = 0;

Q_SIGNALS:
    // The window left full screen, by whatever means.
    void fullScreenExited();
};
