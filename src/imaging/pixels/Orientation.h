#pragma once

#include <QRect>
#include <QSize>

#include <cstddef>

// EXIF orientations (1..8): how the stored pixels must be turned and flipped
// to stand upright. Pixel loops use `placement` to write stored pixels
// straight to their upright position, and `view` to read an upright image
// out of stored pixels, so turning a picture never costs a pass of its own.
class Orientation {
public:
    struct Steps {
        ptrdiff_t offset = 0; // bytes from the buffer's start to the first pixel
        ptrdiff_t xStep = 0;  // bytes to the next pixel of a row
        ptrdiff_t yStep = 0;  // bytes to the next row
    };

    // 5..8 turn by a quarter: width and height swap.
    static bool swapsSides(int orientation) { return orientation >= 5 && orientation <= 8; }
    static QSize uprightSize(QSize stored, int orientation);

    // Where stored pixel (x, y) of a width x height image goes in the upright
    // image, whose rows are `stride` bytes apart.
    static Steps placement(int orientation, int width, int height, ptrdiff_t stride, int bytesPerPixel);
    // Upright pixel (x, y) read from a stored width x height image with rows
    // `stride` bytes apart.
    static Steps view(int orientation, int width, int height, ptrdiff_t stride, int bytesPerPixel);

    // The stored pixels that stand upright as `upright` in an image stored
    // as `stored`.
    static QRect storedRect(int orientation, QSize stored, const QRect& upright);

    static int inverse(int orientation);
};
