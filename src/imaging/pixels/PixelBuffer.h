#pragma once

#include <QImage>

#include <cstddef>
#include <memory>

class BufferPool;

// One large block of pixel memory, mapped on 2 MiB boundaries and advised to
// use transparent huge pages: on these machines a first touch of a 4 KiB page
// costs more than decoding into it, a huge page a fiftieth of that. When the
// last owner lets go, the block goes back to the pool it came from (if that
// still wants it) or back to the system.
class PixelBuffer {
public:
    ~PixelBuffer();
    PixelBuffer(const PixelBuffer&) = delete;
    PixelBuffer& operator=(const PixelBuffer&) = delete;

    unsigned char* data() const { return data_; }
    size_t size() const { return size_; }

    // A freshly mapped block of at least `bytes`; null when out of memory.
    static std::shared_ptr<PixelBuffer> map(size_t bytes);

    // An image over the buffer; the image (and every copy of it) keeps the
    // buffer alive. The buffer must hold height × bytesPerLine bytes.
    static QImage wrap(std::shared_ptr<PixelBuffer> buffer, int width, int height, qsizetype bytesPerLine,
                       QImage::Format format);

private:
    friend class BufferPool;
    // Bytes actually mapped for a request: whole huge pages.
    static size_t mappedSize(size_t bytes);
    static unsigned char* mapMemory(size_t size);
    static void unmapMemory(unsigned char* data, size_t size);

    PixelBuffer(unsigned char* data, size_t size, std::weak_ptr<BufferPool> pool)
        : data_(data)
        , size_(size)
        , pool_(std::move(pool)) {}

    unsigned char* data_ = nullptr;
    size_t size_ = 0;
    std::weak_ptr<BufferPool> pool_;
};
