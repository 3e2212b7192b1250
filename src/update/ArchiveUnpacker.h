#pragma once

#include "UpdateError.h"

#include <QString>

#include <expected>

// Unpacks an update archive (ZIP) into a folder, in-process with libarchive.
// Only plain files and folders are unpacked, with their modes: an entry that
// is a symlink, hard link or device, or whose path is absolute or climbs with
// "..", refuses the whole archive (the library's secure flags alone would
// still create symlinks). An archive that unpacks to more than `maxBytes`
// or more than `maxEntries` entries (a zip bomb) is refused too, before it
// fills the disk. Safe to call from a worker thread.
class ArchiveUnpacker {
public:
    static constexpr qint64 kMaxBytes = qint64(2) << 30;
    static constexpr int kMaxEntries = 100'000;

    static std::expected<void, UpdateError> unpack(const QString& archive, const QString& folder,
                                                   qint64 maxBytes = kMaxBytes, int maxEntries = kMaxEntries);

    // Names the unpacker in its failure text.
    static constexpr const char* kName = "libarchive";
};
