#include "ScreenConversion.h"

#include "imaging/color/ScreenColor.h"

QImage ScreenConversion::forScreen(const QImage& displayP3) {
    // Linux desktops do not tell Qt the screen's profile; an sRGB screen is
    // the safe assumption and what the converter targets by default.
    static const ScreenColor screen;
    return screen.convert(displayP3);
}
