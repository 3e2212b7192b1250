#pragma once

#include <cstddef>

// Memory hints the core may give the system; where a system has no such
// hint they do nothing.
class PlatformMemory {
public:
    // Asks for huge pages behind a large, huge-page-aligned block: the first
    // touch of a 4 KiB page costs far more than a decode's share of it.
    static void adviseHugePages(void* data, std::size_t size);

    // Blocks of a megabyte and more come straight from the system and go back
    // to it whole when freed. Otherwise the heap raises its own threshold as
    // large blocks are freed, and the cached images that follow stay in the
    // heap, which keeps freed images' pages (60 MB after a walk through a card).
    // Call once, first thing in main.
    static void mapLargeBlocks();
};
