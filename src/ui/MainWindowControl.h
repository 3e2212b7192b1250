#pragma once

#include "platform/WindowControl.h"

class QWidget;

// The store's view of the viewer's window: the top-level widget whose object
// name begins with "viewer", else the active window. Watches every window for
// leaving full screen. Main thread only.
class MainWindowControl final : public WindowControl {
    Q_OBJECT
public:
    explicit MainWindowControl(QObject* parent = nullptr);

    void activate() override;
    bool isFullScreen() const override;
    void setFullScreen(bool fullScreen) override;
    std::optional<double> screenScale() const override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    static QWidget* viewerWindow();
};
