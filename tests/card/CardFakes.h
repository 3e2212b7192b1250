#pragma once

#include "card/Shot.h"
#include "platform/DeviceProperties.h"
#include "platform/SystemLog.h"

#include <QHash>
#include <QStringList>

// Stand-ins for the device database and the system log, which a test cannot
// own, and the small helpers the card, store and window tests share.

class FakeDevices final : public DeviceProperties {
public:
    QHash<QString, DeviceDescription> byMountPoint;
    std::optional<DeviceDescription> describe(const Volume& volume) const override {
        const auto found = byMountPoint.find(volume.mountPoint);
        return found == byMountPoint.end() ? std::nullopt : std::optional(*found);
    }
};

class RecordingLog final : public SystemLog {
public:
    QStringList messages;
    void write(const QString& message) override { messages.append(message); }
};

// A file time of one morning, to order shots as a test needs.
inline QDateTime at(int minute) {
    return QDateTime(QDate(2026, 6, 1), QTime(10, minute), Qt::UTC);
}

inline QStringList names(const QList<Shot>& shots) {
    QStringList result;
    for (const Shot& shot : shots)
        result.append(shot.name);
    return result;
}
