#pragma once

#include <QHash>
#include <QString>

#include <mutex>

// The shots near the one on the stage, each with its distance from it. Shared
// with the worker threads: a render or a prefetch that waited in a pool's queue
// asks, when it starts, whether its shot is still near enough to be worth a
// decode, so a flick through many photos never decodes those passed by.
// Written on the main thread, read from any.
class ShotsInReach {
public:
    void set(QHash<QString, int> distances);
    bool within(const QString& shotId, int distance) const;

private:
    mutable std::mutex mutex_;
    QHash<QString, int> distances_;
};
