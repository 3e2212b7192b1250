#pragma once

#include "ServiceEndpoint.h"

#include <QMap>
#include <QString>

#include <optional>

// One service found by DNS-SD browsing: where to connect, and its TXT record
// as key/value texts when it has one.
struct DnsSdResult {
    ServiceEndpoint endpoint;
    std::optional<QMap<QString, QString>> txt;

    bool operator==(const DnsSdResult&) const = default;
};
