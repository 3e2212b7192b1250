// The mount table parser, on text as the volume monitor reads it.

#include "platform/MountInfo.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    const QList<MountEntry> entries = MountInfo::parse(text);
    // Every entry comes from one line of its own.
    if (entries.size() > text.count(u'\n') + 1)
        std::abort();
    for (const MountEntry& entry : entries) {
        if (entry.mountPoint.isEmpty() || entry.fsType.isEmpty())
            std::abort();
    }
    return 0;
}
