#include "ExifOrientation.h"

#include <QTransform>

namespace {

QImage rotated(const QImage& image, int degrees) {
    return image.transformed(QTransform().rotate(degrees));
}

} // namespace

QImage ExifOrientation::toUpright(const QImage& stored, int orientation) {
    switch (orientation) {
    case 2:
        return stored.mirrored(true, false);
    case 3:
        return stored.mirrored(true, true);
    case 4:
        return stored.mirrored(false, true);
    case 5:
        return rotated(stored, 90).mirrored(true, false);
    case 6:
        return rotated(stored, 90);
    case 7:
        return rotated(stored, 90).mirrored(false, true);
    case 8:
        return rotated(stored, 270);
    default:
        return stored;
    }
}

QImage ExifOrientation::toStored(const QImage& upright, int orientation) {
    // Every orientation is its own inverse except the two quarter turns.
    if (orientation == 6)
        return toUpright(upright, 8);
    if (orientation == 8)
        return toUpright(upright, 6);
    return toUpright(upright, orientation);
}
