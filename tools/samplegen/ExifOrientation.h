#pragma once

#include <QImage>

// The eight EXIF orientations as image transforms. A camera held upright for a
// portrait still stores landscape pixels and records orientation 6; these
// turn between the stored pixels and the upright picture.
class ExifOrientation {
public:
    // The picture a viewer shows for `stored` pixels tagged `orientation`.
    static QImage toUpright(const QImage& stored, int orientation);
    // The pixels a camera stores for the `upright` picture with `orientation`.
    static QImage toStored(const QImage& upright, int orientation);
};
