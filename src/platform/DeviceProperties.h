#pragma once

#include "Volume.h"

#include <QString>

#include <optional>

// What the system knows about the hardware behind a volume, as reported by the
// device, untrimmed and unjudged: deciding what a camera is stays with the caller.
struct DeviceDescription {
    QString vendor;
    QString model;
    // The file system's UUID (or FAT serial number); empty when it has none.
    QString fileSystemUuid;

    bool operator==(const DeviceDescription&) const = default;
};

class DeviceProperties {
public:
    virtual ~DeviceProperties() = default;
    // Nothing when the device behind the volume cannot be looked up.
    virtual std::optional<DeviceDescription> describe(const Volume& volume) const = 0;
};
