#include "ShotsInReach.h"

void ShotsInReach::set(QHash<QString, int> distances) {
    std::lock_guard lock(mutex_);
    distances_.swap(distances);
}

bool ShotsInReach::within(const QString& shotId, int distance) const {
    std::lock_guard lock(mutex_);
    const auto found = distances_.constFind(shotId);
    return found != distances_.cend() && *found <= distance;
}
