#pragma once

#include <QByteArray>
#include <QString>

#include <cstddef>

// libjpeg-turbo alone, as the references the imaging benchmarks are measured
// against: no colour management, no resampling, no metadata, buffers made and
// touched before timing so that neither side pays page faults the other does
// not.
class BareJpeg {
public:
    // A DCT-scaled decode (1/denominator) of the file into 4-byte RGBX rows
    // of a reused buffer, read through a 64 KiB stdio buffer. Rows decoded.
    static unsigned decode(const QString& path, unsigned denominator);
    // An encode of `width` x `height` RGBX pixels at `quality` (0..100),
    // 4:2:0, into memory. The size of the JPEG.
    static size_t encode(const unsigned char* pixels, int width, int height, int quality);
};
