#pragma once

#include <QHashFunctions>
#include <QString>

// Where a discovered network service accepts connections: an address (or host
// name) and a TCP port.
struct ServiceEndpoint {
    QString host;
    quint16 port = 0;

    bool operator==(const ServiceEndpoint&) const = default;
};

inline size_t qHash(const ServiceEndpoint& endpoint, size_t seed = 0) {
    return qHashMulti(seed, endpoint.host, endpoint.port);
}
