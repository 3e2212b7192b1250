#pragma once

#include "platform/ServiceEndpoint.h"

#include <QHashFunctions>
#include <QString>

// A Cast TV found on the network: its friendly name and where to connect.
struct CastDevice {
    QString name;
    ServiceEndpoint endpoint;

    bool operator==(const CastDevice&) const = default;
};

inline size_t qHash(const CastDevice& device, size_t seed = 0) {
    return qHashMulti(seed, device.name, device.endpoint);
}
