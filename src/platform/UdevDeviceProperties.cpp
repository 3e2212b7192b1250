#include "UdevDeviceProperties.h"

#include "UdevText.h"

#include <libudev.h>

#include <memory>

namespace {

struct UdevDeleter {
    void operator()(udev* u) const { udev_unref(u); }
    void operator()(udev_device* d) const { udev_device_unref(d); }
};
using UdevPtr = std::unique_ptr<udev, UdevDeleter>;
using UdevDevicePtr = std::unique_ptr<udev_device, UdevDeleter>;

QString property(udev_device* device, const char* key) {
    const char* value = udev_device_get_property_value(device, key);
    return value ? QString::fromUtf8(value) : QString();
}

// The plain ID_VENDOR and ID_MODEL have every blank replaced by an underscore;
// the encoded forms keep the device's own text, with unsafe bytes escaped.
QString encodedProperty(udev_device* device, const char* encodedKey, const char* plainKey) {
    const char* encoded = udev_device_get_property_value(device, encodedKey);
    return encoded ? UdevText::decode(encoded) : property(device, plainKey);
}

QString attribute(udev_device* device, const char* name) {
    const char* value = udev_device_get_sysattr_value(device, name);
    return value ? QString::fromUtf8(value) : QString();
}

} // namespace

std::optional<DeviceDescription> UdevDeviceProperties::describe(const Volume& volume) const {
    UdevPtr context(udev_new());
    if (!context)
        return std::nullopt;
    UdevDevicePtr device(udev_device_new_from_devnum(context.get(), 'b', volume.device));
    if (!device)
        return std::nullopt;

    DeviceDescription description{encodedProperty(device.get(), "ID_VENDOR_ENC", "ID_VENDOR"),
                                  encodedProperty(device.get(), "ID_MODEL_ENC", "ID_MODEL"),
                                  property(device.get(), "ID_FS_UUID")};
    if (description.vendor.isEmpty() || description.model.isEmpty()) {
        // The parent is owned by the child device: no unref.
        udev_device* usb = udev_device_get_parent_with_subsystem_devtype(device.get(), "usb", "usb_device");
        if (usb) {
            if (description.vendor.isEmpty())
                description.vendor = encodedProperty(usb, "ID_VENDOR_ENC", "ID_VENDOR");
            if (description.vendor.isEmpty())
                description.vendor = attribute(usb, "manufacturer");
            if (description.model.isEmpty())
                description.model = encodedProperty(usb, "ID_MODEL_ENC", "ID_MODEL");
            if (description.model.isEmpty())
                description.model = attribute(usb, "product");
        }
    }
    return description;
}
