#pragma once

#include <QImage>

// The stage's and the filmstrip's way from the renderer's Display P3 bitmaps
// to what the screen shows. One converter serves the whole process; it is
// safe to call from several worker threads at once. Never called per paint:
// once per new image, off the main thread.
class ScreenConversion {
public:
    static QImage forScreen(const QImage& displayP3);
};
