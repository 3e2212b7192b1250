#include "PlatformMemory.h"

#include <malloc.h>
#include <sys/mman.h>

void PlatformMemory::adviseHugePages(void* data, std::size_t size) {
#ifdef MADV_HUGEPAGE
    ::madvise(data, size, MADV_HUGEPAGE);
#else
    (void)data;
    (void)size;
#endif
}

void PlatformMemory::mapLargeBlocks() {
#ifdef M_MMAP_THRESHOLD
    constexpr int kThreshold = 1 << 20;
    ::mallopt(M_MMAP_THRESHOLD, kThreshold);
#endif
}
