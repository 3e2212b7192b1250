#pragma once

#include "DeviceProperties.h"

// Looks up the block device of a volume by its device number in the udev
// database and reads the vendor and model from it or from its USB parent, and
// the file system's UUID from it.
// Safe to call from any thread: each call opens its own udev context.
class UdevDeviceProperties final : public DeviceProperties {
public:
    std::optional<DeviceDescription> describe(const Volume& volume) const override;
};
