#pragma once

// Imaging, pixels part: the machinery every pixel loop shares. Pixel buffers
// and their pool, the parallel runner, the Lanczos resampler, orientations and
// the processor's features. Uses nothing else of imaging, so codec and color
// can work on pixels without knowing the renderer.

#include "BufferPool.h"

#include <QImage>

#include <memory>

class ColorConverter;
class ParallelRunner;

// The shared services of pixel work, owned by the rendering context and
// lent to the readers and kernels it drives: the helper threads, the pool of
// large buffers and the colour converter.
struct PixelResources {
    const ParallelRunner* runner = nullptr;
    std::shared_ptr<BufferPool> pool;
    ColorConverter* colors = nullptr;

    // A new image of 4-byte pixels; large ones come from the pool and go back
    // to it when the last copy of the image is gone. Rows are exactly the
    // width apart, as in Qt's own images: Qt 6.4 converts images of wider
    // rows past the end of its result. Null on lack of memory.
    QImage newImage(int width, int height, QImage::Format format) const {
        const qsizetype stride = qsizetype(width) * 4;
        const size_t bytes = size_t(stride) * size_t(height);
        if (pool && bytes >= (size_t(2) << 20))
            return PixelBuffer::wrap(pool->take(bytes), width, height, stride, format);
        return QImage(width, height, format);
    }
};
