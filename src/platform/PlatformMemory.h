#pragma once

#include <cstddef>

// Memory hints the core may give the system; where a system has no such
// hint they do nothing.
class PlatformMemory {
public:
    // Asks for huge pages behind a large, huge-page-aligned block: the first
    // touch of a 4 KiB page costs far more than a decode's share of it.
    static void adviseHugePages(void* data, std::size_t size);
};
