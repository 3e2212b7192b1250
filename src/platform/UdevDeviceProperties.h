#pragma once

#include "DeviceProperties.h"

// Looks up the block device of a volume by its device number in the udev
// database and reads ID_VENDOR and ID_MODEL from it or from its USB parent.
// Safe to call from any thread: each call opens its own udev context.
class UdevDeviceProperties final : public DeviceProperties {
public:
    std::optional<DeviceDescription> describe(const Volume& volume) const override;
};
