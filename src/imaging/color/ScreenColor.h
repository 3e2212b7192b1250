#pragma once

#include "ColorConverter.h"
#include "imaging/pixels/ParallelRunner.h"
#include "imaging/pixels/PixelResources.h"

#include <QColorSpace>
#include <QImage>

// Turns the renderer's Display P3 bitmaps into what the screen shows:
// converted into the screen's colour space (sRGB unless the display reports a
// profile) and laid out as Format_RGB32 (ARGB32_Premultiplied for bitmaps
// with transparency), which widgets paint without another conversion. Meant
// for a worker thread, once per new stage image; one pass, split across cores.
// Screen-size results live in blocks of a small pool, so a conversion costs
// no page faults once a few have been made; a result keeps its block for as
// long as any copy of it lives, and outlives the converter. Several threads
// may convert at once.
class ScreenColor {
public:
    explicit ScreenColor(const QColorSpace& screen = QColorSpace(QColorSpace::SRgb));
    ScreenColor(const ScreenColor&) = delete;
    ScreenColor& operator=(const ScreenColor&) = delete;

    QColorSpace screen() const { return screen_; }
    // Null for a null bitmap (or when memory runs out).
    QImage convert(const QImage& bitmap) const;

private:
    QColorSpace screen_;
    mutable ColorConverter colors_;
    ParallelRunner runner_;
    PixelResources resources_;
};
