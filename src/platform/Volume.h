#pragma once

#include <QString>

#include <sys/types.h>

// A user-visible mounted volume: where it is mounted, its display name and the
// kernel's identity of the mount.
struct Volume {
    QString mountPoint;
    QString name; // last path component of the mount point
    int mountId = 0;
    dev_t device = 0;

    bool operator==(const Volume&) const = default;
};
