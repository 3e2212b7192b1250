#pragma once

#include "imaging/pixels/LanczosResampler.h"

#include <QSize>

#include <cstdint>

// Resamples the planes of a YCbCr JPEG, as the decoder stores them (chroma at
// half resolution across, down or both), straight to RGBX rows of the output
// size: each plane through Lanczos-3 down the columns, chroma then widened
// to luma's width with the triangle filter of JPEG's own upsampling, Lanczos-3
// across the joined row, and JPEG's YCbCr to RGB. So the upsampling and
// colour conversion that libjpeg would do at full size on the decoding
// thread run at output size on the helpers. Immutable once made; any thread.
class YCbCrScaler {
public:
    struct Plane {
        const uint8_t* data = nullptr;
        qsizetype stride = 0;
    };

    // `chroma` is the size of each chroma plane, `chromaDivisor` how many
    // luma pixels one chroma sample spans across and down (1 or 2).
    YCbCrScaler(QSize luma, QSize chroma, QSize chromaDivisor, QSize out);

    // How many luma rows (from the top) output rows [begin, end) are made from;
    // the chroma rows they need come with those.
    int lumaRowsFor(int begin, int end) const;

    // RGBX output rows [begin, end) from the planes Y, Cb, Cr into `out`,
    // whose first row is row `begin`.
    void rows(const Plane planes[3], int begin, int end, uint8_t* out, qsizetype outStride) const;

private:
    QSize luma_;
    QSize chroma_;
    QSize divisor_;
    LanczosResampler lumaScaler_;   // both passes, and the horizontal pass of the joined row
    LanczosResampler chromaScaler_; // down the columns only
};
