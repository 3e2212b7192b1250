#pragma once

#include "PixelBuffer.h"

#include <memory>
#include <mutex>
#include <vector>

// Keeps a few large pixel blocks after use, up to a byte limit, and hands them
// out again: the scratch buffers of decoders (24 MB for a half-scale decode of
// a 24-megapixel JPEG) then cost no page faults from the second use on.
// Thread-safe. Create with `create`; buffers remember the pool weakly.
class BufferPool : public std::enable_shared_from_this<BufferPool> {
public:
    static std::shared_ptr<BufferPool> create(size_t retainedLimit);
    ~BufferPool();
    BufferPool(const BufferPool&) = delete;
    BufferPool& operator=(const BufferPool&) = delete;

    // A block of at least `bytes` (its contents undefined); null when out of memory.
    std::shared_ptr<PixelBuffer> take(size_t bytes);

    size_t retainedBytes() const;
    // Returns every retained block larger than `largerThan` bytes to the system.
    void trim(size_t largerThan = 0);

private:
    friend class PixelBuffer;
    explicit BufferPool(size_t retainedLimit)
        : limit_(retainedLimit) {}
    // Takes back a block; false when it would exceed the limit.
    bool adopt(unsigned char* data, size_t size);

    struct Block {
        unsigned char* data;
        size_t size;
    };
    size_t limit_;
    mutable std::mutex mutex_;
    std::vector<Block> retained_;
    size_t retainedBytes_ = 0;
};
