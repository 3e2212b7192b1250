#pragma once

#include "Volume.h"

#include <QList>
#include <QObject>

// The mounted volumes a user would see in a file manager, and a signal when a
// volume is mounted or unmounted. Lives on the main thread.
class VolumeMonitor : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // The user-visible volumes in mount order. Cheap enough for the main thread.
    virtual QList<Volume> mountedVolumes() const = 0;
    // Starts delivering volumesChanged(); before this the list can still be read.
    virtual void startWatching() = 0;

Q_SIGNALS:
    void volumesChanged();
};
