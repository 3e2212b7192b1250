#include "PixelBuffer.h"

#include "BufferPool.h"
#include "platform/PlatformMemory.h"

#include <sys/mman.h>

#include <cstdint>

namespace {

constexpr size_t kHugePage = size_t(2) << 20;

} // namespace

size_t PixelBuffer::mappedSize(size_t bytes) {
    return ((bytes == 0 ? 1 : bytes) + kHugePage - 1) & ~(kHugePage - 1);
}

unsigned char* PixelBuffer::mapMemory(size_t size) {
    // Map one huge page more than needed and cut off the unaligned ends, so
    // the whole block can be backed by huge pages.
    const size_t span = size + kHugePage;
    void* raw = ::mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED)
        return nullptr;
    const auto start = reinterpret_cast<uintptr_t>(raw);
    const uintptr_t aligned = (start + kHugePage - 1) & ~(uintptr_t(kHugePage) - 1);
    if (aligned > start)
        ::munmap(raw, aligned - start);
    const size_t tail = span - (aligned - start) - size;
    if (tail > 0)
        ::munmap(reinterpret_cast<void*>(aligned + size), tail);
    PlatformMemory::adviseHugePages(reinterpret_cast<void*>(aligned), size);
    return reinterpret_cast<unsigned char*>(aligned);
}

void PixelBuffer::unmapMemory(unsigned char* data, size_t size) {
    ::munmap(data, size);
}

PixelBuffer::~PixelBuffer() {
    if (auto pool = pool_.lock(); pool && pool->adopt(data_, size_))
        return;
    unmapMemory(data_, size_);
}

std::shared_ptr<PixelBuffer> PixelBuffer::map(size_t bytes) {
    const size_t size = mappedSize(bytes);
    unsigned char* data = mapMemory(size);
    if (!data)
        return nullptr;
    return std::shared_ptr<PixelBuffer>(new PixelBuffer(data, size, {}));
}

QImage PixelBuffer::wrap(std::shared_ptr<PixelBuffer> buffer, int width, int height, qsizetype bytesPerLine,
                         QImage::Format format) {
    if (!buffer)
        return {};
    unsigned char* data = buffer->data();
    auto* owner = new std::shared_ptr<PixelBuffer>(std::move(buffer));
    return QImage(
        data, width, height, bytesPerLine, format,
        [](void* info) { delete static_cast<std::shared_ptr<PixelBuffer>*>(info); }, owner);
}
