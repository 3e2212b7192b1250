#include "PlatformMemory.h"

#include <sys/mman.h>

void PlatformMemory::adviseHugePages(void* data, std::size_t size) {
#ifdef MADV_HUGEPAGE
    ::madvise(data, size, MADV_HUGEPAGE);
#else
    (void)data;
    (void)size;
#endif
}
