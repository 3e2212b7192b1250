#pragma once

#include "ScreenList.h"

class QScreen;

// The screens QGuiApplication knows, including a TV or projector on HDMI and a
// network display that the desktop shows as a screen. Needs a QGuiApplication.
class GuiScreenList final : public ScreenList {
    Q_OBJECT
public:
    explicit GuiScreenList(QObject* parent = nullptr);

    QList<ScreenInfo> screens() const override;

private:
    void watch(QScreen* screen);
};
