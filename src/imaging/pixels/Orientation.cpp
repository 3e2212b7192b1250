#include "Orientation.h"

#include <algorithm>

QSize Orientation::uprightSize(QSize stored, int orientation) {
    return swapsSides(orientation) ? stored.transposed() : stored;
}

Orientation::Steps Orientation::placement(int orientation, int width, int height, ptrdiff_t stride,
                                          int bytesPerPixel) {
    const ptrdiff_t p = bytesPerPixel;
    const ptrdiff_t w = width - 1;
    const ptrdiff_t h = height - 1;
    switch (orientation) {
    case 2: // mirrored left to right
        return {w * p, -p, stride};
    case 3: // turned half way
        return {w * p + h * stride, -p, -stride};
    case 4: // mirrored top to bottom
        return {h * stride, p, -stride};
    case 5: // mirrored along the main diagonal
        return {0, stride, p};
    case 6: // turned a quarter clockwise
        return {h * p, stride, -p};
    case 7: // mirrored along the other diagonal
        return {h * p + w * stride, -stride, -p};
    case 8: // turned a quarter anticlockwise
        return {w * stride, -stride, p};
    default:
        return {0, p, stride};
    }
}

int Orientation::inverse(int orientation) {
    if (orientation == 6)
        return 8;
    if (orientation == 8)
        return 6;
    return orientation >= 1 && orientation <= 8 ? orientation : 1;
}

Orientation::Steps Orientation::view(int orientation, int width, int height, ptrdiff_t stride,
                                     int bytesPerPixel) {
    // Reading upright pixels from stored ones is placing the upright image
    // into the stored one with the inverse turn.
    const QSize upright = uprightSize(QSize(width, height), orientation);
    return placement(inverse(orientation), upright.width(), upright.height(), stride, bytesPerPixel);
}

QRect Orientation::storedRect(int orientation, QSize stored, const QRect& upright) {
    // Reads two opposite corners through a view with one-byte pixels, whose
    // offsets are stored positions.
    const Steps steps = view(orientation, stored.width(), stored.height(), stored.width(), 1);
    const auto storedPoint = [&](int x, int y) {
        const ptrdiff_t at = steps.offset + x * steps.xStep + y * steps.yStep;
        return QPoint(int(at % stored.width()), int(at / stored.width()));
    };
    const QPoint a = storedPoint(upright.left(), upright.top());
    const QPoint b = storedPoint(upright.right(), upright.bottom());
    return QRect(QPoint(std::min(a.x(), b.x()), std::min(a.y(), b.y())),
                 QPoint(std::max(a.x(), b.x()), std::max(a.y(), b.y())));
}
