#pragma once

#include "UpdateError.h"

#include <QString>

#include <expected>

// Unpacks an update archive (ZIP) into a folder, in-process with libarchive.
// Only plain files and folders are unpacked, with their modes: an entry that
// is a symlink, hard link or device, or whose path is absolute or climbs with
// "..", refuses the whole archive (the library's secure flags alone would
// still create symlinks). Safe to call from a worker thread.
class ArchiveUnpacker {
public:
    static std::expected<void, UpdateError> unpack(const QString& archive, const QString& folder);

    // Names the unpacker in its failure text.
    static constexpr const char* kName = "libarchive";
};
