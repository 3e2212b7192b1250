#include "BufferPool.h"

std::shared_ptr<BufferPool> BufferPool::create(size_t retainedLimit) {
    return std::shared_ptr<BufferPool>(new BufferPool(retainedLimit));
}

BufferPool::~BufferPool() {
    trim();
}

std::shared_ptr<PixelBuffer> BufferPool::take(size_t bytes) {
    const size_t size = PixelBuffer::mappedSize(bytes);
    {
        std::lock_guard lock(mutex_);
        // The smallest retained block that fits and wastes at most half of itself.
        int best = -1;
        for (size_t i = 0; i < retained_.size(); ++i) {
            const size_t s = retained_[i].size;
            if (s >= size && s <= 2 * size && (best < 0 || s < retained_[static_cast<size_t>(best)].size))
                best = static_cast<int>(i);
        }
        if (best >= 0) {
            const Block block = retained_[static_cast<size_t>(best)];
            retained_.erase(retained_.begin() + best);
            retainedBytes_ -= block.size;
            return std::shared_ptr<PixelBuffer>(new PixelBuffer(block.data, block.size, weak_from_this()));
        }
    }
    unsigned char* data = PixelBuffer::mapMemory(size);
    if (!data)
        return nullptr;
    return std::shared_ptr<PixelBuffer>(new PixelBuffer(data, size, weak_from_this()));
}

bool BufferPool::adopt(unsigned char* data, size_t size) {
    std::lock_guard lock(mutex_);
    if (size > limit_)
        return false;
    // Make room by letting the oldest blocks go.
    while (retainedBytes_ + size > limit_ && !retained_.empty()) {
        PixelBuffer::unmapMemory(retained_.front().data, retained_.front().size);
        retainedBytes_ -= retained_.front().size;
        retained_.erase(retained_.begin());
    }
    retained_.push_back({data, size});
    retainedBytes_ += size;
    return true;
}

size_t BufferPool::retainedBytes() const {
    std::lock_guard lock(mutex_);
    return retainedBytes_;
}

void BufferPool::trim(size_t largerThan) {
    std::lock_guard lock(mutex_);
    std::erase_if(retained_, [this, largerThan](const Block& block) {
        if (block.size <= largerThan)
            return false;
        PixelBuffer::unmapMemory(block.data, block.size);
        retainedBytes_ -= block.size;
        return true;
    });
}
